// Rksort's records in its run files; the files themselves are the
// runtime's (runfiles.h).
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "output.h"
#include "rksort.h"

namespace rksort {

// A record from the sort table: its key, then its characters encoded
// straight into the buffer behind their byte count, which is filled in
// afterwards (in the file itself when a long text went out before it).
void RunWriter::put_record(const uint32_t* key, const wchar_t* chars, size_t n) {
    write(key, key[0]);
    if (used + sizeof(uint32_t) + n * MB_CUR_MAX + MB_LEN_MAX > RUN_BUFFER) flush();
    off_t count_at = written + off_t(used);
    used += sizeof(uint32_t);
    uint32_t bytes = 0;
    for (;;) {
        size_t taken;
        size_t b = encode_text(chars, n, buffer + used, RUN_BUFFER - used, &taken);
        used += b;
        bytes += uint32_t(b);
        chars += taken;
        n -= taken;
        if (n == 0) break;
        flush();
    }
    if (count_at >= written) {
        std::memcpy(buffer + (count_at - written), &bytes, sizeof bytes);
    } else {
        while (pwrite(fd, &bytes, sizeof bytes, count_at) != ssize_t(sizeof bytes))
            if (errno != EINTR) fail();
    }
}

}  // namespace rksort
