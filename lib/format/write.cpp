// The field writer: the fields of a record written one after another into
// one line of plain text, each placed, padded, quoted or converted by its
// format; and the printf conversion of one value.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "format.h"
#include "output.h"
#include "record.h"

namespace {

// The characters written on the current line, and the format whose
// delimiter text is due before the next field (null: none).
int64_t column = 0;
const FieldFormat* pending = nullptr;

void put(const wchar_t* text, size_t n) {
    out_write(text, n);
    column += int64_t(n);
}

void put_char(wchar_t c) {
    out_putwc(c);
    ++column;
}

void blanks(int64_t n) {
    for (; n > 0; --n) put_char(L' ');
}

// What the first conversion of a printf format takes, once the whole format
// has been checked to take exactly that one argument.
enum Argument { ARG_NONE, ARG_INT, ARG_LONG, ARG_DOUBLE, ARG_TEXT, ARG_WCHAR, ARG_POINTER };

// The conversions of a printf format (%% is none): how many, what the
// first one takes, and whether any would read what the writer does not
// pass or write through an argument (a * width or precision, %n, wide
// text %ls or %S), which makes the format unsafe.
struct Conversions {
    int count = 0;
    Argument first = ARG_NONE;
    bool unsafe = false;
};

Conversions scan_conversions(const char* cfmt) {
    Conversions c;
    for (const char* p = cfmt; (p = std::strchr(p, '%')) != nullptr;) {
        ++p;
        if (*p == '%') {
            ++p;
            continue;
        }
        ++c.count;
        while (*p && std::strchr("-+ #0", *p)) ++p;
        if (*p == '*') c.unsafe = true, ++p;
        while (*p >= '0' && *p <= '9') ++p;
        if (*p == '.') {
            ++p;
            if (*p == '*') c.unsafe = true, ++p;
            while (*p >= '0' && *p <= '9') ++p;
        }
        bool l = false;
        if (*p == 'l') l = true, ++p;
        Argument a = ARG_NONE;  // h, hh, ll, L, j, z, t, other letters: none
        switch (*p) {
        case 'd': case 'i': case 'o': case 'x': case 'X': case 'u': a = l ? ARG_LONG : ARG_INT; break;
        case 'e': case 'E': case 'f': case 'g': case 'G': a = ARG_DOUBLE; break;
        case 'c': a = l ? ARG_WCHAR : ARG_INT; break;
        case 'C': a = ARG_WCHAR; break;
        case 's': if (l) c.unsafe = true; a = ARG_TEXT; break;
        case 'p': if (!l) a = ARG_POINTER; break;
        case 'S': case 'n': c.unsafe = true; break;
        default: break;
        }
        if (c.count == 1) c.first = a;
        if (*p) ++p;
    }
    if (c.count > 1) c.unsafe = true;
    return c;
}

// The one argument `cfmt` reads; ARG_NONE when it reads none, when its
// conversion has no class (a size letter other than l, a letter printf
// would take as something else), or when it is unsafe. A format without an
// argument is written as its own text.
Argument argument_of(const char* cfmt) {
    Conversions c = scan_conversions(cfmt);
    return c.unsafe ? ARG_NONE : c.first;
}

// Decodes the n bytes at *cell as a new 0-terminated wide text at the
// area's head. NULs are left out; so are bytes that do not decode, and
// *lost is set. The caller keeps *cell registered while the area may grow.
wchar_t* decode_to_area(char** cell, size_t n, Area* area, bool* lost) {
    area_align(alignof(wchar_t), area);
    wchar_t* out = static_cast<wchar_t*>(area_alloc((n + 1) * sizeof(wchar_t), area));
    if (out == nullptr) return nullptr;
    const char* s = *cell;
    size_t k = 0;
    mbstate_t st{};
    for (size_t i = 0; i < n;) {
        wchar_t c;
        size_t r = std::mbrtowc(&c, s + i, n - i, &st);
        if (r == size_t(-1) || r == size_t(-2)) {
            st = mbstate_t{};
            ++i;
            *lost = true;
            continue;
        }
        if (r == 0) r = 1;  // a NUL byte
        if (c != 0) out[k++] = c;  // (a NUL, as from %c of 0, stands for no character)
        i += r;
    }
    out[k] = 0;
    return out;
}

// Writes cfmt into out (which holds strlen(cfmt) + 3 bytes) with its one
// conversion given the size ll when it is an integer one (d i o u x X, with
// or without l); false, and out untouched, for any other conversion.
bool widen_integer_format(const char* cfmt, char* out) {
    const char* p = cfmt;
    while (*p && !(p[0] == '%' && p[1] != '%')) p += p[0] == '%' ? 2 : 1;
    if (*p == 0) return false;
    const char* letter = p + 1;
    while (*letter && std::strchr("-+ #0'.0123456789", *letter)) ++letter;
    const char* size = letter;
    if (*letter == 'l') ++letter;
    if (*letter == 0 || !std::strchr("dioxXu", *letter)) return false;
    size_t head = size_t(size - cfmt);
    std::memcpy(out, cfmt, head);
    out[head] = out[head + 1] = 'l';
    std::strcpy(out + head + 2, letter);
    return true;
}

// The value as a 64-bit integer for an integer conversion: a text that is
// a whole decimal number exactly (a double holds 53 bits of it), any other
// number truncated toward zero; false beyond 64 bits and for NaN.
bool whole_number(const wchar_t* text, double number, long long* whole) {
    wchar_t* end;
    errno = 0;
    long long v = std::wcstoll(text, &end, 10);
    if (end != text && errno == 0) {
        while (std::iswspace(wint_t(*end))) ++end;
        if (*end == 0) {
            *whole = v;
            return true;
        }
    }
    if (!(number >= -9223372036854775808.0 && number < 9223372036854775808.0)) return false;
    *whole = (long long)number;
    return true;
}

// The value as a 0-terminated text of its own (it may lie in the area).
wchar_t* terminated_copy(const wchar_t* value, size_t length, Area* area) {
    Relocated<const wchar_t> keep(&value, area);
    area_align(alignof(wchar_t), area);
    wchar_t* copy = static_cast<wchar_t*>(area_alloc((length + 1) * sizeof(wchar_t), area));
    if (copy == nullptr) return nullptr;
    if (length) std::wmemcpy(copy, value, length);
    copy[length] = 0;
    return copy;
}

// A cfmt that takes no argument: the format's own text, %% as %, decoded
// through *bytes (the caller's registered cell).
wchar_t* cfmt_own_text(const char* cfmt, char** bytes, Area* area, bool* failed) {
    size_t n = cfmt ? std::strlen(cfmt) : 0;
    *bytes = static_cast<char*>(area_alloc(n + 1, area));
    if (*bytes == nullptr) return nullptr;
    size_t k = 0;
    for (const char* p = cfmt; p && *p; ++p) {
        (*bytes)[k++] = *p;
        if (p[0] == '%' && p[1] == '%') ++p;
    }
    (*bytes)[k] = 0;
    return decode_to_area(bytes, k, area, failed);
}

// The value in the forms a conversion may take: a number, its int32
// clamp, its 64-bit truncation, and `text`, the value as multibyte text for
// %s or the format widened to ll for an integer conversion (null when the
// format could not be widened).
struct ConversionArgument {
    Argument arg;
    double number;
    int32_t integer;
    long long whole;
    const char* text;
};

// printf of the one argument into out (cap bytes; cap 0 measures): its
// count, negative when printf fails. The format is read from the record
// each time: its area may have moved.
[[gnu::always_inline]] inline int print_conversion(const ConversionArgument& a, const FieldFormat* format, char* out, size_t cap) {
    const char* f = format->cfmt;
    if (a.text && a.arg != ARG_TEXT) return std::snprintf(out, cap, a.text, a.whole);
    switch (a.arg) {
    case ARG_INT: return std::snprintf(out, cap, f, int(a.integer));
    case ARG_LONG: return std::snprintf(out, cap, f, long(a.integer));
    case ARG_DOUBLE: return std::snprintf(out, cap, f, a.number);
    case ARG_TEXT: return std::snprintf(out, cap, f, a.text);
    case ARG_WCHAR: return std::snprintf(out, cap, f, wint_t(a.integer));
    case ARG_POINTER: return std::snprintf(out, cap, f, reinterpret_cast<void*>(intptr_t(a.integer)));
    case ARG_NONE: break;
    }
    return -1;
}

// The text of a field with a cfmt: the value converted, after a message
// when the conversion failed.
const wchar_t* converted_text(const Field* field, const FieldFormat* format, Area* area, size_t* length) {
    bool failed = false;
    const wchar_t* text = cfmt_convert(field->value, field_value_length(field), format, area, &failed);
    if (text == nullptr) text = L"";
    if (failed)
        warn(WARN_ERROR, "field %ls cfmt conversion failed at %s(%d).\n",
             format_message_name(field->start, field_name_length(field)), input_name, input_number);
    *length = std::wcslen(text);
    return text;
}

// The start: blanks up to an absolute position (a message when the line is
// already past it) or as many as a relative start skips.
inline void write_start(const Field* field, const FieldFormat* format) {
    if (format->start_kind == START_ABSOLUTE) {
        if (column > format->start) {
            const wchar_t* name = format_message_name(field->start, field_name_length(field));
            warn(WARN_ERROR, "field %ls start position over at %s(%d).\n", name, input_name, input_number);
        } else {
            blanks(format->start - column);
        }
    } else if (format->start_kind == START_RELATIVE) {
        blanks(format->start);
    }
}

// The text escaped for reading back: the delimiter and a backslash behind
// a backslash (b), a double quote doubled or escaped (q, x), and under x a
// backslash doubled before a quote, a backslash or the closing quote.
void write_escaped(const wchar_t* text, size_t length, const wchar_t* delimiter, size_t dlen, bool b, bool q, bool x) {
    for (size_t i = 0; i < length; ++i) {
        wchar_t c = text[i];
        if (b && dlen && length - i >= dlen && std::wmemcmp(text + i, delimiter, dlen) == 0) {
            put_char(L'\\');
            put(delimiter, dlen);
            i += dlen - 1;
        } else if (c == L'\\' && b) {
            put(L"\\\\", 2);
        } else if (c == L'"' && q) {
            put(x ? L"\\\"" : L"\"\"", 2);
        } else if (c == L'\\' && x) {
            wchar_t next = i + 1 < length ? text[i + 1] : L'"';
            if (next == L'"' || next == L'\\') put_char(L'\\');
            put_char(c);
        } else {
            put_char(c);
        }
    }
}

// A delimited field: the whole text, quoted or escaped; its delimiter is
// written before the next field.
inline void write_delimited(const wchar_t* text, size_t length, const FieldFormat* format) {
    int32_t options = format->options;
    bool q = options & FORMAT_Q, x = q && (options & FORMAT_X), b = options & FORMAT_B;
    bool single = !q && (options & FORMAT_SINGLE);  // q wins over Q
    if (q) put_char(L'"');
    if (single) put_char(L'\'');
    if (!q && !b) {
        // Under Q the value goes as it is: a quote inside it can't be
        // told from the closing one when read back, whatever is done.
        put(text, length);
    } else {
        const wchar_t* delimiter = format->text ? format->text : L"";
        write_escaped(text, length, delimiter, std::wcslen(delimiter), b, q, x);
    }
    if (q) put_char(L'"');
    if (single) put_char(L'\'');
    pending = format;
}

// A fixed width: the text cut or padded to the width (up to an absolute
// end, or a length), aligned left or, with r alone, right.
inline void write_fixed(const Field* field, const wchar_t* text, size_t length, const FieldFormat* format) {
    int64_t width = format->end;
    if (format->end_kind == END_ABSOLUTE) {
        if (column > format->end) {
            const wchar_t* name = format_message_name(field->start, field_name_length(field));
            warn(WARN_ERROR, "field %ls current position exceeds end position at %s(%d).\n", name, input_name,
                 input_number);
            width = 0;
        } else {
            width = int64_t(format->end) - column + 1;
        }
    }
    if (width < 0) width = 0;
    size_t shown = size_t(width) < length ? size_t(width) : length;
    if ((format->options & FORMAT_R) && !(format->options & FORMAT_L)) {
        blanks(width - int64_t(shown));
        put(text + (length - shown), shown);
    } else {
        put(text, shown);
        blanks(width - int64_t(shown));
    }
}

}  // namespace

bool cfmt_output_safe(const char* cfmt) { return !scan_conversions(cfmt).unsafe; }

void line_begin() {
    column = 0;
    pending = nullptr;
}

wchar_t* cfmt_convert(const wchar_t* value, size_t length, const FieldFormat* format, Area* area, bool* failed) {
    if (format == nullptr) format = &default_format;
    bool ignored = false;
    if (failed == nullptr) failed = &ignored;
    *failed = false;
    wchar_t* copy = terminated_copy(value, length, area);
    if (copy == nullptr) return nullptr;
    char* bytes = nullptr;  // the converted text, multibyte
    char* text = nullptr;   // the value as multibyte, for %s
    Relocated<char> keep(&bytes, area, &text);
    Argument arg = format->cfmt ? argument_of(format->cfmt) : ARG_NONE;
    if (arg == ARG_NONE) return cfmt_own_text(format->cfmt, &bytes, area, failed);
    double number = arg == ARG_TEXT ? 0 : parse_number(copy);
    if (arg == ARG_TEXT) {
        text = wcs_to_area_mb(copy, area);
        if (text == nullptr) return nullptr;
    }
    // An integer conversion writes the value truncated to 64 bits (%u and %x
    // a negative one in its two's complement form), from its format given
    // the size ll, which `text` holds; beyond 64 bits the result is empty.
    // (The value is read before the area may move.)
    long long whole = 0;
    bool integer_conversion = arg == ARG_INT || arg == ARG_LONG;
    bool fits = integer_conversion && whole_number(copy, number, &whole);
    if (integer_conversion) {
        text = static_cast<char*>(area_alloc(std::strlen(format->cfmt) + 3, area));
        if (text == nullptr) return nullptr;
        if (!widen_integer_format(format->cfmt, text)) {
            text = nullptr;
        } else if (!fits) {
            *failed = true;
            return decode_to_area(&text, 0, area, failed);
        }
    }
    // Measured first, then written in full. printf fails on a character
    // without a form and on a result longer than an int counts: the result
    // is then empty.
    ConversionArgument a{arg, number, clamp_int32(number), whole, text};
    int n = print_conversion(a, format, nullptr, 0);
    if (n < 0) n = 0, *failed = true;
    bytes = static_cast<char*>(area_alloc(size_t(n) + 1, area));
    if (bytes == nullptr) return nullptr;
    bytes[0] = 0;
    a.text = text;  // the area may have moved
    if (n > 0 && print_conversion(a, format, bytes, size_t(n) + 1) < 0) n = 0, *failed = true;
    return decode_to_area(&bytes, size_t(n), area, failed);
}

void write_field(const Field* field, const FieldFormat* format, Area* area) {
    if (format == nullptr) format = &default_format;
    // 1. The delimiter of the field before.
    if (pending) {
        const wchar_t* d = pending->text;
        if (d) put(d, std::wcslen(d));
        pending = nullptr;
    }
    // 2. The text.
    const wchar_t* text = (format->options & FORMAT_F) ? field->start : field->value;
    size_t length = size_t(field->end - text);
    if (format->cfmt) text = converted_text(field, format, area, &length);
    // 3. The start; 4. a delimited field or 5. a fixed width.
    write_start(field, format);
    if (format->end_kind == END_DELIMITER || format->end_kind == END_PATTERN) write_delimited(text, length, format);
    else write_fixed(field, text, length, format);
}
