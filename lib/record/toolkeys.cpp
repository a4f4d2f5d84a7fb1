// The frame's set-up of key-field lists, apart from the field lists so that
// programs without keys do not carry the key code.
#include "tool.h"

void tool_key_list(const char* text, const char* flags, FieldList* list, Area* names) {
    tool_field_list(text, list, names);
    if (flags) key_default_flags(flags, names);
    key_list_resolve(list, names);
}
