// Rktie: ties groups of fields of a record into new fields: the fields of
// each group are written by the field-format list into the value of one
// field with the new name, which takes the place of the group's first.
#include <cstring>

#include "format.h"
#include "tool.h"

static const char usage[] =
    "Rktie [-options] [^]field-format-list new-field [input-file ..]\n"
    "\tconjugates leaf fields into one field.\n"
    "\tOptions:\n"
    "\t-N\tN-th occurence algorithm (default).\n"
    "\t-S\tSequence break algorithm.\n"
    "\t-L\tLeading field algorithm.\n"
    "\t-t string\tdelimiter string.\n"
    "\t-z fmt-options\tdefault format options.\n";

static int32_t rsize = 4, tsize = 1, nsize = 4, wsize = 1;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {"wsize", &wsize},
                             {nullptr, nullptr}};
static const char* t_text = "\t";
static const char* z_text = "";
static bool sequence = false, leading = false;

static bool option(int letter) {
    switch (letter) {
    case 'N': return true;
    case 'S': sequence = true; return true;
    case 'L': leading = true; return true;
    case 't': t_text = opt_arg; return true;
    case 'z': z_text = opt_arg; return true;
    }
    return false;
}

static const ToolSpec spec = {usage, "NSLt:z:D:", settings, option, nullptr};

static Area text, table, names, work;
static FieldList list;
static int algorithm = GROUP_NTH;
static wchar_t* new_name;  // with its colon
static size_t new_name_length;
// Per-record tables: each field's group, the groups' chains, and which
// groups were written.
static int32_t *groups, *first, *next;
static bool* written;
static size_t groups_room = 0, first_room = 0, next_room = 0, written_room = 0;

static const FieldFormat* format_of(const Field* f) {
    FieldListEntry* e = nullptr;
    if (list.inclusive) field_list_match(&list, f->start, field_name_key(f), &e, nullptr);
    return e && e->format ? e->format : &default_format;
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    tool_area("nsize", &names);
    tool_area("wsize", &work);
    format_defaults(FORMAT_OUTPUT, t_text, z_text, &names);
    format_list_read(take_argument(usage), &list, FORMAT_OUTPUT, &names);
    watch_list(&list);
    new_name = field_name_argument(take_argument(usage), &new_name_length, &work);
    if (new_name == nullptr) fatal("code error in the new-field argument.\n");
    algorithm = format_group_algorithm(sequence, leading, &list);

    tool_each_record(&text, &table, [](Field* rec, const Input&) {
        size_t n = size_t(record_end(rec) - rec);
        grow_table(groups, groups_room, n + 1);
        grow_table(first, first_room, n + 1);
        grow_table(next, next_room, n + 1);
        grow_table(written, written_room, n + 1);
        int32_t count = format_groups(rec, n, &list, algorithm, groups);
        group_chains(groups, n, count, first, next);
        std::memset(written, 0, size_t(count) + 1);
        LineRun lines;
        for (size_t i = 0; i < n; ++i) {
            int32_t g = groups[i];
            if (g == 0) {
                lines.keep(&rec[i]);
                continue;
            }
            lines.flush(rec[i].start);
            if (written[g]) continue;
            written[g] = true;
            out_write(new_name, new_name_length);
            line_begin();
            for (int32_t j = int32_t(i); j >= 0; j = next[j]) {
                write_field(&rec[j], format_of(&rec[j]), &work);
                area_reset(&work);
            }
            out_putwc(L'\n');
        }
        lines.flush(record_end(rec)->end);
        out_putwc(L'\n');
    });
}
