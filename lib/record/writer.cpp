// Writing records back in the Rk-file format.
#include <cstring>

#include "record.h"

void write_record_text(const Field* rec) {
    const Field* close = rec;
    while (close->start) ++close;
    out_write(rec->start, size_t(close->end - rec->start));
}

void write_fields(const Field* rec) {
    if (rec->start == nullptr) return;
    for (const Field* f = rec; f->start; ++f) write_field(f);
    out_putwc(L'\n');
}

void write_filename(const char* name) {
    if (name == nullptr) return;
    out_lit("filename:");
    const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
    size_t n = std::strlen(name);
    while (n > 0) {
        wchar_t c;
        int k = decode_char(p, n, &c);
        if (k <= 0 || c == L'\n') {
            out_putwc(L'?');
            k = 1;
        } else {
            out_bytes(reinterpret_cast<const char*>(p), size_t(k));
        }
        p += k;
        n -= size_t(k);
    }
    out_putwc(L'\n');
}
