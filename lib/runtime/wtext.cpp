// Multibyte and wide text in storage areas, line and file readers, numbers.
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwctype>

#include "runtime.h"

wchar_t* WideAppender::flush() {
    if (n == 0) return nullptr;
    wchar_t* p = static_cast<wchar_t*>(area_extend(n * sizeof(wchar_t), cell, area));
    std::wmemcpy(p, stage, n);
    n = 0;
    return p;
}

wchar_t* mbs_to_area(const char* s, Area* area) {
    wchar_t* result = nullptr;
    const char* src = s;  // may lie in the area itself
    Relocated<wchar_t, const char> cells(&result, area, &src);
    area_align(4, area);
    size_t len = std::strlen(src);
    mbstate_t st{};
    for (;;) {
        wchar_t* w = static_cast<wchar_t*>(area_extend(sizeof(wchar_t), &result, area));
        if (*src == 0) {
            *w = 0;
            break;
        }
        size_t r = std::mbrtowc(w, src, len < 16 ? len : 16, &st);
        if (r == size_t(-1) || r == size_t(-2)) {
            area_drop(result, area);
            return nullptr;
        }
        src += r;
        len -= r;
    }
    return result;
}

char* wcs_to_area_mb(const wchar_t* w, Area* area) {
    char* result = nullptr;
    const wchar_t* src = w;  // may lie in the area itself
    Relocated<char, const wchar_t> cells(&result, area, &src);
    char bytes[MB_LEN_MAX];
    for (; *src; ++src) {
        mbstate_t st{};
        size_t r = std::wcrtomb(bytes, *src, &st);
        if (r == size_t(-1)) continue;
        char* p = static_cast<char*>(area_extend(r, &result, area));
        std::memcpy(p, bytes, r);
    }
    char* z = static_cast<char*>(area_extend(1, &result, area));
    *z = 0;
    return result;
}

wchar_t put_mb_char(wchar_t c, char** cell, Area* area) {
    char bytes[MB_LEN_MAX];
    mbstate_t st{};
    size_t r = std::wcrtomb(bytes, c, &st);
    if (r == size_t(-1)) return 0;
    Relocated<char> start(cell, area);
    char* p = static_cast<char*>(area_extend(r, cell, area));
    std::memcpy(p, bytes, r);
    return c;
}

wchar_t* read_line(wchar_t** cell, WStream* s, Area* area) {
    wchar_t* own = nullptr;
    wchar_t** c = cell ? cell : &own;
    size_t offset = 0;  // where this line begins inside the object
    if (*c)
        offset = size_t(reinterpret_cast<wchar_t*>(area->head) - *c);
    else
        area_align(4, area);
    Relocated<wchar_t> start(c, area);
    WideAppender out(c, area);
    bool read_any = false;
    for (;;) {
        wint_t ch = ws_getwc(s);
        if (ch == WEOF) {
            if (s->error)
                fatal_code_error(ws_bad_byte(s), "code error in the file %s(%d), irrecoverable.\n", input_name,
                                 input_number);
            if (!read_any) return nullptr;
            break;
        }
        read_any = true;
        if (ch == L'\n') break;
        if (ch == 0) {
            warn(WARN_ERROR, "skips a NULL character in the file %s(%d).\n", input_name, input_number);
            continue;
        }
        out.put(wchar_t(ch));
    }
    out.put(0);
    out.flush();
    return *c + offset;
}

wchar_t* read_text_file(WStream* s, Area* area) {
    wchar_t* result = nullptr;
    Relocated<wchar_t> start(&result, area);
    area_align(4, area);
    WideAppender out(&result, area);
    wchar_t last = 0;
    for (;;) {
        wint_t ch = ws_getwc(s);
        if (ch == WEOF) {
            if (!s->error) break;
            warn(WARN_ERROR, "code error in the file %s.\n", input_name);
            if (!ws_resync(s)) break;
            continue;
        }
        if (ch == 0) {
            warn(WARN_ERROR, "skips a NULL character in the file %s.\n", input_name);
            continue;
        }
        out.put(wchar_t(ch));
        last = wchar_t(ch);
    }
    // A final newline becomes the terminator.
    if (last == L'\n') {
        if (out.n > 0)
            --out.n;
        else
            area_giveback(sizeof(wchar_t), area);
    }
    out.put(0);
    out.flush();
    return result;
}

// Numbers in records are written and read in the C locale's syntax whatever
// the user's locale, so that a file means the same everywhere.
// (Plain statics, made on first use: a guarded local static would pull in
// the C++ runtime library for this alone.)
static locale_t c_numbers = locale_t(0);
static bool c_numbers_made = false;
static locale_t c_locale() {
    if (!c_numbers_made) {
        c_numbers = newlocale(LC_ALL_MASK, "C", locale_t(0));
        c_numbers_made = true;
    }
    return c_numbers;
}

double parse_number(const wchar_t* s) {
    wchar_t* end = nullptr;
    locale_t c = c_locale();
    double v = c ? wcstod_l(s, &end, c) : std::wcstod(s, &end);
    if (*end == L'x' || *end == L'X') v = double(std::wcstol(s, &end, 0));
    while (std::iswspace(wint_t(*end))) ++end;
    return *end ? 0.0 : v;
}

void format_number(char* buf, double x) {
    if (x >= -2147483648.0 && x < 2147483648.0 && double(int32_t(x)) == x)
        std::snprintf(buf, NUMBER_BUF, "%d", int32_t(x));
    else {
        locale_t c = c_locale();
        locale_t old = c ? uselocale(c) : locale_t(0);
        std::snprintf(buf, NUMBER_BUF, "%g", x);
        if (old) uselocale(old);
    }
}

void print_number(double x) {
    char buf[NUMBER_BUF];
    format_number(buf, x);
    out_str(buf);
}
