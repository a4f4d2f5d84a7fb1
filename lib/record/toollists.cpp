// The frame's set-up of field lists, in a unit of its own so that programs
// without lists do not carry the list code (key lists: toolkeys.cpp).
#include "tool.h"

void tool_field_list(const char* text, FieldList* list, Area* names) {
    area_push_pact(0, field_list_relocate_pact, list, nullptr, names);
    field_list_parse(text, list, names);
    watch_list(list);
}

void tool_list_start(const ToolSpec& spec, int argc, char** argv, ListTool* tool) {
    tool_start(spec, argc, argv);
    tool_area("rsize", &tool->text);
    tool_area("tsize", &tool->table);
    tool_area("nsize", &tool->names);
    tool_field_list(take_argument(spec.usage), &tool->list, &tool->names);
}
