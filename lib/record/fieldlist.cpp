// Field lists: parsing the command-line notation into a chain of entries in
// a storage area, and matching record fields against it.
#include <cwctype>
#include <initializer_list>

#include "record.h"

namespace {

bool is_separator_blank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n'; }

// Removes the backslashes that protect a caret, white space or a comma,
// moving the entry's new name along with its text.
void unescape_entry(FieldListEntry* e) {
    wchar_t* out = e->name;
    auto copy = [&out](wchar_t* from, wchar_t* to) {
        for (wchar_t* p = from; p < to; ++p) {
            if (*p == L'\\' && p + 1 < to && (p[1] == L'^' || p[1] == L',' || std::iswspace(wint_t(p[1])))) ++p;
            *out++ = *p;
        }
    };
    wchar_t* colon = e->new_name - 1;
    copy(e->name, colon);
    *out++ = L':';
    wchar_t* new_name = out;
    if (e->new_name_end) {
        copy(e->new_name, e->new_name_end);
        *out = 0;
        e->new_name_end = out;
    }
    e->new_name = new_name;
}

}  // namespace

void field_list_parse(const char* text, FieldList* list, Area* area) {
    wchar_t* cur = nullptr;
    FieldListEntry* last = nullptr;
    area_push_pact(0, relocate_pair, &cur, &last, area);
    list->included = list->excluded = nullptr;
    list->inclusive = 1;
    list->included_filter = list->excluded_filter = 0;
    cur = mbs_to_area(text, area);
    if (cur == nullptr) {
        warn(WARN_ERROR, "code error in the field-list argument.\n");
        area_pop_pact(0, area);
        return;
    }
    if (*cur == L'^') {
        list->inclusive = 0;
        ++cur;
    }
    FieldListEntry** chain = list->inclusive ? &list->included : &list->excluded;
    area_align(alignof(FieldListEntry), area);

    // Appends an entry whose name starts at the cursor.
    auto open_entry = [&]() {
        FieldListEntry* e = static_cast<FieldListEntry*>(area_alloc(sizeof(FieldListEntry), area));
        e->name = cur;
        e->new_name = e->new_name_end = nullptr;
        e->flags = nullptr;
        e->next = nullptr;
        e->length = 0;
        if (last)
            last->next = e;
        else
            *chain = e;
        last = e;
    };
    // Ends the name at the cursor: a colon takes the separator's place.
    auto end_name = [&]() {
        *cur = L':';
        last->new_name = cur + 1;
    };

    enum { BETWEEN, AFTER_ITEM, NAME, NEW_NAME, NAME_ESCAPE, NEW_NAME_ESCAPE } state = BETWEEN;
    bool escapes = false;
    for (;; ++cur) {
        wchar_t c = *cur;
        if (c == 0) {  // the end of the text ends a name as a comma would
            if (state == NAME || state == NAME_ESCAPE) end_name();
            if (state == NEW_NAME || state == NEW_NAME_ESCAPE) last->new_name_end = cur;
            break;
        }
        bool blank = is_separator_blank(c);
        switch (state) {
        case BETWEEN:
        case AFTER_ITEM:
            if (blank) continue;
            if (c == L',' && state == AFTER_ITEM) {
                state = BETWEEN;
                continue;
            }
            open_entry();  // a comma here gives an entry with an empty name
            state = NAME;
            [[fallthrough]];
        case NAME:
            if (blank || c == L',') {
                end_name();
                state = blank ? AFTER_ITEM : BETWEEN;
            } else if (c == L':') {
                last->new_name = last->new_name_end = cur + 1;
                state = NEW_NAME;
            } else if (c == L'\\') {
                escapes = true;
                state = NAME_ESCAPE;
            }
            continue;
        case NAME_ESCAPE:
            state = NAME;
            continue;
        case NEW_NAME:
            if (blank || c == L',') {
                *cur = 0;
                last->new_name_end = cur;
                state = blank ? AFTER_ITEM : BETWEEN;
            } else if (c == L'\\') {
                escapes = true;
                state = NEW_NAME_ESCAPE;
            }
            continue;
        case NEW_NAME_ESCAPE:
            state = NEW_NAME;
            continue;
        }
    }
    uint64_t& lengths = list->inclusive ? list->included_filter : list->excluded_filter;
    for (FieldListEntry* e = *chain; e; e = e->next) {
        if (escapes) unescape_entry(e);
        e->length = size_t(e->new_name - e->name);
        lengths |= field_filter_bit(e->name, e->length);
    }
    area_pop_pact(0, area);
}

int field_list_search(const FieldList* list, const wchar_t* name, size_t length, FieldListEntry** entry_out,
                      int* position_out) {
    // A field without a name (length 0) never matches.
    FieldListEntry* last = nullptr;
    int position = 0;
    for (FieldListEntry* e = list->included; e; e = e->next) {
        ++position;
        if (length != 0 && e->length == length && same_text(e->name, name, length)) {
            if (entry_out) *entry_out = e;
            if (position_out) *position_out = position;
            return 1;
        }
        last = e;
    }
    if (entry_out) *entry_out = last;
    if (position_out) *position_out = position;
    if (length == 0) return 0;
    for (FieldListEntry* e = list->excluded; e; e = e->next)
        if (e->length == length && same_text(e->name, name, length)) return 0;
    return list->inclusive ? 0 : -1;
}

FieldListEntry* field_list_insert(FieldList* list, FieldListEntry* after, const wchar_t* name, size_t length,
                                  Area* area) {
    wchar_t* text = nullptr;
    area_push_pact(0, relocate_pair, &after, &text, area);
    area_align(alignof(wchar_t), area);
    text = static_cast<wchar_t*>(area_alloc(length * sizeof(wchar_t), area));
    std::wmemcpy(text, name, length);
    area_align(alignof(FieldListEntry), area);
    FieldListEntry* e = static_cast<FieldListEntry*>(area_alloc(sizeof(FieldListEntry), area));
    area_pop_pact(0, area);
    e->name = text;
    e->new_name = text + length;
    e->new_name_end = nullptr;
    e->flags = nullptr;
    e->length = length;
    list->included_filter |= field_filter_bit(text, length);
    if (after) {
        e->next = after->next;
        after->next = e;
    } else {
        e->next = list->included;
        list->included = e;
    }
    return e;
}

void field_list_relocate(FieldList* list, Area* area) {
    for (FieldListEntry** link : {&list->included, &list->excluded}) {
        for (area_relocate_cell(link, area); *link; link = &(*link)->next) {
            FieldListEntry* e = *link;
            area_relocate_cell(&e->name, area);
            area_relocate_cell(&e->new_name, area);
            area_relocate_cell(&e->new_name_end, area);
            area_relocate_cell(&e->flags, area);
            area_relocate_cell(&e->next, area);
        }
    }
}

int field_list_relocate_pact(void* list, void*, Area* area) {
    field_list_relocate(static_cast<FieldList*>(list), area);
    return 0;
}

void list_tool_start(ListTool* tool, int argc, char** argv, const char* usage) {
    runtime_init(argc, argv);
    int32_t rsize = 4, tsize = 1, nsize = 4;
    Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {nullptr, nullptr}};
    scan_options(settings, usage);
    area_create_doubling(rsize, "rsize", &tool->text);
    area_create_doubling(tsize, "tsize", &tool->table);
    area_create_doubling(nsize, "nsize", &tool->names);
    area_push_pact(0, field_list_relocate_pact, &tool->list, nullptr, &tool->names);
    field_list_parse(take_argument(usage), &tool->list, &tool->names);
}
