// Rktie: ties groups of fields of a record into new fields: the fields of
// each group are written by the field-format list into the value of one
// field with the new name, which takes the place of the group's first.
#include <cstring>

#include "format.h"
#include "tool.h"

void wregerror(const char* message) { format_regex_error(message); }

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
static size_t capacity = 0;

static const FieldFormat* format_of(const Field* f) {
    FieldListEntry* e = nullptr;
    if (list.inclusive) field_list_match(&list, f->start, field_name_key(f), &e, nullptr);
    return e && e->format ? e->format : &default_format;
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    algorithm = leading ? GROUP_LEADING : sequence ? GROUP_SEQUENCE : GROUP_NTH;
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    tool_area("nsize", &names);
    tool_area("wsize", &work);
    format_defaults(FORMAT_OUTPUT, t_text, z_text, &names);
    format_list_read(take_argument(usage), &list, FORMAT_OUTPUT, &names);
    const char* name_text = take_argument(usage);
    wchar_t* decoded = mbs_to_area(name_text, &work);
    if (decoded == nullptr) fatal("code error in the new-field argument.\n");
    new_name_length = std::wcslen(decoded) + 1;
    new_name = static_cast<wchar_t*>(checked_malloc(sizeof(wchar_t) * new_name_length));
    std::wmemcpy(new_name, decoded, new_name_length - 1);
    new_name[new_name_length - 1] = L':';
    area_reset(&work);
    if (!list.inclusive && algorithm == GROUP_SEQUENCE) warn(WARN_ERROR, "exclusive list is not allowed for -S option.\n");
    if (!list.inclusive && algorithm == GROUP_LEADING) warn(WARN_ERROR, "exclusive list is not allowed for -L option.\n");

    tool_each_record(&text, &table, [](Field* rec, const Input&) {
        size_t n = size_t(record_end(rec) - rec);
        if (n + 1 > capacity) {
            capacity = 2 * (n + 1);
            groups = static_cast<int32_t*>(checked_realloc(groups, sizeof(int32_t) * capacity));
            first = static_cast<int32_t*>(checked_realloc(first, sizeof(int32_t) * capacity));
            next = static_cast<int32_t*>(checked_realloc(next, sizeof(int32_t) * capacity));
            written = static_cast<bool*>(checked_realloc(written, capacity));
        }
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
