// Multibyte and wide text in storage areas, line and file readers, numbers.
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwctype>

#include "runtime.h"
#include "simd.h"

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

// The length of the leading run of b[0..n) made of ASCII bytes other than
// NUL and the newline.
static size_t plain_ascii_prefix(const unsigned char* b, size_t n) {
    size_t k = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), newline = _mm_set1_epi8('\n');
    for (; n - k >= 16; k += 16) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k));
        unsigned stop = unsigned(_mm_movemask_epi8(_mm_or_si128(x, _mm_or_si128(_mm_cmpeq_epi8(x, zero),
                                                                                   _mm_cmpeq_epi8(x, newline)))));
        if (stop) return k + unsigned(__builtin_ctz(stop));
    }
#endif
    while (k < n && b[k] < 0x80 && b[k] != 0 && b[k] != '\n') ++k;
    return k;
}

static void skip_null() { warn(WARN_ERROR, "skips a NULL character in the file %s(%d).\n", input_name, input_number); }

[[noreturn]] static void bad_line_code(const unsigned char* at) {
    fatal_code_error(at, "code error in the file %s(%d), irrecoverable.\n", input_name, input_number);
}

size_t check_line_bytes(unsigned char* p, size_t n) {
    size_t i = ascii_compatible ? plain_ascii_prefix(p, n) : 0;
    size_t kept = i;
    while (i < n) {
        wchar_t c;
        int k = decode_char(p + i, n - i, &c);
        if (k <= 0) bad_line_code(p + i);
        if (c == 0) skip_null();
        else std::memmove(p + kept, p + i, size_t(k)), kept += size_t(k);
        i += size_t(k);
    }
    return kept;
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
        if (ascii_compatible && s->pos < s->len) {
            // The buffered ASCII bytes before the newline (a NUL excepted)
            // are their own characters, widened at once into the line.
            const unsigned char* b = s->buf + s->pos;
            size_t m = plain_ascii_prefix(b, s->len - s->pos);
            if (m > 0) {
                out.flush();
                wchar_t* d = static_cast<wchar_t*>(area_extend(m * sizeof(wchar_t), c, area));
                for (size_t k = 0; k < m; ++k) d[k] = wchar_t(b[k]);
                s->pos += m;
                read_any = true;
            }
        }
        wint_t ch = ws_getwc(s);
        if (ch == WEOF) {
            if (s->error) bad_line_code(ws_bad_byte(s));
            if (!read_any) return nullptr;
            break;
        }
        read_any = true;
        if (ch == L'\n') break;
        if (ch == 0) {
            skip_null();
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

// Plain decimals of at most 15 digits ([+-]digits[.digits]) are exact as
// an integer of at most 2^53 divided by a power of ten of at most 10^15, and
// one division rounds correctly: the same value the library's conversion
// gives, without its cost. Anything else goes to the library.
static bool parse_plain_decimal(const wchar_t* s, double* value) {
    static const double tens[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    bool negative = *s == L'-';
    if (*s == L'-' || *s == L'+') ++s;
    uint64_t m = 0;
    int digits = 0, decimals = 0;
    bool point = false, any = false;
    for (;; ++s) {
        if (*s >= L'0' && *s <= L'9') {
            any = true;
            if (m == 0 && *s == L'0') {
                if (point) ++decimals;
                continue;
            }
            if (++digits > 15) return false;
            m = m * 10 + uint64_t(*s - L'0');
            if (point) ++decimals;
        } else if (*s == L'.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (*s != 0 || !any || decimals > 15) return false;
    double x = double(m) / tens[decimals];
    *value = negative ? -x : x;
    return true;
}

// Whether the whole of s (white space around it allowed) is a number the
// library's conversion reads, not-a-number included; its value in *value.
// (The plain decimals are parse_plain_decimal's.)
static bool library_number(const wchar_t* s, double* value) {
    wchar_t* end = nullptr;
    locale_t c = c_locale();
    double v = c ? wcstod_l(s, &end, c) : std::wcstod(s, &end);
    if (end == s) return false;  // nothing read: empty text, blanks, a word
    if (*end == L'x' || *end == L'X') v = double(std::wcstol(s, &end, 0));
    while (std::iswspace(wint_t(*end))) ++end;
    *value = v;
    return *end == 0;
}

double parse_number(const wchar_t* s) {
    double v;
    return parse_plain_decimal(s, &v) || library_number(s, &v) ? v : 0.0;
}

bool read_number(const wchar_t* s, double* value) {
    if (parse_plain_decimal(s, value)) return true;  // the common case, never not-a-number
    double v;
    if (!library_number(s, &v) || std::isnan(v)) return false;
    *value = v;
    return true;
}

int32_t number_digits = NUMBER_DIGITS_DEFAULT;

// "%.Pg" (P = number_digits) for values whose exponent lies in -4 .. P-1
// (the plain notation): the P significant digits are rounded exactly, half
// to even, from the double's exact value m * 2^e held in 128 bits, as the
// library does.
static bool format_plain_g(char* buf, double x) {
    static const uint64_t tens[] = {1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull,
                                    10000000ull, 100000000ull, 1000000000ull, 10000000000ull,
                                    100000000000ull, 1000000000000ull, 10000000000000ull,
                                    100000000000000ull, 1000000000000000ull, 10000000000000000ull,
                                    100000000000000000ull, 1000000000000000000ull, 10000000000000000000ull};
    const int p = number_digits;
    double a = x < 0 ? -x : x;
    if (!(a >= 1e-4 && a < double(tens[p]))) return false;
    int e;
    double f = std::frexp(a, &e);                      // a = f * 2^e, f in [0.5, 1)
    uint64_t m = uint64_t(std::ldexp(f, 53));          // exact: a = m * 2^(e-53)
    int shift = 53 - e;                                // a = m / 2^shift
    if (shift <= 0 || shift > 80) return false;
    int exp10 = int(std::floor(std::log10(a)));
    unsigned __int128 q = 0;
    for (int tries = 0; tries < 3; ++tries) {
        int s = p - 1 - exp10;                         // scale to p digits before the point
        if (s < 0 || s > p + 3) return false;
        unsigned __int128 n = (unsigned __int128)m * tens[s > 19 ? 19 : s];
        if (s > 19) n *= 10;
        q = n >> shift;
        // The estimate of the exponent is judged on the digits before
        // rounding: one too high may still round up to p digits.
        if (q < tens[p - 1]) {
            --exp10;
            continue;
        }
        if (q >= tens[p]) {
            ++exp10;
            continue;
        }
        unsigned __int128 r = n - (q << shift), half = (unsigned __int128)1 << (shift - 1);
        if (r > half || (r == half && (q & 1))) ++q;
        if (q == tens[p]) q = tens[p - 1], ++exp10;  // 9..9 rounded up to the next power of ten
        break;
    }
    if (q < tens[p - 1] || q >= tens[p] || exp10 < -4 || exp10 > p - 1) return false;
    char digits[17];
    uint64_t v = uint64_t(q);  // below 10^17: the digits come by 64-bit division
    for (int i = p - 1; i >= 0; --i, v /= 10) digits[i] = char('0' + int(v % 10));
    int last = p - 1;
    char* out = buf;
    if (x < 0) *out++ = '-';
    if (exp10 >= 0) {
        while (last > exp10 && digits[last] == '0') --last;
        for (int i = 0; i <= exp10; ++i) *out++ = digits[i];
        if (last > exp10) {
            *out++ = '.';
            for (int i = exp10 + 1; i <= last; ++i) *out++ = digits[i];
        }
    } else {
        while (digits[last] == '0') --last;
        *out++ = '0';
        *out++ = '.';
        for (int i = 0; i < -exp10 - 1; ++i) *out++ = '0';
        for (int i = 0; i <= last; ++i) *out++ = digits[i];
    }
    *out = 0;
    return true;
}

void format_number(char* buf, double x) {
    if (x > -9007199254740992.0 && x < 9007199254740992.0 &&
        double(int64_t(x)) == x) {
        // An integer below 2^53 in magnitude, where every integer is exact:
        // all its decimal digits.
        int64_t v = int64_t(x);
        char tmp[24];
        int n = 0;
        uint64_t u = v < 0 ? uint64_t(-v) : uint64_t(v);
        do tmp[n++] = char('0' + u % 10), u /= 10;
        while (u);
        char* p = buf;
        if (v < 0) *p++ = '-';
        while (n) *p++ = tmp[--n];
        *p = 0;
    } else if (!format_plain_g(buf, x)) {
        locale_t c = c_locale();
        locale_t old = c ? uselocale(c) : locale_t(0);
        std::snprintf(buf, NUMBER_BUF, "%.*g", int(number_digits), x);
        if (old) uselocale(old);
    }
}

int32_t clamp_int32(double x) {
    if (!(x == x)) return 0;
    if (x >= 2147483647.0) return INT32_MAX;
    if (x <= -2147483648.0) return INT32_MIN;
    return int32_t(x);
}

void print_number(double x) {
    char buf[NUMBER_BUF];
    format_number(buf, x);
    out_str(buf);
}
