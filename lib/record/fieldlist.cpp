// Field lists: parsing the command-line notation into a chain of entries in
// a storage area, and matching record fields against it.
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwctype>
#include <initializer_list>

#include "fieldlist.h"

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

// The hash of a name: a seed drawn each time an index is built, so that no
// fixed set of names can be made to collide, mixed with each character in turn and
// finished so that every bit of the name reaches the low bits that pick the
// slot.
uint64_t new_seed(const void* salt) {
    return (uint64_t(std::time(nullptr)) ^ uint64_t(std::clock()) << 32 ^ reinterpret_cast<uintptr_t>(salt)) *
           0x9e3779b97f4a7c15u;
}

uint64_t name_hash(uint64_t seed, const wchar_t* name, size_t length) {
    uint64_t h = seed ^ length;
    for (size_t i = 0; i < length; ++i) h = ((h << 5 | h >> 59) ^ uint32_t(name[i])) * 0x517cc1b727220a95u;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdu;
    h ^= h >> 33;
    return h;
}

// The slot holding the name, or the empty slot where it goes.
FieldListSlot* find_slot(const FieldListIndex& x, const wchar_t* name, size_t length, uint64_t h) {
    size_t mask = x.capacity - 1;
    uint32_t tag = uint32_t(h >> 32);
    for (size_t i = size_t(h) & mask;; i = (i + 1) & mask) {
        FieldListSlot* s = &x.slots[i];
        const FieldListEntry* e = s->included ? s->included : s->excluded;
        if (e == nullptr || (s->hash == tag && e->length == length && same_text(e->name, name, length))) return s;
    }
}

// Enters an entry of `included` at the given position; an earlier entry of
// the same name keeps the name. Returns false when the table is too full to
// take it (it then needs building anew).
bool index_included(FieldListIndex& x, FieldListEntry* e, int position) {
    uint64_t h = name_hash(x.seed, e->name, e->length);
    FieldListSlot* s = find_slot(x, e->name, e->length, h);
    if (s->included) return true;
    if (s->excluded == nullptr) {
        if (2 * (x.used + 1) > x.capacity) return false;
        ++x.used;
        s->hash = uint32_t(h >> 32);
    }
    s->included = e;
    s->position = position;
    return true;
}

// Makes room for n elements of the table at `table`, which holds `capacity`;
// the contents need not be kept. False when the memory can't be had.
template <typename T>
bool table_room(T*& table, size_t& capacity, size_t n) {
    if (n <= capacity) return true;
    std::free(table);
    table = static_cast<T*>(std::malloc(n * sizeof(T)));
    capacity = table ? n : 0;
    return table != nullptr;
}

// Builds the index of both chains in a table a quarter full at most, and an
// order table half full at most, so that as many entries again can be
// appended before it is built anew.
void index_build(const FieldList* list) {
    FieldListIndex& x = list->index;
    size_t entries = size_t(list->included_count) + size_t(list->excluded_count);
    size_t capacity = 64;
    while (capacity < 4 * entries) capacity *= 2;
    if (!table_room(x.slots, x.capacity, capacity) ||
        !table_room(x.order, x.order_capacity, 2 * size_t(list->included_count)))
        return;  // not indexed: the chains are walked
    std::memset(static_cast<void*>(x.slots), 0, x.capacity * sizeof(FieldListSlot));
    x.used = 0;
    x.seed = new_seed(&x);
    int position = 0;
    for (FieldListEntry* e = list->included; e; e = e->next) {
        x.order[position] = e;
        index_included(x, e, ++position);
    }
    for (FieldListEntry* e = list->excluded; e; e = e->next) {
        uint64_t h = name_hash(x.seed, e->name, e->length);
        FieldListSlot* s = find_slot(x, e->name, e->length, h);
        if (s->included == nullptr && s->excluded == nullptr) {
            ++x.used;
            s->hash = uint32_t(h >> 32);
        }
        if (s->excluded == nullptr) s->excluded = e;
    }
    x.ready = true;
    x.positions = true;
}

// Whether an included entry of the slots has e's name.
bool named_included(FieldListIndex& x, const FieldListEntry* e) {
    return find_slot(x, e->name, e->length, name_hash(x.seed, e->name, e->length))->included != nullptr;
}

// Counts the positions of the included entries anew, after insertions
// inside the chain.
void index_positions(const FieldList* list) {
    FieldListIndex& x = list->index;
    if (!table_room(x.order, x.order_capacity, 2 * size_t(list->included_count))) {
        x.ready = false;
        return;
    }
    int position = 0;
    for (FieldListEntry* e = list->included; e; e = e->next) {
        x.order[position++] = e;
        FieldListSlot* s = find_slot(x, e->name, e->length, name_hash(x.seed, e->name, e->length));
        if (s->included == e) s->position = position;
    }
    x.positions = true;
}

}  // namespace

FieldListIndex::~FieldListIndex() {
    std::free(slots);
    std::free(order);
}

namespace {

// The reader of a field-list text, in place: the cursor, the entry being
// read (both registered while the area may grow), the chain it goes on,
// and whether any name holds a backslash escape.
struct ListReader {
    enum State { BETWEEN, AFTER_ITEM, NAME, NEW_NAME, NAME_ESCAPE, NEW_NAME_ESCAPE };
    wchar_t* cur;
    FieldListEntry* last;
    FieldListEntry** chain;
    Area* area;
    State state;
    bool escapes;

    // Appends an entry whose name starts at the cursor.
    void open_entry() {
        FieldListEntry* e = static_cast<FieldListEntry*>(area_alloc(sizeof(FieldListEntry), area));
        e->name = cur;
        e->new_name = e->new_name_end = nullptr;
        e->flags = nullptr;
        e->format = nullptr;
        e->next = nullptr;
        e->length = 0;
        if (last)
            last->next = e;
        else
            *chain = e;
        last = e;
    }
    // Ends the name at the cursor: a colon takes the separator's place.
    void end_name() {
        *cur = L':';
        last->new_name = cur + 1;
    }
};

// The list made empty and inclusive, before a text is read into it.
void clear_list(FieldList* list) {
    list->included = list->excluded = nullptr;
    list->inclusive = 1;
    list->included_filter = list->excluded_filter = 0;
    list->included_last = nullptr;
    list->included_count = list->excluded_count = 0;
    list->index.ready = false;
}

// One character of the text, not its end: separators between entries, a
// name, a colon and the new name (or format) after it, escapes in both.
void read_list_char(ListReader& r, wchar_t c) {
    bool blank = is_separator_blank(c);
    switch (r.state) {
    case ListReader::BETWEEN:
    case ListReader::AFTER_ITEM:
        if (blank) return;
        if (c == L',' && r.state == ListReader::AFTER_ITEM) {
            r.state = ListReader::BETWEEN;
            return;
        }
        r.open_entry();  // a comma here gives an entry with an empty name
        r.state = ListReader::NAME;
        [[fallthrough]];
    case ListReader::NAME:
        if (blank || c == L',') {
            r.end_name();
            r.state = blank ? ListReader::AFTER_ITEM : ListReader::BETWEEN;
        } else if (c == L':') {
            r.last->new_name = r.last->new_name_end = r.cur + 1;
            r.state = ListReader::NEW_NAME;
        } else if (c == L'\\') {
            r.escapes = true;
            r.state = ListReader::NAME_ESCAPE;
        }
        return;
    case ListReader::NAME_ESCAPE:
        r.state = ListReader::NAME;
        return;
    case ListReader::NEW_NAME:
        if (blank || c == L',') {
            *r.cur = 0;
            r.last->new_name_end = r.cur;
            r.state = blank ? ListReader::AFTER_ITEM : ListReader::BETWEEN;
        } else if (c == L'\\') {
            r.escapes = true;
            r.state = ListReader::NEW_NAME_ESCAPE;
        }
        return;
    case ListReader::NEW_NAME_ESCAPE:
        r.state = ListReader::NEW_NAME;
        return;
    }
}

// The entries as read: escapes removed, lengths, the length filter and
// the count of the list's side.
void finish_entries(FieldList* list, FieldListEntry* first, bool escapes) {
    uint64_t& lengths = list->inclusive ? list->included_filter : list->excluded_filter;
    int& count = list->inclusive ? list->included_count : list->excluded_count;
    for (FieldListEntry* e = first; e; e = e->next) {
        if (escapes) unescape_entry(e);
        e->length = size_t(e->new_name - e->name);
        lengths |= field_filter_bit(e->name, e->length);
        ++count;
    }
}

}  // namespace

void field_list_parse(const char* text, FieldList* list, Area* area) {
    ListReader r{nullptr, nullptr, nullptr, area, ListReader::BETWEEN, false};
    Relocated<wchar_t, FieldListEntry> cursors(&r.cur, area, &r.last);
    clear_list(list);
    r.cur = mbs_to_area(text, area);
    if (r.cur == nullptr) {
        warn(WARN_ERROR, "code error in the field-list argument.\n");
        return;
    }
    if (*r.cur == L'^') {
        list->inclusive = 0;
        ++r.cur;
    }
    r.chain = list->inclusive ? &list->included : &list->excluded;
    area_align(alignof(FieldListEntry), area);
    for (;; ++r.cur) {
        wchar_t c = *r.cur;
        if (c == 0) {  // the end of the text ends a name as a comma would
            if (r.state == ListReader::NAME || r.state == ListReader::NAME_ESCAPE) r.end_name();
            if (r.state == ListReader::NEW_NAME || r.state == ListReader::NEW_NAME_ESCAPE) r.last->new_name_end = r.cur;
            break;
        }
        read_list_char(r, c);
    }
    finish_entries(list, *r.chain, r.escapes);
    if (list->inclusive) list->included_last = r.last;
}

namespace {

// Matching by walking the chains: for short lists, and for a long one whose
// index could not be built.
[[gnu::always_inline]] inline int walk_search(const FieldList* list, const wchar_t* name, size_t length,
                                               FieldListEntry** entry_out, int* position_out) {
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

// Kept out of line, so that the walk of a short list stays a plain loop.
[[gnu::noinline]] int index_search(const FieldList* list, const wchar_t* name, size_t length,
                                   FieldListEntry** entry_out, int* position_out) {
    const FieldListIndex& x = list->index;
    if (!x.ready) index_build(list);
    if (x.ready && position_out && !x.positions) index_positions(list);
    if (!x.ready) return walk_search(list, name, length, entry_out, position_out);
    const FieldListSlot* s = length ? find_slot(x, name, length, name_hash(x.seed, name, length)) : nullptr;
    if (s && s->included) {
        if (entry_out) *entry_out = s->included;
        if (position_out) *position_out = s->position;
        return 1;
    }
    if (entry_out) *entry_out = list->included_last;
    if (position_out) *position_out = list->included_count;
    return length == 0 || s->excluded || list->inclusive ? 0 : -1;
}

}  // namespace

int field_list_search(const FieldList* list, const wchar_t* name, size_t length, FieldListEntry** entry_out,
                      int* position_out) {
    // A field without a name (length 0) never matches.
    if (list->included_count + list->excluded_count > FIELD_LIST_INDEX_MIN)
        return index_search(list, name, length, entry_out, position_out);
    return walk_search(list, name, length, entry_out, position_out);
}

wchar_t* field_name_argument(const char* text, size_t* length, Area* scratch) {
    wchar_t* decoded = mbs_to_area(text, scratch);
    if (decoded == nullptr) return nullptr;
    *length = std::wcslen(decoded) + 1;
    wchar_t* name = static_cast<wchar_t*>(checked_malloc(sizeof(wchar_t) * *length));
    std::wmemcpy(name, decoded, *length - 1);
    name[*length - 1] = L':';
    area_reset(scratch);
    return name;
}

void field_list_clear_included(FieldList* list) {
    list->included = nullptr;
    list->included_last = nullptr;
    list->included_count = 0;
    list->included_filter = 0;
    list->index.ready = false;
}

FieldListEntry* field_list_insert(FieldList* list, FieldListEntry* after, const wchar_t* name, size_t length,
                                  Area* area) {
    wchar_t* text = nullptr;
    FieldListEntry* e;
    {
        Relocated<FieldListEntry, wchar_t> cells(&after, area, &text);
        area_align(alignof(wchar_t), area);
        text = static_cast<wchar_t*>(area_alloc(length * sizeof(wchar_t), area));
        std::wmemcpy(text, name, length);
        area_align(alignof(FieldListEntry), area);
        e = static_cast<FieldListEntry*>(area_alloc(sizeof(FieldListEntry), area));
    }
    e->name = text;
    e->new_name = text + length;
    e->new_name_end = nullptr;
    e->flags = nullptr;
    e->format = nullptr;
    e->length = length;
    if (length != 0) list->included_filter |= field_filter_bit(text, length);
    // Appended at the end, the entry takes the next position and goes into
    // the index; inserted anywhere else, it moves the entries after it, and
    // the index is built anew when next needed.
    bool appended = after == list->included_last;
    if (after) {
        e->next = after->next;
        after->next = e;
    } else {
        e->next = list->included;
        list->included = e;
    }
    ++list->included_count;
    if (appended) list->included_last = e;
    FieldListIndex& x = list->index;
    size_t position = size_t(list->included_count);
    if (x.ready && x.positions && appended && position <= x.order_capacity && index_included(x, e, int(position))) {
        x.order[position - 1] = e;
    } else if (x.ready && !named_included(x, e) && index_included(x, e, 0)) {
        // A new name inside the chain: in the slots now, the positions later.
        // (A name that is there already may now have its first entry here:
        // the index is built anew.)
        x.positions = false;
    } else {
        x.ready = false;
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
            area_relocate_cell(&e->format, area);
            area_relocate_cell(&e->next, area);
        }
    }
    area_relocate_cell(&list->included_last, area);
    FieldListIndex& x = list->index;
    if (!x.ready) return;
    for (FieldListSlot* s = x.slots; s < x.slots + x.capacity; ++s) {
        area_relocate_cell(&s->included, area);
        area_relocate_cell(&s->excluded, area);
    }
    if (x.positions)
        for (int p = 0; p < list->included_count; ++p) area_relocate_cell(&x.order[p], area);
}

int field_list_relocate_pact(void* list, void*, Area* area) {
    field_list_relocate(static_cast<FieldList*>(list), area);
    return 0;
}
