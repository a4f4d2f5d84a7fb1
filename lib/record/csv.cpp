// CSV cells: writing, and the reader's messages.
#include "csv.h"

#include <cstring>
#include <cwctype>

#include "output.h"

namespace {

bool is_space(wchar_t c) { return uint32_t(c) < 0x80 ? c == L' ' || (c >= L'\t' && c <= L'\r') : iswspace(wint_t(c)); }

}  // namespace

bool csv_needs_quotes(const wchar_t* p, size_t n) {
    if (n == 0) return false;
    if (is_space(p[0]) || is_space(p[n - 1])) return true;
    for (size_t i = 0; i < n; ++i)
        if (p[i] == L',' || p[i] == L'"') return true;
    return false;
}

void csv_write_quoted_part(const wchar_t* p, size_t n) {
    const wchar_t* end = p + n;
    while (p < end) {
        p += out_write_until(p, size_t(end - p), L'"');
        if (p < end) {
            out_lit("\"\"");
            ++p;
        }
    }
}

void csv_write_cell(const wchar_t* p, size_t n) {
    if (!csv_needs_quotes(p, n)) {
        out_write(p, n);
        return;
    }
    out_putwc(L'"');
    csv_write_quoted_part(p, n);
    out_putwc(L'"');
}

// A carriage return was read: when a newline follows, both are one line end.
wint_t csv_detail::after_cr(CsvReader* r) {
    WStream* s = r->in;
    if (s->pos == s->len && !ws_fill(s)) return L'\r';
    wchar_t c;
    int n = decode_char(s->buf + s->pos, s->len - s->pos, &c);
    if (n <= 0 || c != L'\n') return L'\r';
    s->pos += size_t(n);
    ++r->line;
    return L'\n';
}

void csv_detail::skip_nul(const CsvReader* r) {
    warn(WARN_ERROR, "skips a NULL character in the file %s(%d).\n", input_name, r->line);
}

void csv_detail::code_error(const CsvReader* r) {
    fatal_code_error(ws_bad_byte(r->in), "code error in the file %s(%d), irrecoverable.\n", input_name, r->line);
}

void csv_detail::unexpected_eof(const CsvReader* r) {
    warn(WARN_ERROR, "unexpected eof in QUOTATION MARK at %s(%d).\n", input_name, r->line);
}
