// Rk-records: the in-memory record, the reader over the file arguments and
// the writers.
#pragma once

#include <cstdint>
#include <cwchar>

#include "runtime.h"

// One field of a record. The name is start .. value-2 (the colon excluded),
// the value is value .. end-1, and end is the newline that ends the line.
// A field without a name has value == start. A record is an array of fields
// closed by a triple whose start and value are null and whose end points at
// the 0 character after the record's text.
struct Field {
    wchar_t* start;
    wchar_t* value;
    wchar_t* end;
};

inline bool field_has_name(const Field* f) { return f->value != f->start; }
inline size_t field_name_length(const Field* f) { return f->value == f->start ? 0 : size_t(f->value - f->start - 1); }
inline size_t field_value_length(const Field* f) { return size_t(f->end - f->value); }
// The closing triple of a record.
inline Field* record_end(Field* rec) {
    while (rec->start) ++rec;
    return rec;
}

// Reading modes of an input.
enum { INPUT_EXHAUSTED = 0, INPUT_ONE_FILE = 1, INPUT_ALL_FILES = 2 };

struct Input {
    WStream* stream;
    int32_t mode;
    const char* name;  // file argument being read; null for standard input
    int32_t number;    // record number in the current file, from 1
    int32_t total;     // records read since the input was opened
};

void open_input(Input* in, int mode);
// Stops reading the input early.
void close_input(Input* in);
// The next record of the input, or null when it is exhausted.
Field* next_record(Input* in, Area* text, Area* table);
// One record from one stream, or null when the stream holds no more fields.
Field* read_record(WStream* s, Area* text, Area* table);

// Writes a record whose text is contiguous (areas reset before it was read),
// then the empty line that ends it.
void write_record(const Field* rec);
// Writes the record field by field, then the empty line; writes nothing for
// a record without fields.
void write_fields(const Field* rec);
// Writes the field "filename:" with the input's name, when it has one
// (standard input has none). A newline or a byte that is no character of the
// locale's encoding is written as '?', so that no name can break the record
// or make the output unreadable.
void write_filename(const char* name);
// Writes one field line, newline included.
inline void write_field(const Field* f) { out_write(f->start, size_t(f->end - f->start) + 1); }
// Field lines that go out unchanged, gathered while they follow each other
// in the record's text, so that each run of them is written at once.
struct LineRun {
    const wchar_t* from = nullptr;
    void keep(const Field* f) {
        if (from == nullptr) from = f->start;
    }
    // Writes the lines kept so far, which end where `to` begins.
    void flush(const wchar_t* to) {
        if (from == nullptr) return;
        out_write(from, size_t(to - from));
        from = nullptr;
    }
};

// ---------------------------------------------------------------------------
// Field lists: names separated by commas or white space, optionally negated
// as a whole by a leading '^', optionally renaming as old:new.

struct FieldListEntry {
    wchar_t* name;          // the name, followed in memory by a colon
    wchar_t* new_name;      // the first character after that colon
    wchar_t* new_name_end;  // end of the new name (a 0 is stored there), or null
    uint32_t* flags;        // key flags, or null in plain field lists
    FieldListEntry* next;
    size_t length;          // characters of the name with its colon
};

// Lists of more entries than this (both chains together) are matched through
// a hash index of their names; shorter chains are walked, which is as fast
// for them and needs no table.
constexpr int FIELD_LIST_INDEX_MIN = 16;

// One name of an indexed list: the entries that matching it reports.
struct FieldListSlot {
    FieldListEntry* included;  // the first entry of `included` with the name, or null
    FieldListEntry* excluded;  // an entry of `excluded` with the name, or null
    uint32_t hash;             // high half of the name's hash: most other names differ in it
    int position;              // 1-based position of `included` in its chain
};

// The hash index of a long list: open addressing with linear probing over a
// power-of-two table, at most half full; an empty slot has neither entry.
// Beside it, the entries of `included` by position, for loops over a long
// chain that would otherwise wait on each link. Unlike the list the index
// lives outside the storage areas: both tables come from malloc, are reused
// when the list is parsed again or the index rebuilt, and are freed with the
// list. The index is built on the first search after it went out of date (a
// new parse, an entry inserted inside the chain, or a table filling), and
// kept up to date by entries appended at the end of `included`. A failed
// allocation only leaves the list unindexed: its chains are then walked.
struct FieldListIndex {
    FieldListSlot* slots = nullptr;
    size_t capacity = 0;              // slots allocated
    size_t used = 0;                  // slots holding a name
    FieldListEntry** order = nullptr;  // order[p - 1]: the entry at position p of `included`
    size_t order_capacity = 0;
    uint64_t seed = 0;                // of the names' hashes
    bool ready = false;               // both tables are built and up to date
    FieldListIndex() = default;
    FieldListIndex(const FieldListIndex&) = delete;
    FieldListIndex& operator=(const FieldListIndex&) = delete;
    ~FieldListIndex();
};

// The chains are changed only by field_list_parse and field_list_insert,
// which keep the counts, the last entry, the filters and the index.
struct FieldList {
    FieldListEntry* included;
    FieldListEntry* excluded;
    int inclusive;
    // Filters of the names in each chain: one bit per entry, chosen by the
    // name's length and first character; most fields of a record are told
    // apart from every entry by their bit alone.
    uint64_t included_filter;
    uint64_t excluded_filter;
    FieldListEntry* included_last;  // the last entry of `included`, or null
    int included_count;             // entries of `included`
    int excluded_count;             // entries of `excluded`
    // Built by the searches themselves, hence mutable.
    mutable FieldListIndex index;
};

// name/length as for field_list_match, length not 0.
inline uint64_t field_filter_bit(const wchar_t* name, size_t length) {
    return uint64_t(1) << ((length * 7 + uint32_t(name[0])) & 63);
}

void field_list_parse(const char* text, FieldList* list, Area* area);
// name/length: a field's start and value - start (the colon included).
// Non-zero when the field is selected: 1 when an included entry matched,
// -1 when nothing matched in an exclusive list. Expected constant time for
// a list of any length.
int field_list_search(const FieldList* list, const wchar_t* name, size_t length, FieldListEntry** entry_out,
                      int* position_out);
inline int field_list_match(const FieldList* list, const wchar_t* name, size_t length, FieldListEntry** entry_out,
                            int* position_out) {
    // A name whose filter bit no entry has matches nothing; the chains need
    // walking only to report the last entry.
    if (length != 0 && entry_out == nullptr && position_out == nullptr &&
        !((list->included_filter | list->excluded_filter) & field_filter_bit(name, length)))
        return list->inclusive ? 0 : -1;
    return field_list_search(list, name, length, entry_out, position_out);
}
FieldListEntry* field_list_insert(FieldList* list, FieldListEntry* after, const wchar_t* name, size_t length,
                                  Area* area);
void field_list_relocate(FieldList* list, Area* area);

// Compares short texts such as field names: a direct loop beats a call.
inline bool same_text(const wchar_t* a, const wchar_t* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// Length of a field's name with its colon, as field_list_match takes it.
inline size_t field_name_key(const Field* f) { return size_t(f->value - f->start); }

// ---------------------------------------------------------------------------
// Key-field lists and keys. A key is one block of 32-bit words in a key area:
// its length in bytes, then one part per key field: for a text field each
// occurrence's characters followed by 1, and a closing 0; for a numeric
// field the number of occurrences and their values, as doubles.

enum : uint32_t {
    KEY_BLANKS = 1,      // b: skip white space at the start of the value
    KEY_DICTIONARY = 2,  // d: keep only letters, digits and white space
    KEY_FOLD = 4,        // f: fold lower case to upper case
    KEY_PRINTABLE = 8,   // i: keep only printable characters
    KEY_NUMERIC = 16,    // n: compare as numbers
    KEY_REVERSE = 32,    // r: reverse the order
};

extern uint32_t default_key_flags;

uint32_t parse_key_flags(const wchar_t* text, const wchar_t** rest);
void key_default_flags(const char* text, Area* area);
void key_list_resolve(FieldList* list, Area* area);
void key_list_extend(Field* record, FieldList* list, Area* area);
uint32_t* make_key(Field* record, FieldList* list, Area* key_area, Area* list_area);
int compare_keys(const uint32_t* k1, const uint32_t* k2, const FieldList* list);
void print_key(const uint32_t* key, const FieldList* list);
// Relocation pact for an area holding the field list at `list`.
int field_list_relocate_pact(void* list, void*, Area* area);

// The start of the tools that take a field list as their first argument and
// only -D as option (settings rsize 4, tsize 1, nsize 4): scans the options,
// creates the three areas with their pacts and parses the list.
struct ListTool {
    Area text, table, names;
    FieldList list;
};
void list_tool_start(ListTool* tool, int argc, char** argv, const char* usage);
