// Rkpack: packs the fields of one name in a record into a single field of
// that name, their values written one after another by a field-format list
// (by default separated by tabs).
#include "format.h"
#include "pack.h"
#include "tool.h"

static const char usage[] =
    "Rkpack [-options] [^]field-formatl-list [input-file ..]\n"
    "\tpacks repeating fields into single field.\n"
    "\tOptions:\n"
    "\t-t string\tdelimiter string.\n"
    "\t-z format-options\tdefault format options.\n";

int main(int argc, char** argv) {
    PackTool tool;
    pack_start(&tool, usage, "t:z:D:", "Rkpack", FORMAT_OUTPUT, argc, argv);
    tool_each_record(&tool.text, &tool.table, [&tool](Field* rec, const Input&) {
        size_t n = size_t(record_end(rec) - rec);
        bool* listed = pack_listed(&tool, rec, n);
        int32_t* next = pack_next(n);
        same_name_chains(rec, n, listed, next);
        // A field packed into one before it is skipped.
        bool* packed = pack_marks(n);
        for (size_t i = 0; i < n; ++i) {
            if (packed[i]) continue;
            if (!listed[i]) {
                write_field(&rec[i]);
                continue;
            }
            const FieldFormat* format = pack_format(&tool, &rec[i]);
            line_begin();
            out_write(rec[i].start, size_t(rec[i].value - rec[i].start));
            for (int32_t j = int32_t(i); j >= 0; j = next[j]) {
                write_field(&rec[j], format, &tool.work);
                area_reset(&tool.work);
                packed[j] = true;
            }
            out_putwc(L'\n');
        }
        out_putwc(L'\n');
    });
}
