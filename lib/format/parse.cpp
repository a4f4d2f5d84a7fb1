// Format texts: the state machine that reads one, the checks of each
// direction, the default format of -t and -z, and the class of a cfmt.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "format.h"

FieldFormat default_format = {START_FOLLOW, 0, END_DELIMITER, 0, nullptr, nullptr, 0, false, nullptr, CFMT_NONE, 0, 0};

int32_t format_option(wchar_t c) {
    switch (c) {
    case L'l': return FORMAT_L;
    case L'r': return FORMAT_R;
    case L'q': return FORMAT_Q;
    case L'Q': return FORMAT_SINGLE;
    case L'b': return FORMAT_B;
    case L'x': return FORMAT_X;
    case L'f': return FORMAT_F;
    case L'n': return FORMAT_N;
    default: return 0;
    }
}

// The wide-character conversions of both directions (S, C, ws, wc): text
// or character of size l; anything else has no class.
static int32_t wide_class(const char* p, char* size) {
    bool wide = *p == 'S' || *p == 'C' || (*p == 'w' && (p[1] == 's' || p[1] == 'c'));
    if (!wide) return CFMT_NONE;
    *size = 'l';
    return *p == 'S' || (*p == 'w' && p[1] == 's') ? CFMT_TEXT : CFMT_CHARACTER;
}

int32_t cfmt_class(const char* cfmt, int direction, char* size) {
    *size = 0;
    for (const char* p = cfmt; p && (p = std::strchr(p, '%')) != nullptr;) {
        ++p;
        if (*p == '%') {
            ++p;
            continue;
        }
        if (direction == FORMAT_INPUT) {
            if (*p == '*') {  // assignment suppressed: the next one counts
                ++p;
                continue;
            }
            while (*p >= '0' && *p <= '9') ++p;
            if (*p == 'l' || *p == 'h') *size = *p++;
            switch (*p) {
            case 'd': case 'i': case 'n': case 'o': case 'x': return CFMT_SIGNED;
            case 'u': return CFMT_UNSIGNED;
            case 'e': case 'f': case 'g': return CFMT_FLOATING;
            case 's': case '[': return CFMT_TEXT;
            case 'c': return CFMT_CHARACTER;
            default: return wide_class(p, size);
            }
        }
        while (*p && std::strchr("-+ #0123456789", *p)) ++p;
        if (*p == '*') return CFMT_SIGNED;
        if (*p == '.') {
            ++p;
            if (*p == '*') return CFMT_SIGNED;
            while (*p >= '0' && *p <= '9') ++p;
        }
        if (*p == 'l') *size = *p++;
        switch (*p) {
        case 'e': case 'E': case 'f': case 'g': case 'G': return CFMT_FLOATING;
        case 'd': case 'i': case 'o': case 'x': case 'X': case 'p': return CFMT_SIGNED;
        case 'u': return CFMT_UNSIGNED;
        case 's': return CFMT_TEXT;
        case 'c': return CFMT_CHARACTER;
        default: return wide_class(p, size);
        }
    }
    return CFMT_NONE;
}

namespace {

// A format text as read: positions into it for the texts, stored later.
struct Parsed {
    FieldFormat f;
    bool has_end = false, has_options = false;
    size_t text_from = 0, text_to = 0;  // the delimiter or pattern, raw
    size_t cfmt_from = 0;
    bool has_cfmt = false;
};

// Reads a decimal number at text[*i]; values beyond 32 bits stay at the
// largest one.
int32_t number(const wchar_t* text, size_t* i) {
    int64_t n = 0;
    while (text[*i] >= L'0' && text[*i] <= L'9') {
        n = n * 10 + (text[*i] - L'0');
        if (n > INT32_MAX) n = INT32_MAX;
        ++*i;
    }
    return int32_t(n);
}

enum State { BEGIN, NEED_DIGITS, AFTER_START, NEED_END_DIGITS, IN_LENGTH, AFTER_END, OPTIONS, AFTER_REPEAT };
// What a step of the reader did: read on, the text ended well or with a
// fault (reported), or the character is for a later step.
enum Step { NEXT, DONE, FAILED, NOT_MINE };

// The reader of one format text: where it is and in which state.
struct FormatReader {
    const wchar_t* name;
    const wchar_t* text;
    Parsed* p;
    size_t i;
    State state;

    Step fault(wchar_t c) const {
        // At the end of the text there is no character to show: the quotes
        // stay empty rather than hold a NUL.
        if (c == 0) warn(WARN_ERROR, "format syntax error in the field %ls at ''.\n", name);
        else warn(WARN_ERROR, "format syntax error in the field %ls at '%lc'.\n", name, wint_t(c));
        return FAILED;
    }
};

// The start: an absolute position, or + and the characters skipped.
Step read_start(FormatReader& r, wchar_t c, bool digit) {
    if (r.state == BEGIN && digit) {
        r.p->f.start_kind = START_ABSOLUTE;
        r.p->f.start = number(r.text, &r.i);
        r.state = AFTER_START;
        return NEXT;
    }
    if (r.state == BEGIN && c == L'+') {
        r.p->f.start_kind = START_RELATIVE;
        ++r.i;
        r.state = NEED_DIGITS;
        return NEXT;
    }
    if (r.state != NEED_DIGITS) return NOT_MINE;
    if (!digit) return r.fault(c);
    r.p->f.start = number(r.text, &r.i);
    r.state = AFTER_START;
    return NEXT;
}

// A delimiter or a pattern up to the unescaped closing character `close`,
// or to the end of the text.
Step read_end_text(FormatReader& r, wchar_t close) {
    const wchar_t* text = r.text;
    size_t i = r.i;
    if (text[i] == 0) return r.fault(0);
    r.p->f.end_kind = close == L'/' ? END_DELIMITER : END_PATTERN;
    r.p->has_end = true;
    r.p->text_from = i;
    while (text[i] && text[i] != close) i += text[i] == L'\\' && text[i + 1] ? 2 : 1;
    r.p->text_to = i;
    if (text[i]) ++i;
    r.i = i;
    r.state = AFTER_END;
    return NEXT;
}

// The end: - and the last position, (length), /delimiter/ or @pattern@.
Step read_end(FormatReader& r, wchar_t c, bool digit) {
    if (r.state == NEED_END_DIGITS) {
        if (!digit) return r.fault(c);
        r.p->f.end_kind = END_ABSOLUTE;
        r.p->f.end = number(r.text, &r.i);
        r.p->has_end = true;
        r.state = AFTER_END;
        return NEXT;
    }
    if (r.state == IN_LENGTH) {
        if (c == L')') {
            ++r.i;
        } else {
            if (!digit) return r.fault(c);
            r.p->f.end = number(r.text, &r.i);
            if (r.text[r.i] != L')') return r.fault(r.text[r.i]);
            ++r.i;
        }
        r.p->f.end_kind = END_LENGTH;
        r.p->has_end = true;
        r.state = AFTER_END;
        return NEXT;
    }
    if ((r.state != BEGIN && r.state != AFTER_START) || (c != L'-' && c != L'(' && c != L'/' && c != L'@'))
        return NOT_MINE;
    ++r.i;
    if (c == L'-') r.state = NEED_END_DIGITS;
    else if (c == L'(') r.state = IN_LENGTH;
    else return read_end_text(r, c);
    return NEXT;
}

// The rest: the end of the text, option letters, the repeat mark and the
// cfmt, which takes the rest of the text.
Step read_options(FormatReader& r, wchar_t c) {
    State state = r.state;
    if (c == 0)
        return state == BEGIN || state == AFTER_START || state == AFTER_END || state == OPTIONS ||
                       state == AFTER_REPEAT
                   ? DONE
                   : r.fault(0);
    if (state != AFTER_REPEAT && state != OPTIONS && format_option(c)) {
        while (format_option(r.text[r.i])) r.p->f.options |= format_option(r.text[r.i++]);
        r.p->has_options = true;
        r.state = OPTIONS;
        return NEXT;
    }
    if (state != AFTER_REPEAT && c == L'*') {
        r.p->f.repeat = true;
        ++r.i;
        r.state = AFTER_REPEAT;
        return NEXT;
    }
    if (c == L':') {
        if (r.text[r.i + 1] == 0) return r.fault(0);
        r.p->has_cfmt = true;
        r.p->cfmt_from = r.i + 1;
        return DONE;
    }
    return r.fault(c);
}

// The state machine over one format text. False after a syntax error
// (reported), with what was read before it in *p.
bool read_format(const wchar_t* name, const wchar_t* text, Parsed* p) {
    FormatReader r{name, text, p, 0, BEGIN};
    for (;;) {
        wchar_t c = text[r.i];
        bool digit = c >= L'0' && c <= L'9';
        Step step = read_start(r, c, digit);
        if (step == NOT_MINE) step = read_end(r, c, digit);
        if (step == NOT_MINE) step = read_options(r, c);
        if (step != NEXT) return step == DONE;
    }
}

// The stored delimiter or pattern: a backslash is dropped before the
// closing character and before a second backslash; other pairs stay.
size_t unescape(const wchar_t* from, const wchar_t* to, wchar_t close, wchar_t* out) {
    size_t n = 0;
    while (from < to) {
        if (*from == L'\\' && from + 1 < to && (from[1] == close || from[1] == L'\\')) ++from;
        else if (*from == L'\\' && from + 1 < to) out[n++] = *from++;
        out[n++] = *from++;
    }
    out[n] = 0;
    return n;
}

// The delimiter character of the cutter's quick case (see FieldFormat).
wchar_t plain_delimiter(const FieldFormat& f) {
    const wregexp* e = f.regex;
    if (f.end_kind != END_DELIMITER || e == nullptr || !e->literal_only || e->required_length != 1) return 0;
    if (f.options & (FORMAT_Q | FORMAT_SINGLE | FORMAT_B)) return 0;
    return wchar_t(e->required_text[0]);
}

// The input direction's test of a pattern: its first match in "A" must not
// be empty.
bool matches_null(wregexp* e) {
    return wregexec(e, L"A") == 1 && e->match_start[0] == e->match_end[0];
}

}  // namespace

void format_defaults(int direction, const char* t_text, const char* z_text, Area* area) {
    wreg_error = format_regex_error;
    std::free(default_format.regex);  // defaults set again replace the old ones
    std::free(default_format.text);
    default_format = FieldFormat{START_FOLLOW, 0, END_DELIMITER, 0, nullptr, nullptr, 0, false, nullptr, CFMT_NONE, 0, 0};
    wchar_t* t = mbs_to_area(t_text ? t_text : "", area);
    if (t == nullptr) {
        warn(WARN_ERROR, "code error in the -t option.\n");
        return;
    }
    size_t t_offset = size_t(reinterpret_cast<char*>(t) - area->base);
    wchar_t* z = mbs_to_area(z_text ? z_text : "", area);
    t = reinterpret_cast<wchar_t*>(area->base + t_offset);
    if (z == nullptr) warn(WARN_ERROR, "code error in the -z option.\n");
    // The delimiter, then the letters.
    if (direction == FORMAT_OUTPUT) {
        // A copy of its own: the area may move, and several lists share it.
        size_t n = std::wcslen(t) + 1;
        default_format.text = static_cast<wchar_t*>(checked_malloc(n * sizeof(wchar_t)));
        std::wmemcpy(default_format.text, t, n);
    } else {
        default_format.regex = wregcomp(*t ? t : L"\n");
        if (default_format.regex && matches_null(default_format.regex))
            warn(WARN_ERROR, "-t delimiter matches null string.\n");
    }
    for (const wchar_t* c = z; c && *c; ++c) {
        if (!format_option(*c)) {
            warn(WARN_ERROR, "-z option error '%lc'.\n", wint_t(*c));
            break;
        }
        default_format.options |= format_option(*c);
    }
    if (direction == FORMAT_INPUT) default_format.plain_delimiter = plain_delimiter(default_format);
}

namespace {

// The checks of a format as read, in the direction: option n clears the
// others, l wins over r in output; the faults are counted errors. A fixed
// end has no delimiter or pattern.
void check_format(Parsed& p, int direction, const wchar_t* name) {
    FieldFormat& f = p.f;
    if (f.options & FORMAT_N) f.options = 0;
    if (direction == FORMAT_OUTPUT && (f.options & FORMAT_L)) f.options &= ~FORMAT_R;
    if (f.start_kind == START_ABSOLUTE && f.end_kind == END_ABSOLUTE && p.has_end && f.end < f.start)
        warn(WARN_ERROR, "start > end error in the field %ls.\n", name);
    if (direction == FORMAT_INPUT && f.repeat && p.has_end && f.end_kind == END_ABSOLUTE)
        warn(WARN_ERROR, "end position and * conflicts in the format of the field %ls.\n", name);
    if (direction == FORMAT_INPUT && f.repeat && p.has_end && f.end_kind == END_LENGTH && f.end == 0)
        warn(WARN_ERROR, "zero length field repeats in the field %ls.\n", name);
    if (direction == FORMAT_OUTPUT && p.has_end && f.end_kind == END_PATTERN)
        warn(WARN_ERROR, "pattern is not allowed in output format in the field %ls.\n", name);
    if (p.has_cfmt && (f.options & FORMAT_F)) warn(WARN_ERROR, "cfmt is not allowed with f option in the field %ls.\n", name);
    if (f.end_kind == END_ABSOLUTE || f.end_kind == END_LENGTH) f.regex = nullptr, f.text = nullptr;
}

// The entry's own delimiter or pattern, unescaped into the area from the
// entry's text (`entry_offset` from the area's base): compiled in the
// input direction, kept as text (an offset plus one until the format is
// placed) in the output direction.
void store_end_text(Parsed& p, int direction, Area* area, size_t entry_offset, const wchar_t* name) {
    FieldFormat& f = p.f;
    wchar_t close = f.end_kind == END_DELIMITER ? L'/' : L'@';
    area_align(alignof(wchar_t), area);
    size_t raw = p.text_to - p.text_from;
    wchar_t* out = static_cast<wchar_t*>(area_alloc((raw + 1) * sizeof(wchar_t), area));
    const wchar_t* text = reinterpret_cast<FieldListEntry*>(area->base + entry_offset)->new_name;
    unescape(text + p.text_from, text + p.text_to, close, out);
    size_t out_offset = size_t(reinterpret_cast<char*>(out) - area->base);
    if (direction == FORMAT_INPUT) {
        f.text = nullptr;
        f.regex = wregcomp(out);
        if (f.regex && matches_null(f.regex))
            warn(WARN_ERROR, "format delimiter or pattern matches null in the field %ls.\n", name);
    } else {
        f.regex = nullptr;
        f.text = reinterpret_cast<wchar_t*>(out_offset + 1);  // an offset until the record is placed
    }
}

}  // namespace

void format_list_parse(FieldList* list, int direction, Area* area, bool repeat_all) {
    wreg_error = format_regex_error;
    if (!list->inclusive) return;
    for (FieldListEntry* e = list->included; e; e = e->next) {
        if (e->new_name == nullptr || e->new_name_end == nullptr || e->new_name == e->new_name_end) continue;
        // Read the text where it lies; what is stored is copied after each
        // allocation from where the list's pact has moved it.
        Parsed p;
        p.f = default_format;
        p.f.start_kind = START_FOLLOW, p.f.start = 0, p.f.repeat = repeat_all, p.f.cfmt = nullptr;
        p.f.cfmt_class = CFMT_NONE, p.f.cfmt_size = 0, p.f.options = 0;
        // The name for messages (its copy stays while this entry is built).
        const wchar_t* name = format_message_name(e->name, e->length ? e->length - 1 : 0);
        read_format(name, e->new_name, &p);
        if (!p.has_options) p.f.options = default_format.options;
        check_format(p, direction, name);
        FieldFormat& f = p.f;
        // The texts, in the area: the delimiter or pattern, then the cfmt.
        size_t entry_offset = size_t(reinterpret_cast<char*>(e) - area->base);
        auto entry = [&] { return reinterpret_cast<FieldListEntry*>(area->base + entry_offset); };
        bool own_text = p.has_end && (f.end_kind == END_DELIMITER || f.end_kind == END_PATTERN);
        if (own_text) store_end_text(p, direction, area, entry_offset, name);
        size_t cfmt_offset = 0;
        if (p.has_cfmt) {
            char* mb = wcs_to_area_mb(entry()->new_name + p.cfmt_from, area);
            cfmt_offset = size_t(mb - area->base) + 1;
            f.cfmt_class = cfmt_class(mb, direction, &f.cfmt_size);
            if (direction == FORMAT_OUTPUT && !cfmt_output_safe(mb))
                warn(WARN_ERROR, "cfmt conversion error in the field %ls.\n", name);
        }
        f.plain_delimiter = direction == FORMAT_INPUT ? plain_delimiter(f) : 0;
        area_align(alignof(FieldFormat), area);
        FieldFormat* record = static_cast<FieldFormat*>(area_alloc(sizeof(FieldFormat), area));
        *record = f;
        if (direction == FORMAT_OUTPUT && own_text)
            record->text = reinterpret_cast<wchar_t*>(area->base + (reinterpret_cast<size_t>(f.text) - 1));
        record->cfmt = cfmt_offset ? area->base + (cfmt_offset - 1) : nullptr;
        entry()->format = record;
        e = entry();
    }
}

void format_list_read(const char* text, FieldList* list, int direction, Area* area, bool repeat_all) {
    area_push_pact(0, format_list_relocate_pact, list, nullptr, area);
    field_list_parse(text, list, area);
    format_list_parse(list, direction, area, repeat_all);
}

int format_list_relocate_pact(void* list, void*, Area* area) {
    FieldList* l = static_cast<FieldList*>(list);
    field_list_relocate(l, area);
    for (FieldListEntry* e = l->included; e; e = e->next) {
        if (e->format == nullptr) continue;
        area_relocate_cell(&e->format->text, area);
        area_relocate_cell(&e->format->cfmt, area);
    }
    return 0;
}

const wchar_t* format_message_name(const wchar_t* name, size_t length) {
    static wchar_t* copy = nullptr;
    static size_t room = 0;
    if (length + 1 > room) {
        room = length + 1;
        copy = static_cast<wchar_t*>(checked_realloc(copy, room * sizeof(wchar_t)));
    }
    std::wmemcpy(copy, name, length);
    copy[length] = 0;
    return copy;
}

void format_regex_error(const char* message) {
    warn(WARN_ERROR, "regular expression error (%s) in -t parameter or format.\n", message);
}
