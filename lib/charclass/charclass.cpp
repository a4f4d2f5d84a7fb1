// Classification of values (number classes, kinds of character) and the
// Unicode block table of version 4.0.
#include "charclass.h"

#include <clocale>
#include <cwctype>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "output.h"
#include "wtext.h"

int block_recording = 0;
uint64_t classify_checks = 0;

// The numeric classes each ASCII character allows: the white-space
// controls and the space allow all five, signs the signed ones, digits all
// but blank, hexadecimal letters the based class (e and E also the floating
// one, for exponents), x and X the based class; the decimal point joins at
// start-up.
static unsigned char ascii_class[128] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0x1F, 0x1F, 0x1F, 0x1F, 0x1F, 0, 0,   // 0x00
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                  // 0x10
    0x1F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x1C, 0, 0x1C, 0, 0,         // 0x20  space + -
    0x1E, 0x1E, 0x1E, 0x1E, 0x1E, 0x1E, 0x1E, 0x1E, 0x1E, 0x1E, 0, 0, 0, 0, 0, 0,  // digits
    0, 0x10, 0x10, 0x10, 0x10, 0x18, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0x40  A-F
    0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 0, 0, 0,                 // 0x50  X
    0, 0x10, 0x10, 0x10, 0x10, 0x18, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0x60  a-f
    0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 0, 0, 0,                 // 0x70  x
};
// The decimal point of the locale, when it is ASCII (a point outside ASCII
// can never reach the checks: such a value has no numeric class).
static wchar_t decimal_char = 0;
// Whether each ASCII character is printable in the locale, taken once.
static bool ascii_printable[128];
// Both in one byte per ASCII character: the classes it allows, the ASCII
// kind, and the unprintable kind when it is not printable.
static unsigned char ascii_bits[128];
// Whether the locale prints every character from space to tilde (as every
// locale does), which lets runs of them be skipped in bulk.
static bool plain_ascii_printable = false;
// The last character of 128 or above tested for being printable.
static wint_t last_wide = WEOF;
static bool last_wide_printable = false;

void init_character_classes() {
    unsigned char point = static_cast<unsigned char>(*std::localeconv()->decimal_point);
    if (point != 0 && point < 128) ascii_class[point] |= ATTR_FLOAT;
    decimal_char = point < 128 ? wchar_t(point) : 0;
    for (wint_t c = 0; c < 128; ++c) {
        ascii_printable[c] = std::iswprint(c) != 0;
        ascii_bits[c] = static_cast<unsigned char>(ascii_class[c] | ATTR_ASCII | (ascii_printable[c] ? 0 : ATTR_UNPRINTABLE));
    }
    plain_ascii_printable = true;
    for (wint_t c = 0x20; c < 0x7F; ++c) plain_ascii_printable = plain_ascii_printable && ascii_printable[c];
    last_wide = WEOF;
    block_recording = 1;
}

static bool printable_wide(wint_t c) {
    if (c != last_wide) {
        last_wide = c;
        last_wide_printable = std::iswprint(c) != 0;
    }
    return last_wide_printable;
}

// The checks below see ASCII only, where white space is these six.
static bool is_blank(wchar_t c) { return c == L' ' || (c >= 9 && c <= 13); }
static bool blank_from(const wchar_t* value, unsigned from, unsigned length) {
    for (unsigned i = from; i < length; ++i)
        if (!is_blank(value[i])) return false;
    return true;
}
static unsigned skip_digits(const wchar_t* value, unsigned i, unsigned length, int base) {
    for (; i < length; ++i) {
        wchar_t c = value[i];
        bool digit = base == 16 ? (c >= L'0' && c <= L'9') || ((c | 0x20) >= L'a' && (c | 0x20) <= L'f')
                                : c >= L'0' && c < L'0' + base;
        if (!digit) break;
    }
    return i;
}

// Where the C library's wide string-to-long conversion stops on the value,
// in base 10 or, with `any_base`, in base 0: white space, a sign, then
// decimal digits, or octal ones after a leading 0, or hexadecimal ones
// after 0x when one follows. 0 when nothing converts.
unsigned integer_end(const wchar_t* value, unsigned length, bool any_base) {
    unsigned i = 0;
    while (i < length && is_blank(value[i])) ++i;
    if (i < length && (value[i] == L'+' || value[i] == L'-')) ++i;
    int base = 10;
    if (any_base && i < length && value[i] == L'0') {
        base = 8;
        if (i + 2 < length && (value[i + 1] | 0x20) == L'x' && skip_digits(value, i + 2, length, 16) > i + 2) {
            base = 16;
            i += 2;
        }
    }
    unsigned end = skip_digits(value, i, length, base);
    return end > i ? end : 0;
}

// Where the wide string-to-double conversion stops on a value of white
// space, signs, digits, e, E and the decimal point (the only characters
// that leave the floating class a candidate): white space, a sign, digits
// with at most one decimal point among them (one digit at least), then an
// exponent when e or E is followed by digits, signed or not. 0 when
// nothing converts.
unsigned float_end(const wchar_t* value, unsigned length) {
    unsigned i = 0;
    while (i < length && is_blank(value[i])) ++i;
    if (i < length && (value[i] == L'+' || value[i] == L'-')) ++i;
    unsigned digits = skip_digits(value, i, length, 10);
    unsigned n = digits - i;
    i = digits;
    if (i < length && decimal_char && value[i] == decimal_char) {
        digits = skip_digits(value, i + 1, length, 10);
        n += digits - (i + 1);
        i = digits;
    }
    if (n == 0) return 0;
    if (i < length && (value[i] | 0x20) == L'e') {
        unsigned j = i + 1;
        if (j < length && (value[j] == L'+' || value[j] == L'-')) ++j;
        unsigned e = skip_digits(value, j, length, 10);
        if (e > j) i = e;
    }
    return i;
}

// The conversion checks of the candidates the class table left, on values
// of at most 30 characters, all ASCII; nothing past the length is read.
// The two decimal classes take the same base-10 conversion, made once. A
// blank value passes every check (nothing converts and only white space is
// left), so it needs none.
// The number of decimal digits the value starts with.
static unsigned leading_digits(const wchar_t* value, unsigned length) {
    unsigned digits = 0;
    while (digits < length && static_cast<uint32_t>(value[digits]) - L'0' < 10) ++digits;
    return digits;
}
// The candidates a value of digits alone (at least one) keeps: digits are
// read whole by every conversion, but in base 0 a leading 0 makes them
// octal, so the based class goes when a digit is not.
static int digit_classes(int candidates, const wchar_t* value, unsigned length) {
    ++classify_checks;
    if ((candidates & ATTR_BASED) && value[0] == L'0')
        for (unsigned i = 1; i < length; ++i)
            if (value[i] > L'7') return candidates & ~ATTR_BASED;
    return candidates;
}

static int check_candidates(int candidates, const wchar_t* value, unsigned length) {
    if (candidates & ATTR_BLANK) return candidates;
    unsigned digits = leading_digits(value, length);
    if (digits == length) return digit_classes(candidates, value, length);
    // Every conversion takes a sign only first (after white space) or right
    // after an exponent's e: a sign anywhere else stops each of them before
    // the end (a date, a range), with no scan needed.
    unsigned first = 0;
    while (digits == 0 && first < length && is_blank(value[first])) ++first;
    for (unsigned i = digits > first ? digits : first + 1; i < length; ++i)
        if ((value[i] == L'+' || value[i] == L'-') && (value[i - 1] | 0x20) != L'e') return 0;
    if (candidates & (ATTR_UNSIGNED | ATTR_SIGNED)) {
        ++classify_checks;
        if (!blank_from(value, integer_end(value, length, false), length))
            candidates &= ~(ATTR_UNSIGNED | ATTR_SIGNED);
    }
    if (candidates & ATTR_BASED) {
        ++classify_checks;
        if (!blank_from(value, integer_end(value, length, true), length)) candidates &= ~ATTR_BASED;
    }
    if (candidates & ATTR_FLOAT) {
        ++classify_checks;
        if (!blank_from(value, float_end(value, length), length)) candidates &= ~ATTR_FLOAT;
    }
    return candidates;
}

static void record_block(wchar_t c, BlockSet* blocks) {
    int row = block_of(c);
    if (row >= 0) blocks->words[row >> 5] |= uint32_t(1) << (row & 31);
}

// The end of the run of characters from space to tilde that starts at i.
static unsigned plain_ascii_end(const wchar_t* value, unsigned i, unsigned length) {
#if defined(__SSE2__)
    if (simd_level >= SIMD_SSE2) {
        // c - 0x20 < 0x5F unsigned, as a signed comparison of c moved by
        // the sign bit; four characters at a time.
        const __m128i shift = _mm_set1_epi32(int32_t(0x80000000u - 0x20));
        const __m128i limit = _mm_set1_epi32(int32_t(0x80000000u + 0x5F));
        for (; length - i >= 4; i += 4) {
            __m128i a = _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(value + i)), shift);
            int in = _mm_movemask_epi8(_mm_cmplt_epi32(a, limit));
            if (in != 0xFFFF) return i + unsigned(__builtin_ctz(~unsigned(in)) >> 2);
        }
    }
#endif
    while (i < length && static_cast<uint32_t>(value[i]) - 0x20 < 0x5F) ++i;
    return i;
}

int classify_value(int previous, const wchar_t* value, unsigned length, BlockSet* blocks) {
    // Digits alone (counts, numbers of things) take every class the class
    // table leaves them at once, without its loop.
    if (previous == 0 && plain_ascii_printable && length - 1 < CLASSIFY_NUMBER_LENGTH &&
        leading_digits(value, length) == length)
        return ATTR_ASCII | digit_classes(ATTR_NUMERIC & ~ATTR_BLANK, value, length);
    int candidates = length > CLASSIFY_NUMBER_LENGTH ? 0 : previous ? previous & ATTR_NUMERIC : ATTR_NUMERIC;
    int kinds = previous & ATTR_KINDS;
    if (block_recording != 1) blocks = nullptr;
    for (unsigned i = 0; i < length;) {
        uint32_t c = static_cast<uint32_t>(value[i]);
        if (candidates == 0 && plain_ascii_printable && c - 0x20 < 0x5F) {
            // With no numeric class left, a run of printable ASCII only
            // tells that the value holds ASCII.
            kinds |= ATTR_ASCII;
            i = plain_ascii_end(value, i + 1, length);
            continue;
        }
        if (c < 128) {
            // The class bits pass into the kinds too; they are masked off
            // at the end.
            int bits = ascii_bits[c];
            candidates &= bits;
            kinds |= bits;
        } else {
            kinds |= ATTR_NON_ASCII;
            candidates = 0;
            if (blocks) record_block(value[i], blocks);
            if (!printable_wide(static_cast<wint_t>(c))) kinds |= ATTR_UNPRINTABLE;
        }
        ++i;
    }
    kinds &= ATTR_KINDS;
    if (candidates) candidates = check_candidates(candidates, value, length);
    return kinds | candidates;
}

static const char* const numeric_names[16] = {"", "?", "?", "?", "Num", "?", "?", "?",
                                              "Hex", "?", "?", "?", "?", "?", "Int-", "Int"};
static const char* const kind_names[8] = {"", "Asc", "NAsc", "AscNAsc", "NPrt", "Asc+NPrt", "NAsc+NPrt", "AscNAsc+NPrt"};

const char* attribute_name(int attribute) {
    if (attribute & ATTR_BLANK) return "Spc";
    if (attribute & ATTR_NUMERIC) return numeric_names[(attribute >> 1) & 15];
    return kind_names[(attribute >> 5) & 7];
}

const Block block_table[] = {
    {0x0000, 0x007F, "Basic Latin"},
    {0x0080, 0x00FF, "Latin-1 Supplement"},
    {0x0100, 0x017F, "Latin Extended-A"},
    {0x0180, 0x024F, "Latin Extended-B"},
    {0x0250, 0x02AF, "IPA Extensions"},
    {0x02B0, 0x02FF, "Spacing Modifier Letters"},
    {0x0300, 0x036F, "Combining Diacritical Marks"},
    {0x0370, 0x03FF, "Greek and Coptic"},
    {0x0400, 0x04FF, "Cyrillic"},
    {0x0500, 0x052F, "Cyrillic Supplement"},
    {0x0530, 0x058F, "Armenian"},
    {0x0590, 0x05FF, "Hebrew"},
    {0x0600, 0x06FF, "Arabic"},
    {0x0700, 0x074F, "Syriac"},
    {0x0780, 0x07BF, "Thaana"},
    {0x0900, 0x097F, "Devanagari"},
    {0x0980, 0x09FF, "Bengali"},
    {0x0A00, 0x0A7F, "Gurmukhi"},
    {0x0A80, 0x0AFF, "Gujarati"},
    {0x0B00, 0x0B7F, "Oriya"},
    {0x0B80, 0x0BFF, "Tamil"},
    {0x0C00, 0x0C7F, "Telugu"},
    {0x0C80, 0x0CFF, "Kannada"},
    {0x0D00, 0x0D7F, "Malayalam"},
    {0x0D80, 0x0DFF, "Sinhala"},
    {0x0E00, 0x0E7F, "Thai"},
    {0x0E80, 0x0EFF, "Lao"},
    {0x0F00, 0x0FFF, "Tibetan"},
    {0x1000, 0x109F, "Myanmar"},
    {0x10A0, 0x10FF, "Georgian"},
    {0x1100, 0x11FF, "Hangul Jamo"},
    {0x1200, 0x137F, "Ethiopic"},
    {0x13A0, 0x13FF, "Cherokee"},
    {0x1400, 0x167F, "Unified Canadian Aboriginal Syllabics"},
    {0x1680, 0x169F, "Ogham"},
    {0x16A0, 0x16FF, "Runic"},
    {0x1700, 0x171F, "Tagalog"},
    {0x1720, 0x173F, "Hanunoo"},
    {0x1740, 0x175F, "Buhid"},
    {0x1760, 0x177F, "Tagbanwa"},
    {0x1780, 0x17FF, "Khmer"},
    {0x1800, 0x18AF, "Mongolian"},
    {0x1900, 0x194F, "Limbu"},
    {0x1950, 0x197F, "Tai Le"},
    {0x19E0, 0x19FF, "Khmer Symbols"},
    {0x1D00, 0x1D7F, "Phonetic Extensions"},
    {0x1E00, 0x1EFF, "Latin Extended Additional"},
    {0x1F00, 0x1FFF, "Greek Extended"},
    {0x2000, 0x206F, "General Punctuation"},
    {0x2070, 0x209F, "Superscripts and Subscripts"},
    {0x20A0, 0x20CF, "Currency Symbols"},
    {0x20D0, 0x20FF, "Combining Diacritical Marks for Symbols"},
    {0x2100, 0x214F, "Letterlike Symbols"},
    {0x2150, 0x218F, "Number Forms"},
    {0x2190, 0x21FF, "Arrows"},
    {0x2200, 0x22FF, "Mathematical Operators"},
    {0x2300, 0x23FF, "Miscellaneous Technical"},
    {0x2400, 0x243F, "Control Pictures"},
    {0x2440, 0x245F, "Optical Character Recognition"},
    {0x2460, 0x24FF, "Enclosed Alphanumerics"},
    {0x2500, 0x257F, "Box Drawing"},
    {0x2580, 0x259F, "Block Elements"},
    {0x25A0, 0x25FF, "Geometric Shapes"},
    {0x2600, 0x26FF, "Miscellaneous Symbols"},
    {0x2700, 0x27BF, "Dingbats"},
    {0x27C0, 0x27EF, "Miscellaneous Mathematical Symbols-A"},
    {0x27F0, 0x27FF, "Supplemental Arrows-A"},
    {0x2800, 0x28FF, "Braille Patterns"},
    {0x2900, 0x297F, "Supplemental Arrows-B"},
    {0x2980, 0x29FF, "Miscellaneous Mathematical Symbols-B"},
    {0x2A00, 0x2AFF, "Supplemental Mathematical Operators"},
    {0x2B00, 0x2BFF, "Miscellaneous Symbols and Arrows"},
    {0x2E80, 0x2EFF, "CJK Radicals Supplement"},
    {0x2F00, 0x2FDF, "Kangxi Radicals"},
    {0x2FF0, 0x2FFF, "Ideographic Description Characters"},
    {0x3000, 0x303F, "CJK Symbols and Punctuation"},
    {0x3040, 0x309F, "Hiragana"},
    {0x30A0, 0x30FF, "Katakana"},
    {0x3100, 0x312F, "Bopomofo"},
    {0x3130, 0x318F, "Hangul Compatibility Jamo"},
    {0x3190, 0x319F, "Kanbun"},
    {0x31A0, 0x31BF, "Bopomofo Extended"},
    {0x31F0, 0x31FF, "Katakana Phonetic Extensions"},
    {0x3200, 0x32FF, "Enclosed CJK Letters and Months"},
    {0x3300, 0x33FF, "CJK Compatibility"},
    {0x3400, 0x4DBF, "CJK Unified Ideographs Extension A"},
    {0x4DC0, 0x4DFF, "Yijing Hexagram Symbols"},
    {0x4E00, 0x9FFF, "CJK Unified Ideographs"},
    {0xA000, 0xA48F, "Yi Syllables"},
    {0xA490, 0xA4CF, "Yi Radicals"},
    {0xAC00, 0xD7AF, "Hangul Syllables"},
    {0xD800, 0xDB7F, "High Surrogates"},
    {0xDB80, 0xDBFF, "High Private Use Surrogates"},
    {0xDC00, 0xDFFF, "Low Surrogates"},
    {0xE000, 0xF8FF, "Private Use Area"},
    {0xF900, 0xFAFF, "CJK Compatibility Ideographs"},
    {0xFB00, 0xFB4F, "Alphabetic Presentation Forms"},
    {0xFB50, 0xFDFF, "Arabic Presentation Forms-A"},
    {0xFE00, 0xFE0F, "Variation Selectors"},
    {0xFE20, 0xFE2F, "Combining Half Marks"},
    {0xFE30, 0xFE4F, "CJK Compatibility Forms"},
    {0xFE50, 0xFE6F, "Small Form Variants"},
    {0xFE70, 0xFEFF, "Arabic Presentation Forms-B"},
    {0xFF00, 0xFFEF, "Halfwidth and Fullwidth Forms"},
    {0xFFF0, 0xFFFF, "Specials"},
    {0x10000, 0x1007F, "Linear B Syllabary"},
    {0x10080, 0x100FF, "Linear B Ideograms"},
    {0x10100, 0x1013F, "Aegean Numbers"},
    {0x10300, 0x1032F, "Old Italic"},
    {0x10330, 0x1034F, "Gothic"},
    {0x10380, 0x1039F, "Ugaritic"},
    {0x10400, 0x1044F, "Deseret"},
    {0x10450, 0x1047F, "Shavian"},
    {0x10480, 0x104AF, "Osmanya"},
    {0x10800, 0x1083F, "Cypriot Syllabary"},
    {0x1D000, 0x1D0FF, "Byzantine Musical Symbols"},
    {0x1D100, 0x1D1FF, "Musical Symbols"},
    {0x1D300, 0x1D35F, "Tai Xuan Jing Symbols"},
    {0x1D400, 0x1D7FF, "Mathematical Alphanumeric Symbols"},
    {0x20000, 0x2A6DF, "CJK Unified Ideographs Extension B"},
    {0x2F800, 0x2FA1F, "CJK Compatibility Ideographs Supplement"},
    {0xE0000, 0xE007F, "Tags"},
    {0xE0100, 0xE01EF, "Variation Selectors Supplement"},
    {0xF0000, 0xFFFFF, "Supplementary Private Use Area-A"},
    {0x100000, 0x10FFFF, "Supplementary Private Use Area-B"},
    {0, 0, nullptr},
};
const int block_count = int(sizeof block_table / sizeof block_table[0]) - 1;

// The rows found last, most recent first.
static int block_cache[3] = {0, 0, 0};

static bool in_row(uint32_t c, int row) { return block_table[row].first <= c && c <= block_table[row].last; }

int block_of(wchar_t wc) {
    uint32_t c = static_cast<uint32_t>(wc);
    if (c > block_table[block_count - 1].last) return -1;
    if (in_row(c, block_cache[0])) return block_cache[0];
    if (in_row(c, block_cache[1])) {
        int row = block_cache[1];
        block_cache[1] = block_cache[0];
        block_cache[0] = row;
        return row;
    }
    // A binary search over the rows, which stops as soon as the code point
    // is known to fall between two neighbouring rows.
    int row = -1;
    if (in_row(c, block_cache[2])) {
        row = block_cache[2];
    } else {
        int low = 0, high = block_count - 1;
        while (low <= high) {
            int middle = (low + high) / 2;
            const Block& b = block_table[middle];
            if (c < b.first) {
                if (middle > 0 && c > block_table[middle - 1].last) return -1;
                high = middle - 1;
            } else if (c > b.last) {
                if (middle + 1 < block_count && c < block_table[middle + 1].first) return -1;
                low = middle + 1;
            } else {
                row = middle;
                break;
            }
        }
        if (row < 0) return -1;
    }
    block_cache[2] = block_cache[1];
    block_cache[1] = block_cache[0];
    block_cache[0] = row;
    return row;
}

void print_blocks(const char* prefix, const BlockSet* blocks) {
    if (block_recording != 1) return;
    for (int row = 0; row < block_count; ++row) {
        if (!(blocks->words[row >> 5] >> (row & 31) & 1)) continue;
        out_str(prefix);
        out_putwc(L':');
        out_str(block_table[row].name);
        out_putwc(L'\n');
    }
}
