// Field lists: names separated by commas or white space, optionally negated
// as a whole by a leading '^', optionally renaming as old:new.
#pragma once

#include <cstdint>
#include <cwchar>

#include "record.h"

struct FieldListEntry {
    wchar_t* name;          // the name, followed in memory by a colon
    wchar_t* new_name;      // the first character after that colon
    wchar_t* new_name_end;  // end of the new name (a 0 is stored there), or null
    uint32_t* flags;        // key flags, or null in plain field lists
    struct FieldFormat* format;  // field-format lists: the entry's format, or null
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
    bool ready = false;               // the slots are built and up to date
    // The positions (in the slots and in `order`) are up to date too. An
    // entry inserted inside the chain goes into the slots at once, and the
    // positions are counted anew on the next search that asks for one.
    bool positions = false;
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

// Parses a field list into `list`, its names and entries allocated in
// `area` (which may grow; its owner's relocation pact must cover the list,
// field_list_relocate_pact). Bad text is a counted error.
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
// Inserts an entry for name/length (the name with its colon) after `after`
// (at the front when null) in the included chain; its name is copied into
// `area`, which may grow. Returns the entry, with no flags.
FieldListEntry* field_list_insert(FieldList* list, FieldListEntry* after, const wchar_t* name, size_t length,
                                  Area* area);
// A field name given as a program argument: decoded, with its colon (as
// field_list_match takes names), in a block of its own; *length counts the
// colon. Null when the text does not decode. Decodes in `scratch`, which it
// empties again.
wchar_t* field_name_argument(const char* text, size_t* length, Area* scratch);
// Empties the included chain (the excluded one stays); the entries' memory
// stays in the list's area.
void field_list_clear_included(FieldList* list);
// Translates every pointer of the list into `area` after it was resized.
void field_list_relocate(FieldList* list, Area* area);
// Relocation pact for an area holding the field list at `list`.
int field_list_relocate_pact(void* list, void*, Area* area);

// Names that match nothing. While standard error is a terminal, the names
// given here are looked for in every record next_record reads, and
// watch_report (which tool_finish calls) notes each that no record held,
// when a record was read at all. Otherwise these do nothing.
// watch_name takes a name with its colon (length counts it); watch_list the
// included names of an inclusive list, as it stands when called.
void watch_name(const wchar_t* name, size_t length);
void watch_list(const FieldList* list);
extern bool watch_pending;  // a watched name was not found yet
void watch_record_slow(const Field* rec);
inline void watch_record(const Field* rec) {
    if (watch_pending) watch_record_slow(rec);
}
void watch_report();

// Compares short texts such as field names: a direct loop beats a call.
inline bool same_text(const wchar_t* a, const wchar_t* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// Length of a field's name with its colon, as field_list_match takes it.
inline size_t field_name_key(const Field* f) { return size_t(f->value - f->start); }

