// Rksort's merge of the run files: as many at a time as the descriptors and
// the memory limit allow (sixteen at least), so that one merge to the
// output is the rule and merge passes the exception.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "progress.h"
#include "rksort.h"

namespace rksort {

namespace {

// The smallest buffer a run is read through; with the key room of each run
// it sets how many runs the limit can read at once.
constexpr size_t MIN_BUFFER = 4096;
// Descriptors kept for everything but the runs.
constexpr size_t SPARE_FILES = 64;

// One run being read through its own buffer, its current key copied out
// of it into a room of its own.
struct RunReader {
    int fd;
    long index;
    char* buf;
    size_t cap, pos, len;
    uint32_t* key;    // the current key, in `room`; null when the run is exhausted
    Entry current;    // the key with its summary
    uint32_t* room;
    size_t room_words;
    uint64_t bytes;  // the size of the file

    [[noreturn]] void truncated() {
        char name[PATH_MAX + 64];
        run_name(name, index);
        fatal("tmpfile %s is truncated.\n", name);
    }
    // Refills the buffer; false at the end of the file.
    bool fill() {
        ssize_t r;
        while ((r = ::read(fd, buf, cap)) < 0)
            if (errno != EINTR) truncated();
        pos = 0;
        len = size_t(r);
        return r > 0;
    }
    // Hands the next n bytes to `take` in pieces, as the buffer holds them.
    template <typename Take>
    void pass(size_t n, Take take) {
        while (n > 0) {
            if (pos == len && !fill()) truncated();
            size_t piece = len - pos < n ? len - pos : n;
            take(buf + pos, piece);
            pos += piece;
            n -= piece;
        }
    }
    void read(void* p, size_t n) {
        char* o = static_cast<char*>(p);
        pass(n, [&o](const char* b, size_t m) {
            std::memcpy(o, b, m);
            o += m;
        });
    }
    void next_key() {
        uint32_t length;
        if (pos == len && !fill()) {
            ::close(fd);
            fd = -1;
            key = nullptr;
            return;
        }
        read(&length, sizeof length);
        if (length < sizeof length || length % 4) truncated();
        key = grow_table(room, room_words, length / 4);
        key[0] = length;
        read(key + 1, length - sizeof length);
        current.key = key;
        summarize(current);
    }
    void open(long i, char* buffer, size_t size) {
        char name[PATH_MAX + 64];
        index = i;
        run_name(name, i);
        fd = ::open(name, O_RDONLY | O_CLOEXEC);
        if (fd < 0) warn_errno(WARN_FATAL, name, "can't open tmpfile %s.\n", name);
        struct stat st;
        bytes = fstat(fd, &st) == 0 ? uint64_t(st.st_size) : 0;
        buf = buffer;
        cap = size;
        pos = len = 0;
        next_key();
    }
};

RunReader* readers;
int* tree;   // the loser tree: tree[0] the leading run, tree[1..k-1] losers
int ways;    // the runs merged at once
size_t key_bytes;  // the first key room of a run (msize)

// Whether run a's current record goes out before run b's: key order, then
// the older run first; an exhausted run goes last.
bool before(int a, int b) {
    const uint32_t* ka = readers[a].key;
    const uint32_t* kb = readers[b].key;
    if (ka == nullptr || kb == nullptr) return kb == nullptr && (ka != nullptr || a < b);
    int c = compare_entry_keys(readers[a].current, readers[b].current);
    return c < 0 || (c == 0 && a < b);
}

// After run s moved on: it plays its way up from its leaf, the loser of
// each match staying behind.
void replay(int s, int k) {
    int w = s;
    for (int t = (s + k) / 2; t > 0; t /= 2)
        if (before(tree[t], w)) {
            int l = tree[t];
            tree[t] = w;
            w = l;
        }
    tree[0] = w;
}

// The first matches, bottom up: node t (1 <= t < k) has the children 2t
// and 2t+1, and node k+i is run i's leaf; `win` holds each node's winner.
void build_tree(int k, int* win) {
    for (int i = 0; i < k; ++i) win[k + i] = i;
    for (int t = k - 1; t > 0; --t) {
        int a = win[2 * t], b = win[2 * t + 1];
        bool first = before(a, b);
        win[t] = first ? a : b;
        tree[t] = first ? b : a;
    }
    tree[0] = k > 1 ? win[1] : 0;
}

// The buffer of each of k runs: an even share of the limit, within bounds.
size_t buffer_size(int k) {
    size_t limit = xmem > 0 ? size_t(xmem) * 1024 : 0;
    size_t share = limit / size_t(k);
    share = share > key_bytes + MIN_BUFFER ? (share - key_bytes) / MIN_BUFFER * MIN_BUFFER : MIN_BUFFER;
    return share < RUN_BUFFER ? share : RUN_BUFFER;
}

// Merges runs first .. first+k-1 into `to`, or to standard output when `to`
// is null.
void merge(long first, int k, RunWriter* to) {
    size_t size = buffer_size(k);
    char* buffers = static_cast<char*>(checked_malloc(size * size_t(k)));
    int* win = static_cast<int*>(checked_malloc(sizeof(int) * 2 * size_t(k)));
    for (int r = 0; r < k; ++r) readers[r].open(first + r, buffers + size * size_t(r), size);
    build_tree(k, win);
    std::free(win);
    // The share merged, by bytes, when standard error shows it.
    uint64_t total = 0, done = 0;
    for (int r = 0; r < k; ++r) total += readers[r].bytes;
    bool show = to || !isatty(1);
    auto copy = [to](const char* b, size_t n) {
        if (to) to->write(b, n);
        else out_bytes(b, n);
    };
    for (;;) {
        int w = tree[0];
        RunReader& r = readers[w];
        if (r.key == nullptr) break;
        uint32_t n;
        if (to) to->write(r.key, r.key[0]);
        r.read(&n, sizeof n);
        if (to) to->write(&n, sizeof n);
        r.pass(n, copy);
        if (!to) out_putwc(L'\n');
        done += r.key[0] + sizeof n + n;
        if (progress_due() && show)
            progress_show("Rksort: merging %d runs, %d%% merged", k, int(total ? done * 100 / total : 100));
        r.next_key();
        replay(w, k);
    }
    std::free(buffers);
}

// The descriptors below `limit` that are open now.
size_t open_descriptors(size_t limit) {
    size_t n = 0;
    for (size_t fd = 0; fd < limit; ++fd)
        if (fcntl(int(fd), F_GETFD) != -1) ++n;
    return n;
}

// How many runs one merge reads at once: the runs whose buffers and keys
// the memory limit holds, sixteen at least, and the descriptors the process
// may have. When these are few, only those open now and the run a merge
// pass writes are kept back (two runs at least).
int count_ways() {
    size_t limit = xmem > 0 ? size_t(xmem) * 1024 : 0;
    size_t by_memory = limit / (MIN_BUFFER + key_bytes);
    size_t files = open_files(by_memory + SPARE_FILES);
    size_t spare = files < SPARE_FILES + MERGE_WAYS ? open_descriptors(files) + 1 : SPARE_FILES;
    size_t by_files = files > spare + 2 ? files - spare : 2;
    size_t w = by_memory > size_t(MERGE_WAYS) ? by_memory : size_t(MERGE_WAYS);
    if (w > by_files) w = by_files;
    return w > size_t(LAST_RUN) ? int(LAST_RUN) : int(w);
}

}  // namespace

size_t open_files(size_t want) {
    struct rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) != 0) return 0;
    if (files.rlim_cur != RLIM_INFINITY && files.rlim_cur < want) {
        rlim_t old = files.rlim_cur;
        files.rlim_cur = files.rlim_max != RLIM_INFINITY && files.rlim_max < want ? files.rlim_max : rlim_t(want);
        if (setrlimit(RLIMIT_NOFILE, &files) != 0) files.rlim_cur = old;
    }
    return files.rlim_cur == RLIM_INFINITY || files.rlim_cur > want ? want : size_t(files.rlim_cur);
}

int merge_ways() {
    if (ways == 0) {
        key_bytes = size_t(msize > 0 ? msize : 1) * 1024;
        ways = count_ways();
    }
    return ways;
}

void merge_runs() {
    int w = merge_ways();
    int most = run_count < w ? int(run_count) : w;
    readers = static_cast<RunReader*>(checked_malloc(sizeof(RunReader) * size_t(most)));
    tree = static_cast<int*>(checked_malloc(sizeof(int) * size_t(most)));
    for (int r = 0; r < most; ++r) {
        readers[r].room_words = key_bytes / 4;
        readers[r].room = static_cast<uint32_t*>(checked_malloc(key_bytes));
    }
    merge_in_passes<RunWriter>(w, merge);
}

}  // namespace rksort
