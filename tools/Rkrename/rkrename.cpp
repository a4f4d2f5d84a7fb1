// Rkrename: renames fields by a list of old:new pairs.
#include "tool.h"

static const char usage[] =
    "Rkrename field-rename-list [input-file ..]\n"
    "\trenames fields of records by field rename list as \"oldname:newname, ..\"\n";

static int32_t rsize = 4, tsize = 1, nsize = 4;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {nullptr, nullptr}};
static const ToolSpec spec = {usage, "D:", settings, nullptr, nullptr};

static ListTool tool;
static FieldList& list = tool.list;

// Every entry needs a new name.
static void check_new_names() {
    if (!list.inclusive) usage_exit(usage);
    for (const FieldListEntry* e = list.included; e; e = e->next)
        if (e->new_name_end == nullptr) {
            wchar_t* colon = e->name + e->length - 1;  // cut the name at its colon for the message
            *colon = 0;
            warn(WARN_ERROR, "no new field name for the field %ls.\n", e->name);
            *colon = L':';
        }
}

int main(int argc, char** argv) {
    tool_list_start(spec, argc, argv, &tool);
    check_new_names();

    tool_each_record(&tool.text, &tool.table, [](Field* rec, const Input&) {
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
    });
}
