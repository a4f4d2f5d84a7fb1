// The common start of Rkpack and Rkunpack.
#include "pack.h"

#include <cstring>

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

static ToolSpec spec;

void pack_start(PackTool* tool, const char* usage, const char* options, const char* program, int direction,
                int argc, char** argv) {
    spec = ToolSpec{usage, options, settings, option, nullptr};
    tool_start(spec, argc, argv);
    tool_area("rsize", &tool->text);
    tool_area("tsize", &tool->table);
    tool_area("nsize", &tool->names);
    tool_area("wsize", &tool->work);
    format_defaults(direction, t_text, z_text, &tool->names);
    const char* text = take_argument(usage);
    // Unpacking cuts each value again and again: every format repeats, and
    // is checked as a repeating one.
    bool repeating = direction == FORMAT_INPUT;
    format_list_read(text, &tool->list, direction, &tool->names, repeating);
    watch_list(&tool->list);
    if (repeating) default_format.repeat = true;
    if (tool->list.inclusive) {
        for (const FieldListEntry* e = tool->list.included; e; e = e->next) {
            if (e->format == nullptr) continue;
            const wchar_t* name = format_message_name(e->name, e->length ? e->length - 1 : 0);
            if (e->format->options & FORMAT_F)
                warn(WARN_ERROR, "f option of the field %ls is not allowed in %s.\n", name, program);
            if (e->format->start_kind == START_ABSOLUTE)
                warn(WARN_ERROR, "absolute position of the field %ls is not allowed in %s.\n", name, program);
        }
    }
    exit_if_errors(2);
}

namespace {
bool* listed_table = nullptr;
size_t listed_capacity = 0;
int32_t* next_table = nullptr;
size_t next_capacity = 0;
bool* mark_table = nullptr;
size_t mark_capacity = 0;
}  // namespace

bool* pack_listed(const PackTool* tool, const Field* rec, size_t n) {
    bool* listed = grow_table(listed_table, listed_capacity, n + 1);
    format_listed(&tool->list, rec, n, listed);
    return listed;
}

int32_t* pack_next(size_t n) { return grow_table(next_table, next_capacity, n + 1); }

bool* pack_marks(size_t n) {
    bool* marks = grow_table(mark_table, mark_capacity, n + 1);
    std::memset(marks, 0, n);
    return marks;
}

const FieldFormat* pack_format(const PackTool* tool, const Field* f) {
    FieldListEntry* e = nullptr;
    if (!tool->list.inclusive) return &default_format;
    field_list_match(&tool->list, f->start, field_name_key(f), &e, nullptr);
    return e && e->format ? e->format : &default_format;
}
