// Writing records back in the Rk-file format.
#include "record.h"

void write_record(const Field* rec) {
    const Field* close = rec;
    while (close->start) ++close;
    out_write(rec->start, size_t(close->end - rec->start));
    out_putwc(L'\n');
}

void write_fields(const Field* rec) {
    if (rec->start == nullptr) return;
    for (const Field* f = rec; f->start; ++f) write_field(f);
    out_putwc(L'\n');
}
