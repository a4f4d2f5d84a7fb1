// Rkuntie: cuts the value of a named field by a field-format list into
// fields that take its place.
#include <cwchar>

#include "format.h"
#include "tool.h"

static const char usage[] =
    "Rkuntie [-options] fieldname [^]field-format-list [input-file ..]\n"
    "\tdivides a field into some fields.\n"
    "\tOptions:\n"
    "\t-t regexp\tfield delimiter.\n"
    "\t-z format-options\tdefault format options.\n";

static int32_t rsize = 4, tsize = 1, nsize = 4, wsize = 1;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {"wsize", &wsize},
                             {nullptr, nullptr}};
static const char* t_text = "\t";
static const char* z_text = "";

static bool option(int letter) {
    switch (letter) {
    case 't': t_text = opt_arg; return true;
    case 'z': z_text = opt_arg; return true;
    }
    return false;
}

static const ToolSpec spec = {usage, "z:t:D:", settings, option, nullptr};

static Area text, table, names, work;
static FieldList list;
static wchar_t* cut_name;  // with its colon
static size_t cut_name_length;

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    tool_area("nsize", &names);
    tool_area("wsize", &work);
    format_defaults(FORMAT_INPUT, t_text, z_text, &names);
    const char* name_text = take_argument(usage);
    const char* list_text = take_argument(usage);
    cut_name = field_name_argument(name_text, &cut_name_length, &work);
    if (cut_name == nullptr) fatal("code error in the fieldname argument.\n");
    watch_name(cut_name, cut_name_length);
    format_list_read(list_text, &list, FORMAT_INPUT, &names);
    if (!list.inclusive) usage_exit(usage);

    tool_each_record(&text, &table, [](Field* rec, const Input&) {
        LineRun lines;
        for (Field* f = rec; f->start; ++f) {
            if (field_name_key(f) != cut_name_length || !same_text(f->start, cut_name, cut_name_length)) {
                lines.keep(f);
                continue;
            }
            lines.flush(f->start);
            const wchar_t* end = f->end;
            cut_line(f->value, &end, &list, &work, nullptr);
            area_reset(&work);
        }
        lines.flush(record_end(rec)->end);
        out_putwc(L'\n');
    });
}
