// Rkunpack: cuts the value of each listed field again and again by its
// format, each piece becoming a field of the same name.
#include "format.h"
#include "pack.h"
#include "tool.h"

static const char usage[] =
    "Rkunpack [-options] [^]field-format-list [input-file ..]\n"
    "\tdisjuncts fields as repeating fields.\n"
    "\tOptions:\n"
    "\t-t regexp\tfield delimiter.\n"
    "\t-z format-options\tdefault format options.\n";

int main(int argc, char** argv) {
    PackTool tool;
    pack_start(&tool, usage, "z:t:D:", "Rkunpack", FORMAT_INPUT, argc, argv);
    tool_each_record(&tool.text, &tool.table, [&tool](Field* rec, const Input&) {
        size_t n = size_t(record_end(rec) - rec);
        bool* listed = pack_listed(&tool, rec, n);
        for (size_t i = 0; i < n; ++i) {
            // A field of an empty name stays as it is: a list entry of an
            // empty name would skip what it cuts.
            if (!listed[i] || field_name_length(&rec[i]) == 0) {
                write_field(&rec[i]);
                continue;
            }
            // A list of one entry: the field's own name, its format.
            FieldListEntry entry{};
            entry.name = rec[i].start;
            entry.length = size_t(rec[i].value - rec[i].start);
            entry.format = const_cast<FieldFormat*>(pack_format(&tool, &rec[i]));
            FieldList one{};
            one.included = one.included_last = &entry;
            one.included_count = 1;
            one.inclusive = 1;
            const wchar_t* end = rec[i].end;
            cut_line(rec[i].value, &end, &one, &tool.work, nullptr);
            area_reset(&tool.work);
        }
        out_putwc(L'\n');
    });
}
