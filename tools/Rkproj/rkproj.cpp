// Rkproj: keeps the fields of each record that a field list selects.
#include "tool.h"

static const char usage[] =
    "Rkproj [^]field-list [input-file ..]\n"
    "\toutputs specified fields.\n";

static int32_t rsize = 4, tsize = 1, nsize = 4;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {nullptr, nullptr}};
static const ToolSpec spec = {usage, "D:", settings, nullptr, nullptr};

static ListTool tool;
static const FieldList& list = tool.list;

int main(int argc, char** argv) {
    tool_list_start(spec, argc, argv, &tool);

    tool_each_record(&tool.text, &tool.table, [](Field* rec, const Input&) {
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
    });
}
