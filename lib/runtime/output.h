// The buffered encoder for standard output: wide text in the locale's
// encoding, bytes as they are. A failed write ends the program
// (output_error); everything buffered goes out at rk_exit.
//
// The output is a sequence of units: records (a unit ends at an empty
// line), or for output that is not Rk-records, what the program marks
// (out_units, out_mark). Before the end of the program only whole units
// reach standard output: a full buffer writes out the units it holds and
// keeps the unit in progress, aside on the heap while that one unit alone
// is larger than the buffer; a fatal error writes the whole units and
// drops the rest, so that no reader takes half a record for one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>

#include "wtext.h"

namespace out_detail {
enum { BUFSIZE = 1 << 16 };
extern char buf[];
extern size_t len;
extern size_t mark;  // under OUT_MARKED: the end of the last whole unit in buf
void putwc_slow(wchar_t c);
void bytes_slow(const char* bytes, size_t n);
}  // namespace out_detail

// Encodes text[0..n) in the locale's encoding into out, which holds cap
// bytes; returns the bytes written and sets *taken to the characters
// encoded: all of them, unless out filled up (a character that is not ASCII
// is encoded only while MB_LEN_MAX bytes are left). A character without a
// form in the encoding is dropped.
size_t encode_text(const wchar_t* text, size_t n, char* out, size_t cap, size_t* taken);

// Writes n characters; a character without a form in the encoding is dropped.
void out_write(const wchar_t* text, size_t n);
// Writes the characters of text[0..n) before the first `stop`, and returns
// how many there were (n when there is no stop): a scan and a write in one
// pass.
size_t out_write_until(const wchar_t* text, size_t n, wchar_t stop);
// Writes a 0-terminated wide text.
void out_putws(const wchar_t* text);
// Writes bytes as they are.
inline void out_bytes(const char* bytes, size_t n) {
    using namespace out_detail;
    if (len + n <= BUFSIZE) {
        __builtin_memcpy(buf + len, bytes, n);
        len += n;
    } else {
        bytes_slow(bytes, n);
    }
}
// Writes bytes as they are, like out_bytes, from text whose 15 bytes after
// the n may be read (and are not written): short runs are copied 16 bytes
// at a time, without a call.
inline void out_bytes_ahead(const char* bytes, size_t n) {
    using namespace out_detail;
    if (n <= 128 && len + n + 16 <= BUFSIZE) {
        for (size_t i = 0; i < n; i += 16) __builtin_memcpy(buf + len + i, bytes + i, 16);
        len += n;
    } else {
        out_bytes(bytes, n);
    }
}
// Writes one character.
inline void out_putwc(wchar_t c) {
    using namespace out_detail;
    if (ascii_compatible && uint32_t(c) < 0x80 && len < BUFSIZE) buf[len++] = char(c);
    else putwc_slow(c);
}
// Writes a 0-terminated byte string as it is.
void out_str(const char* text);
// Writes a string literal without measuring it.
template <size_t N>
inline void out_lit(const char (&text)[N]) {
    out_bytes(text, N - 1);
}
// Writes a decimal integer.
void out_int(long v);
void out_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Kinds of units (out_units).
enum OutUnits { OUT_RECORDS, OUT_MARKED };
// Sets how the output is cut into units; OUT_RECORDS until a program says
// otherwise.
void out_units(OutUnits kind);
// Under OUT_MARKED: a unit ends here.
inline void out_mark() { out_detail::mark = out_detail::len; }
// Writes out everything buffered, a unit in progress included (the end of
// the output); false on a write error (errno set).
bool out_flush();
// Writes out the whole units buffered, keeping the unit in progress; false
// on a write error (errno set).
bool out_flush_units();
// The same before the program may wait (for input): a write error ends the
// program as it does when the buffer fills.
void out_flush_checked();
// Sends the output to `writer` instead of standard output (null: back to
// standard output); the writer returns the bytes taken or -1.
void out_redirect(long (*writer)(const char* bytes, size_t n));
