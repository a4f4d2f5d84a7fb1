// CSV cells: the writer's quoting rule and the reader's state machine.
// Cells are separated by commas; a cell that holds a comma or a double
// quote, or begins or ends with white space, is written between double
// quotes with each double quote inside doubled.
#pragma once

#include <cstddef>
#include <cwchar>

#include "runtime.h"

// Whether the text needs quotes as a cell.
bool csv_needs_quotes(const wchar_t* p, size_t n);
// Writes text[0..n) with each double quote doubled (the quotes around it
// are the caller's).
void csv_write_quoted_part(const wchar_t* p, size_t n);
// Writes text[0..n) as a cell, quoted when it needs to be.
void csv_write_cell(const wchar_t* p, size_t n);

// A CSV text being read, with one character of look-ahead. Messages name
// the input by input_name and the line number.
struct CsvReader {
    WStream* in;
    int32_t line = 1;  // counted at every newline read
    wint_t pushed = WEOF;
    bool has_pushed = false;
};


namespace csv_detail {
wint_t after_cr(CsvReader* r);
void skip_nul(const CsvReader* r);
[[noreturn]] void code_error(const CsvReader* r);
void unexpected_eof(const CsvReader* r);
}  // namespace csv_detail

// The next character: a carriage return right before a newline belongs to
// the line end (CR LF gives one newline), newlines are counted, NUL
// characters skipped with a counted error, a byte that does not decode ends
// the program.
inline wint_t csv_next(CsvReader* r) {
    if (r->has_pushed) {
        r->has_pushed = false;
        return r->pushed;
    }
    // Most characters: an ASCII byte of the buffer that needs no care.
    WStream* s = r->in;
    if (s->pos < s->len && ascii_compatible) {
        unsigned char b = s->buf[s->pos];
        if (b < 0x80 && b != 0 && b != '\n' && b != '\r') {
            ++s->pos;
            return b;
        }
    }
    for (;;) {
        wint_t c = ws_getwc(r->in);
        if (c == L'\n') {
            ++r->line;
        } else if (c == L'\r') {
            return csv_detail::after_cr(r);
        } else if (c == 0) {
            csv_detail::skip_nul(r);
            continue;
        } else if (c == WEOF && r->in->error) {
            csv_detail::code_error(r);
        }
        return c;
    }
}

// Whether another character follows (it stays to be read).
inline bool csv_more(CsvReader* r) {
    r->pushed = csv_next(r);
    r->has_pushed = r->pushed != WEOF;
    return r->has_pushed;
}

// Reads one cell, giving its characters to sink(c) and calling broken() at
// each line break inside quotes; the text after a closing quote belongs to
// the cell too. True when a comma ended the cell (another follows on the
// line); false at the end of the line or of the text.
template <typename Sink, typename Break>
bool csv_read_cell(CsvReader* r, Sink sink, Break broken) {
    wint_t c = csv_next(r);
    if (c == L',') return true;
    if (c == L'\n' || c == WEOF) return false;
    if (c != L'"') {
        sink(wchar_t(c));
    } else {
        for (;;) {  // inside quotes
            c = csv_next(r);
            if (c == WEOF) {
                csv_detail::unexpected_eof(r);
                return false;
            }
            if (c == L'\n') {
                broken();
            } else if (c != L'"') {
                sink(wchar_t(c));
            } else {  // a doubled quote, or the closing one
                c = csv_next(r);
                if (c == L',') return true;
                if (c == L'\n' || c == WEOF) return false;
                sink(wchar_t(c));
                if (c != L'"') break;
            }
        }
    }
    for (;;) {  // plain text
        c = csv_next(r);
        if (c == L',') return true;
        if (c == L'\n' || c == WEOF) return false;
        sink(wchar_t(c));
    }
}
