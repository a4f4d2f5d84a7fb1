// Key-field lists and keys. A key is one block of 32-bit words in a key area:
// its length in bytes, then one part per key field: for a text field each
// occurrence's characters followed by 1, and a closing 0; for a numeric
// field the number of occurrences and their values, as doubles. A character
// is stored as its code + 1 (key_code), so that none, U+0001 included, is
// taken for a mark, and the order of the words is the characters' order.
#pragma once

#include <cstdint>
#include <cwchar>

#include "fieldlist.h"

enum : uint32_t {
    KEY_BLANKS = 1,      // b: skip white space at the start of the value
    KEY_DICTIONARY = 2,  // d: keep only letters, digits and white space
    KEY_FOLD = 4,        // f: fold lower case to upper case
    KEY_PRINTABLE = 8,   // i: keep only printable characters
    KEY_NUMERIC = 16,    // n: compare as numbers
    KEY_REVERSE = 32,    // r: reverse the order
};

inline uint32_t key_code(wchar_t c) { return uint32_t(c) + 1; }
inline wchar_t key_char(uint32_t word) { return wchar_t(word - 1); }

// The flags of key fields that state none (-k); set by key_default_flags.
extern uint32_t default_key_flags;

// The flags spelled at text (letters b d f i n r); *rest is set to the first
// character that is none of them.
uint32_t parse_key_flags(const wchar_t* text, const wchar_t** rest);
// Parses a -k argument into default_key_flags; a bad flag is a counted
// error. Converts the text in `area` (which may grow).
void key_default_flags(const char* text, Area* area);
// Gives each entry of the list its flags: those spelled after its colon
// (name:flags), or the default flags. Allocates the flag words in `area`,
// the list's own area, which may grow; a bad flag is a counted error.
void key_list_resolve(FieldList* list, Area* area);
// For an exclusive (^) list: appends to the included chain every named
// field of the record that the list neither includes nor excludes, with the
// default flags, so that such fields become key fields in the order first
// met. Grows `area`, the list's own area. An inclusive list is left alone.
void key_list_extend(Field* record, FieldList* list, Area* area);
// Builds the record's key as a new object at the head of key_area (which
// may grow; the key is 4-aligned) and returns it. Extends an exclusive list
// first (key_list_extend, in list_area). Every field that went into the key
// has its value pointer cleared, so that one field serves one key field;
// the record's text and its start and end pointers are unchanged.
uint32_t* make_key(Field* record, FieldList* list, Area* key_area, Area* list_area);
// Orders two keys of the same list: negative, 0 or positive. A key that ran
// out of parts compares as empty from there; reversed fields reverse their
// part's order. Changes nothing.
int compare_keys(const uint32_t* k1, const uint32_t* k2, const FieldList* list);
// True when no key field was present: every part is an empty one (a text
// part of no occurrence is its closing 0, a numeric one a count of 0.0),
// so the key compares equal to the key of length 0.
inline bool key_is_empty(const uint32_t* key) {
    for (const uint32_t* p = key + 1; p < key + key[0] / 4; ++p)
        if (*p) return false;
    return true;
}
// One part of a key: a text part's characters, each occurrence closed by
// 1 (begin .. end, the closing 0 at end), or a numeric part's count values
// (two words each, read by key_number).
struct KeyPart {
    const FieldListEntry* entry;
    bool numeric;
    const uint32_t* begin;
    const uint32_t* end;
    size_t count;
};
// Reads the part of entry e that starts at p; returns where the next starts.
const uint32_t* key_part(const uint32_t* p, const FieldListEntry* e, KeyPart* part);
double key_number(const uint32_t* p);
// Writes the key as field lines "name:value", one per occurrence.
void print_key(const uint32_t* key, const FieldList* list);
