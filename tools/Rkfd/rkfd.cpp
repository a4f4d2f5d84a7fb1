// Rkfd: describes the fields of each input file, or of each run of records
// with the same key: how many records have a field, how often it occurs in
// a record, how long its values are, what class of text they hold, whether
// its occurrences are split by other fields, and on request the Unicode
// blocks of its characters.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "charclass.h"
#include "tool.h"

static const char usage[] =
    "Rkfd [-options] [input-file ..]\n"
    "\treports field description of input files.\n"
    "\tOptions:\n"
    "\t-e\toutput extended attribute of the field.\n"
    "\t-g key-field-list\tgrouped by description.\n"
    "\t-k key-flags\tdefault key-flags for -g option.\n";

static int32_t rsize = 4, tsize = 1, nsize = 1, ksize = 1, dsize = 1;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize},
                             {"ksize", &ksize}, {"dsize", &dsize}, {nullptr, nullptr}};
static bool extended = false;
static const char* group_text = nullptr;
static const char* flags_text = nullptr;

static bool option(int letter) {
    switch (letter) {
    case 'e': extended = true; return true;
    case 'g': group_text = opt_arg; return true;
    case 'k': flags_text = opt_arg; return true;
    }
    return false;
}

static const ToolSpec spec = {usage, "D:eg:k:", settings, option, nullptr};

enum : uint32_t { MOVED = 1, SPLIT = 2 };

// The description of one field name, followed in the area by the name
// (colon included). Descriptions refer to each other by their offsets in
// the area, 0 standing for none: the area only grows until it is emptied,
// so an offset stays good when the block moves.
struct Description {
    size_t prev, next;  // the merged order of names
    uint64_t label;     // grows along the merged order
    uint64_t stamp;     // the record that counted it last
    int64_t count;      // its occurrences in that record
    int64_t records, min_count, max_count, total_count;
    int64_t min_length, max_length, total_length;
    uint32_t hash, name_length, flags;
    int attribute;
    BlockSet blocks;
    wchar_t* name() { return reinterpret_cast<wchar_t*>(this + 1); }
};

static Area text, table, names, keys, descs;
static FieldList group_list;
static const uint32_t no_key[1] = {0};
static const uint32_t* group = no_key;

// The descriptions of the file or group being read.
static size_t first = 0;        // the first in the merged order
static int64_t described = 0;   // how many there are
static int64_t group_records = 0;

// The record being read: its serial number, the last description it added
// to the merged order (0 before its first), the description of the field
// before, and the descriptions it has counted.
static uint64_t serial = 0;
static size_t cursor = 0, before = 0;
static size_t* counted = nullptr;
static size_t counted_room = 0, counted_used = 0;

static Description* at(size_t offset) { return reinterpret_cast<Description*>(descs.base + offset); }

// Names to descriptions: open addressing over a power-of-two table whose
// slots are good for the descriptions of their generation only, so that
// emptying it is a step of the generation.
struct Slot {
    uint32_t generation, hash;
    size_t offset;
};
static Slot* slots = nullptr;
static size_t slot_mask = 0;
static uint32_t generation = 1;

static uint32_t name_hash(const wchar_t* name, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; ++i) h = (h ^ uint32_t(name[i])) * 16777619u;
    return h;
}

static bool same_name(Description* d, const wchar_t* name, size_t n) {
    return d->name_length == n && std::wmemcmp(d->name(), name, n) == 0;
}

static Slot* find_slot(uint32_t h, const wchar_t* name, size_t n) {
    for (size_t i = h & slot_mask;; i = (i + 1) & slot_mask) {
        Slot* s = &slots[i];
        if (s->generation != generation) return s;
        if (s->hash == h && same_name(at(s->offset), name, n)) return s;
    }
}

static void grow_slots() {
    Slot* old = slots;
    size_t old_size = slots ? slot_mask + 1 : 0;
    size_t size = old_size ? 2 * old_size : 64;
    slots = static_cast<Slot*>(checked_malloc(size * sizeof(Slot)));
    std::memset(slots, 0, size * sizeof(Slot));
    slot_mask = size - 1;
    for (size_t i = 0; i < old_size; ++i) {
        if (old[i].generation != generation) continue;
        size_t j = old[i].hash & slot_mask;
        while (slots[j].generation == generation) j = (j + 1) & slot_mask;
        slots[j] = old[i];
    }
    std::free(old);
}

// Gives every description a label anew, evenly spread, in list order.
static void relabel() {
    uint64_t step = UINT64_MAX / uint64_t(described + 2), label = step;
    for (size_t o = first; o; o = at(o)->next, label += step) at(o)->label = label;
}

// Links d into the merged order right after the cursor (at the start when
// there is none), with a label between its neighbours'.
static void link_after_cursor(size_t d) {
    size_t next = cursor ? at(cursor)->next : first;
    uint64_t low = cursor ? at(cursor)->label : 0;
    uint64_t high = next ? at(next)->label : UINT64_MAX;
    Description* p = at(d);
    p->prev = cursor;
    p->next = next;
    if (cursor) at(cursor)->next = d; else first = d;
    if (next) at(next)->prev = d;
    if (high - low >= 2) p->label = low + (high - low) / 2;
    else relabel();
}

static void unlink(size_t d) {
    Description* p = at(d);
    if (p->prev) at(p->prev)->next = p->next; else first = p->next;
    if (p->next) at(p->next)->prev = p->prev;
}

static size_t new_description(uint32_t h, const wchar_t* name, size_t n) {
    area_align(alignof(Description), &descs);
    void* room = area_alloc(sizeof(Description) + n * sizeof(wchar_t), &descs);
    size_t d = size_t(static_cast<char*>(room) - descs.base);
    Description* p = at(d);
    std::memset(p, 0, sizeof *p);
    p->min_length = INT64_MAX;
    p->hash = h;
    p->name_length = uint32_t(n);
    std::wmemcpy(p->name(), name, n);
    ++described;
    if (uint64_t(described) * 2 > slot_mask + 1) grow_slots();
    *find_slot(h, name, n) = Slot{generation, h, d};
    return d;
}

// The description of a name the record has not counted yet, placed in the
// merged order: one after the cursor stays, one before it moves right
// after it, a new one goes right after it. It becomes the cursor.
static size_t take_in_order(const wchar_t* name, size_t n) {
    size_t expected = cursor ? at(cursor)->next : first;
    size_t d;
    if (expected && same_name(at(expected), name, n)) {
        d = expected;
    } else {
        uint32_t h = name_hash(name, n);
        Slot* s = find_slot(h, name, n);
        if (s->generation != generation) {
            d = new_description(h, name, n);
            link_after_cursor(d);
        } else {
            d = s->offset;
            if (at(d)->stamp == serial) return d;  // counted in this record already
            if (cursor && at(d)->label < at(cursor)->label) {
                unlink(d);
                link_after_cursor(d);
                at(d)->flags |= MOVED;
            }
        }
    }
    cursor = d;
    Description* p = at(d);
    p->stamp = serial;
    p->count = 0;
    grow_table(counted, counted_room, counted_used + 1);
    counted[counted_used++] = d;
    return d;
}

static const wchar_t empty_name[] = L":";

static void describe_field(const Field* f) {
    const wchar_t* name = empty_name;
    size_t n = 1;
    if (field_has_name(f)) name = f->start, n = size_t(f->value - f->start);
    size_t d = before;
    if (!d || !same_name(at(d), name, n)) {
        d = take_in_order(name, n);
        // One met before in this record, not right before: its occurrences
        // are split by other fields.
        if (at(d)->count > 0) at(d)->flags |= SPLIT;
        before = d;
    }
    Description* p = at(d);
    ++p->count;
    size_t length = field_value_length(f);
    int64_t l = int64_t(length);
    if (l < p->min_length) p->min_length = l;
    if (l > p->max_length) p->max_length = l;
    p->total_length += l;
    unsigned bounded = length > UINT_MAX ? UINT_MAX : unsigned(length);
    p->attribute = classify_value(p->attribute, f->value, bounded, extended ? &p->blocks : nullptr);
}

static void describe_record(const Field* rec) {
    ++serial;
    cursor = before = 0;
    counted_used = 0;
    for (const Field* f = rec; f->start; ++f)
        if (f->value) describe_field(f);  // a key field has none
    for (size_t i = 0; i < counted_used; ++i) {
        Description* p = at(counted[i]);
        if (p->records == 0 || p->count < p->min_count) p->min_count = p->count;
        if (p->count > p->max_count) p->max_count = p->count;
        p->total_count += p->count;
        ++p->records;
    }
    ++group_records;
}

static void write_line(const char* name, int64_t n) {
    out_str(name);
    out_int(long(n));
    out_putwc(L'\n');
}

// Writes the descriptions of the file or group, then forgets them.
static void write_descriptions(const char* file_name) {
    for (size_t o = first; o; o = at(o)->next) {
        Description* p = at(o);
        if (file_name) write_filename(file_name);
        if (group_text) print_key(group, &group_list);
        out_lit("fieldname:");
        out_write(p->name(), p->name_length - 1);
        out_putwc(L'\n');
        // A record of the file or group without the field had none of it.
        write_line("min:", p->records < group_records ? 0 : p->min_count);
        write_line("max:", p->max_count);
        out_lit("exists:");
        out_int(long(p->records));
        out_putwc(L'/');
        out_int(long(group_records));
        out_putwc(L'\n');
        write_line("minlen:", p->min_length);
        write_line("maxlen:", p->max_length);
        out_lit("avglen:");
        print_number(double(p->total_length) / double(p->total_count));
        out_putwc(L'\n');
        if (p->max_length > 0) {
            out_lit("attribute:");
            out_str(attribute_name(p->attribute));
            out_putwc(L'\n');
        }
        if (extended && !(p->attribute & ATTR_NUMERIC) && (p->attribute & ATTR_KINDS) != ATTR_ASCII)
            print_blocks("NAsc", &p->blocks);
        if (p->flags & SPLIT) out_lit("position:split\n");
        out_putwc(L'\n');
    }
    area_reset(&descs);
    area_alloc(alignof(Description), &descs);  // no description lies at offset 0
    first = 0;
    described = 0;
    group_records = 0;
    if (++generation == 0) {  // after 2^32 generations the slots start afresh
        std::memset(slots, 0, (slot_mask + 1) * sizeof(Slot));
        generation = 1;
    }
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    init_character_classes();
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    tool_area("dsize", &descs);
    area_alloc(alignof(Description), &descs);
    grow_slots();
    if (group_text) {
        tool_area("nsize", &names, nullptr, 8);
        tool_area("ksize", &keys);
        area_push_pact(0, relocate_pair, &group, nullptr, &keys);
        tool_key_list(group_text, flags_text, &group_list, &names);
    }
    tool_each_file([](Input& in) {
        while (Field* rec = next_record(&in, &text, &table)) {
            if (group_text) {
                next_group(rec, &group_list, &keys, &names, &group, [&] {
                    if (group_records > 0) write_descriptions(in.name);
                });
            }
            describe_record(rec);
            area_reset(&table);
            area_reset(&text);
        }
        if (group_records > 0) write_descriptions(in.name);
        if (group_text) {
            group = no_key;
            area_reset(&keys);
        }
    });
}
