// Rkproj: keeps the fields of each record that a field list selects.
#include "record.h"

static const char usage[] =
    "Rkproj [^]field-list [input-file ..]\n"
    "\toutputs specified fields.\n";

// At file scope: a static inside a function would need a guarded
// initialisation from the C++ runtime library.
static ListTool tool;

int main(int argc, char** argv) {
    list_tool_start(&tool, argc, argv, usage);
    Area& text = tool.text;
    Area& table = tool.table;
    FieldList& list = tool.list;
    exit_if_errors(2);

    Input in;
    open_input(&in, INPUT_ALL_FILES);
    while (Field* rec = next_record(&in, &text, &table)) {
        bool any = false;
        LineRun kept;
        const Field* f = rec;
        for (; f->start; ++f)
            if (field_list_match(&list, f->start, field_name_key(f), nullptr, nullptr)) {
                kept.keep(f);
                any = true;
            } else {
                kept.flush(f->start);
            }
        kept.flush(f->end);
        if (any) out_putwc(L'\n');
        area_reset(&table);
        area_reset(&text);
    }
    exit_if_errors(1);
    rk_exit(0);
}
