// Wide text: decoding the locale's encoding, buffered input streams, text
// in storage areas, lines and numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>

#include "area.h"

// True when the locale encodes every character below 0x80 as that one byte
// and never uses such a byte inside another character's sequence.
extern bool ascii_compatible;
// True when the locale's encoding is UTF-8.
extern bool utf8_locale;

// The instruction-set level of the text paths' vector code, chosen once at
// start: the processor's best, or the lower one that RK_SIMD names. A
// library with vector code of its own takes the same level.
enum { SIMD_SCALAR = 0, SIMD_SSE2 = 1, SIMD_AVX2 = 2 };
extern int simd_level;

namespace wtext_detail {
int decode_char_full(const unsigned char* p, size_t n, wchar_t* wc);
}  // namespace wtext_detail

// Decodes the character at p (n bytes available) exactly as the C library's
// conversion does: returns the number of bytes used, 0 when the sequence is
// incomplete within n bytes, -1 when it is invalid. A NUL gives *wc = 0.
inline int decode_char(const unsigned char* p, size_t n, wchar_t* wc) {
    unsigned c = p[0];
    if (c < 0x80 && ascii_compatible) {
        *wc = wchar_t(c);
        return 1;
    }
    if (utf8_locale && c >= 0xC2 && c < 0xE0 && n >= 2 && (p[1] & 0xC0) == 0x80) {
        *wc = wchar_t(((c & 0x1F) << 6) | (p[1] & 0x3F));
        return 2;
    }
    return wtext_detail::decode_char_full(p, n, wc);
}
// Encodes c into out (room for MB_LEN_MAX bytes); returns the number of
// bytes, or -1 when c has no form in the locale's encoding.
int encode_char(wchar_t c, char* out);

enum { WS_SLACK = 64 };
// A buffered wide-character input stream over a file descriptor. Characters
// are decoded in the locale's encoding one at a time as they are consumed,
// so a decoding failure is noticed exactly where it stands in the text.
struct WStream {
    int fd;
    bool eof;      // the descriptor reported end of file
    bool error;    // a read error or an undecodable sequence was met
    bool bad;      // the error is an undecodable sequence at buf + pos
    bool told_cr;  // the record reader noted a line of only a carriage return
    unsigned char* buf;  // cap bytes, and WS_SLACK more that reads may run into
    size_t pos;    // next byte to decode
    size_t len;    // bytes in buf
    size_t cap;
    // Reading may wait (a pipe, a terminal, a socket): what the program has
    // written so far goes out first, so that output keeps pace with input.
    bool may_block;
    // A number that changes whenever the buffered bytes may have (a new one
    // at each fill), unique among all streams.
    uint64_t stamp;
};

// Bytes read by all streams so far (for progress lines).
extern uint64_t ws_bytes_read;

WStream* ws_open(const char* path);   // nullptr when the file can't be opened
WStream* ws_stdin();
// A stream over an open descriptor (a pipe), closed by ws_close.
WStream* ws_fd(int fd);
// A stream over a copy of n bytes of memory.
WStream* ws_memory(const void* data, size_t n);
void ws_close(WStream* s);
// Refills the buffer, keeping the bytes not yet consumed; false when nothing
// more could be read (end of file or read error).
bool ws_fill(WStream* s);
// Drops a UTF-8 byte-order mark (the bytes EF BB BF) at the read position,
// the start of a text, whatever the locale: it is a sign of the encoding,
// never part of the text, and would begin the first name. Waits for no more
// bytes than tell the mark apart.
void ws_skip_byte_order_mark(WStream* s);
// ws_fill, the buffer doubled first when the bytes not yet consumed fill
// it, so that a line of any length fits.
bool ws_fill_grow(WStream* s);

// The masks of the bytes of a block of 64 that a converter of lines looks
// for (bit i for byte i of the block).
struct ByteMasks {
    uint64_t newline, colon, special;  // special: NUL, and bytes from 0x80 up
};
enum { MASK_BATCH = 64 };
// The masks of p[0..n), n at most 64 * MASK_BATCH, a block of 64 bytes at
// a time into masks[0..): the last block may be shorter.
void byte_masks(const unsigned char* p, size_t n, ByteMasks* masks);
// The masks of a block of 64 bytes that a reader of whole records looks
// for: newlines, and the bytes that can keep a record from being written
// back as it was read (NUL, carriage return, and bytes from 0x80 up).
struct RecordMasks {
    uint64_t newline, look;
};
RecordMasks record_masks(const unsigned char* p);
// The characters of p[0..n), whose bytes are known to decode (as those of
// a record given as bytes do), 0-terminated in a buffer that the next call
// reuses; *count is set to their number.
wchar_t* widen_known(const unsigned char* p, size_t n, size_t* count);
// The first occurrence of needle[0..m) in hay[0..n), or null; m at least
// 1. Candidates are the places where the needle's first and last bytes
// both stand, many tested at once.
const unsigned char* find_bytes(const unsigned char* hay, size_t n, const unsigned char* needle, size_t m);
// Calls take(line, length, colon, special) for each line of p[0..n), which
// ends with a newline: its bytes (the newline left out), the index of its
// first colon (length when none), and whether it holds a special byte.
template <typename Take>
void each_line(unsigned char* p, size_t n, Take take) {
    size_t start = 0, colon = SIZE_MAX;
    bool special = false;
    ByteMasks batch[MASK_BATCH];
    for (size_t b = 0; b < n; b += 64) {
        size_t k = b / 64 % MASK_BATCH;
        if (k == 0) byte_masks(p + b, n - b < 64 * MASK_BATCH ? n - b : 64 * MASK_BATCH, batch);
        const ByteMasks& m = batch[k];
        uint64_t from = start > b ? ~0ULL << (start - b) : ~0ULL;  // bits of the open line
        for (;;) {
            uint64_t newline = m.newline & from;
            uint64_t in_line = newline ? ((newline & (0 - newline)) - 1) & from : from;
            if (colon == SIZE_MAX && (m.colon & in_line)) colon = b + size_t(__builtin_ctzll(m.colon & in_line));
            special |= (m.special & in_line) != 0;
            if (newline == 0) break;
            size_t end = b + size_t(__builtin_ctzll(newline));
            take(p + start, end - start, colon == SIZE_MAX ? end - start : colon - start, special);
            start = end + 1, colon = SIZE_MAX, special = false;
            if (start - b == 64) break;
            from = ~0ULL << (start - b);
        }
    }
}
// Next character, or WEOF at end of file or on error (s->error tells).
wint_t ws_getwc(WStream* s);
// Decodes the multibyte character at the read position (the slow path of
// ws_getwc); returns WEOF at end of file or on error.
wint_t ws_decode(WStream* s);
// After an error: the first byte of the sequence that did not decode, or
// null for a read error.
inline const unsigned char* ws_bad_byte(const WStream* s) { return s->bad ? s->buf + s->pos : nullptr; }
// After an undecodable sequence: skips its first byte so that reading can go
// on. False when the error was a read error, which can't be skipped.
bool ws_resync(WStream* s);

// The functions below build their result as a new object at the area's
// head; the area may grow (its pacts run), and nothing else in it changes.

// The multibyte text s as a 0-terminated wide text in the area; null (and
// nothing left in the area) when s does not decode. s may lie in the area.
wchar_t* mbs_to_area(const char* s, Area* area);
// The wide text w in the locale's encoding, 0-terminated; characters
// without a form are left out. w may lie in the area.
char* wcs_to_area_mb(const wchar_t* w, Area* area);
// Appends c's bytes to the object whose start is *cell (registered while
// it grows); returns c, or 0 when c has no form in the encoding.
wchar_t put_mb_char(wchar_t c, char** cell, Area* area);
// Reads one line (without its newline, 0-terminated), appended to the
// object at *cell when cell is given; returns the line's start, or null at
// the end of input. NULs are skipped with a counted error; an undecodable
// sequence is fatal.
wchar_t* read_line(wchar_t** cell, WStream* s, Area* area);
// Checks the n bytes of a line at p (its newline left out) as read_line
// reads them: NULs are taken out, a counted error each, and an undecodable
// sequence is fatal. Returns the number of bytes left.
size_t check_line_bytes(unsigned char* p, size_t n);
// Reads the whole stream as one 0-terminated text, a final newline dropped;
// NULs and undecodable bytes are skipped with counted errors.
wchar_t* read_text_file(WStream* s, Area* area);

// Numbers in the C locale's syntax, whatever the user's locale.
// The value of a whole text (white space around it allowed), else 0.
double parse_number(const wchar_t* s);
// Whether s is a number as parse_number reads it (the whole text, white
// space around it allowed) and not the value not-a-number; its value in
// *value when it is (*value untouched otherwise). Empty text, blanks alone
// and text such as "3x" are not numbers; infinities are.
bool read_number(const wchar_t* s, double* value);
// Writes x to standard output as format_number gives it.
void print_number(double x);
// The buffer must hold NUMBER_BUF bytes.
enum { NUMBER_BUF = 64 };
// x truncated toward zero to a 32-bit integer, values beyond the range
// clamped to its ends and NaN taken as 0 (never undefined behaviour).
int32_t clamp_int32(double x);
// An integer of magnitude below 2^53 with all its digits, anything else as
// "%.Ng" with N = number_digits.
void format_number(char* buf, double x);
// The significant digits of numbers that format_number writes in the "%g"
// form: 6 unless the program's -D digits setting (1 to 17) says otherwise;
// a program offers the setting by the entry {"digits", &number_digits}.
extern int32_t number_digits;
enum { NUMBER_DIGITS_DEFAULT = 6, NUMBER_DIGITS_MAX = 17 };

// Appends wide characters to an object under construction in an area. The
// characters are staged and the area is extended once per batch; `cell` is
// the object's start cell as for area_extend, which its owner registers.
struct WideAppender {
    enum { STAGE = 1024 };
    wchar_t stage[STAGE];
    size_t n = 0;
    void* cell;
    Area* area;

    WideAppender(void* start_cell, Area* a) : cell(start_cell), area(a) {}
    void put(wchar_t c) {
        if (n == STAGE) flush();
        stage[n++] = c;
    }
    // Moves the staged characters into the object; returns where they went
    // (nullptr when nothing was staged).
    wchar_t* flush();
};
