// Rkrename: renames fields by a list of old:new pairs.
#include "record.h"

static const char usage[] =
    "Rkrename field-rename-list [input-file ..]\n"
    "\trenames fields of records by field rename list as \"oldname:newname, ..\"\n";

// At file scope: a static inside a function would need a guarded
// initialisation from the C++ runtime library.
static ListTool tool;

int main(int argc, char** argv) {
    list_tool_start(&tool, argc, argv, usage);
    Area& text = tool.text;
    Area& table = tool.table;
    FieldList& list = tool.list;
    if (!list.inclusive) usage_exit(usage);
    for (const FieldListEntry* e = list.included; e; e = e->next)
        if (e->new_name_end == nullptr) {
            wchar_t* colon = e->name + e->length - 1;  // cut the name at its colon for the message
            *colon = 0;
            warn(WARN_ERROR, "no new field name for the field %ls.\n", e->name);
            *colon = L':';
        }
    exit_if_errors(2);

    Input in;
    open_input(&in, INPUT_ALL_FILES);
    while (Field* rec = next_record(&in, &text, &table)) {
        LineRun kept;
        const Field* f = rec;
        for (; f->start; ++f) {
            FieldListEntry* e;
            if (!field_has_name(f)) {  // lines without a colon are left out
                kept.flush(f->start);
            } else if (field_list_match(&list, f->start, field_name_key(f), &e, nullptr)) {
                kept.flush(f->start);
                out_write(e->new_name, size_t(e->new_name_end - e->new_name));
                out_putwc(L':');
                out_write(f->value, size_t(f->end - f->value) + 1);
            } else {
                kept.keep(f);
            }
        }
        kept.flush(f->end);
        out_putwc(L'\n');
        area_reset(&table);
        area_reset(&text);
    }
    exit_if_errors(1);
    rk_exit(0);
}
