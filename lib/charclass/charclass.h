// Character classes of field values: what kind of number or text a value
// holds, and the Unicode blocks its non-ASCII characters belong to.
#pragma once

#include <cstdint>
#include <cwchar>

// Attribute bits. The low five are the numeric classes (only a value of at
// most 30 characters can have them), the high three the kinds of character
// the value holds.
enum : int {
    ATTR_BLANK = 0x01,        // empty, or white space only
    ATTR_UNSIGNED = 0x02,     // unsigned decimal integer
    ATTR_SIGNED = 0x04,       // signed decimal integer
    ATTR_FLOAT = 0x08,        // floating-point number, locale's decimal point
    ATTR_BASED = 0x10,        // integer with a base prefix (0x.., 0..)
    ATTR_NUMERIC = 0x1F,
    ATTR_ASCII = 0x20,        // holds a character below 128
    ATTR_NON_ASCII = 0x40,    // holds a character of 128 or above
    ATTR_UNPRINTABLE = 0x80,  // holds a character that is not printable
    ATTR_KINDS = 0xE0,
};

// The longest value that can have a numeric class.
constexpr unsigned CLASSIFY_NUMBER_LENGTH = 30;

// A set of rows of the block table: bit i of the words stands for row i.
// The owner clears it before use.
struct BlockSet {
    uint32_t words[4];
};
inline void block_set_clear(BlockSet* set) { set->words[0] = set->words[1] = set->words[2] = set->words[3] = 0; }

// One row of the block table.
struct Block {
    uint32_t first, last;
    const char* name;
};
// The block table: block_count rows sorted by first code point, disjoint,
// then a row of zeros.
extern const Block block_table[];
extern const int block_count;

// When 1 (set by init_character_classes), classify_value records blocks and
// print_blocks prints them.
extern int block_recording;

// Conversion checks (a scan of the value as the C library's number
// conversions read it) made by classify_value so far, for measurements.
extern uint64_t classify_checks;
// Where the wide string-to-long conversion in base 10 (or, with any_base,
// base 0) and the wide string-to-double conversion stop on a value of at
// most 30 ASCII characters that the class table left a candidate of their
// class: the number of characters read, 0 when nothing converts. Exposed
// for tests that hold them against the C library.
unsigned integer_end(const wchar_t* value, unsigned length, bool any_base);
unsigned float_end(const wchar_t* value, unsigned length);

// Once, after the locale is set: the decimal point joins the class table,
// the printable test of ASCII is taken from the locale, block recording is
// on.
void init_character_classes();
// The attribute of the first `length` characters of `value` (which needs no
// terminator and is never written). `previous` is 0 for a fresh
// classification, or an attribute whose numeric bits bound those the value
// may earn and whose kind bits carry over. With `blocks`, the block of
// every non-ASCII character is added to it.
int classify_value(int previous, const wchar_t* value, unsigned length, BlockSet* blocks);
// The attribute of what holds values of both attributes.
inline int merge_attributes(int a, int b) {
    if (a == 0 || b == 0) return a | b;
    int numeric = a & b & ATTR_NUMERIC;
    if (a & b & ATTR_NON_ASCII) numeric = 0;
    return numeric | ((a | b) & ATTR_KINDS);
}
// The printable name of an attribute ("Int", "Num", "Asc", ...).
const char* attribute_name(int attribute);
// The row of the block table holding c, or -1 when none does.
int block_of(wchar_t c);
// Writes "prefix:block name" and a newline for every row of the set, in
// table order.
void print_blocks(const char* prefix, const BlockSet* blocks);
