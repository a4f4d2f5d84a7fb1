// Rkfd: describes the fields of each input file, or of each run of records
// with the same key: how many records have a field, how often it occurs in
// a record, how long its values are, what class of text they hold, whether
// its occurrences are split by other fields, and on request the Unicode
// blocks of its characters.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "charclass.h"
#include "nameorder.h"
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

// The description of one field name; the name itself is its node's in the
// merged order, whose number is its index among the descriptions.
struct Description {
    uint64_t stamp;  // the record that counted it last
    int64_t count;   // its occurrences in that record
    int64_t records, min_count, max_count, total_count;
    int64_t min_length, max_length, total_length;
    uint32_t flags;
    int attribute;
    BlockSet blocks;
};

static Area text, table, names, keys, descs;
static FieldList group_list;
static const uint32_t no_key[1] = {0};
static const uint32_t* group = no_key;

// The descriptions of the file or group being read: an array growing at
// the head of the area, by the numbers of their names in the merged order.
static Description* described = nullptr;
static NameOrder order;
static int64_t group_records = 0;

// The record being read: its serial number, the description of the field
// before (-1 at the first), and the descriptions it has counted.
static uint64_t serial = 0;
static int32_t before = -1;
static int32_t* counted = nullptr;
static size_t counted_room = 0, counted_used = 0;

static Description* new_description() {
    Description* p = static_cast<Description*>(area_extend(sizeof(Description), &described, &descs));
    std::memset(p, 0, sizeof *p);
    p->min_length = INT64_MAX;
    return p;
}

static const wchar_t empty_name[] = L":";

static void describe_field(const Field* f) {
    const wchar_t* name = empty_name;
    size_t n = 1;
    if (field_has_name(f)) name = f->start, n = size_t(f->value - f->start);
    int32_t d = before;
    if (d < 0 || order.nodes[d].length != n || std::wmemcmp(name_order_name(&order, d), name, n) != 0) {
        int mark;
        d = name_order_take(&order, name, n, &mark);
        if (mark == NAME_NEW) new_description();
        Description* p = &described[d];
        if (mark == NAME_MOVED) p->flags |= MOVED;
        if (mark == NAME_MET) {
            // One met before in this record, not right before: its
            // occurrences are split by other fields.
            p->flags |= SPLIT;
        } else {
            p->stamp = serial;
            p->count = 0;
            grow_table(counted, counted_room, counted_used + 1);
            counted[counted_used++] = d;
        }
        before = d;
    }
    Description* p = &described[d];
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
    name_order_next_record(&order);
    before = -1;
    counted_used = 0;
    for (const Field* f = rec; f->start; ++f)
        if (f->value) describe_field(f);  // a key field has none
    for (size_t i = 0; i < counted_used; ++i) {
        Description* p = &described[counted[i]];
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
    for (int32_t d = order.first; d >= 0; d = order.nodes[d].next) {
        Description* p = &described[d];
        if (file_name) write_filename(file_name);
        if (group_text) print_key(group, &group_list);
        out_lit("fieldname:");
        out_write(name_order_name(&order, d), order.nodes[d].length - 1);
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
    described = nullptr;
    name_order_clear(&order);
    group_records = 0;
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    init_character_classes();
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    tool_area("dsize", &descs);
    area_push_pact(0, relocate_pair, &described, nullptr, &descs);
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
