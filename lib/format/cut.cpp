// The line cutter of the input direction: one line of text cut into fields
// by a field-format list, each written as name:value.
#include <cstdio>
#include <cstring>

#include <cwchar>

#include "format.h"

namespace {

// The line being cut. Positions are offsets from the line's start, since a
// continuation may move the line.
struct Line {
    const wchar_t* start;
    const wchar_t* end;
    const FormatContinuation* more;
    size_t length() const { return size_t(end - start); }
    // Appends the next line; false when there is none.
    bool extend() {
        if (more == nullptr) return false;
        wchar_t* s = const_cast<wchar_t*>(start);
        wchar_t* e = const_cast<wchar_t*>(end);
        if (!more->append(more->data, &s, &e)) {
            more = nullptr;  // the input has ended: never asked again
            return false;
        }
        start = s, end = e;
        return true;
    }
};

// The first non-empty match of e in the line from `from`: its start and
// end, or false. An empty match is no delimiter: the search goes on from
// the position behind it, so that no text is ever taken for one.
bool find(wregexp* e, const Line& line, size_t from, size_t* at, size_t* to) {
    if (e == nullptr) return false;
    for (size_t p = from; p <= line.length(); p = *at + 1) {
        if (wregexec_until(e, line.start + p, line.end) != 1) return false;
        *at = size_t(e->match_start[0] - line.start);
        *to = size_t(e->match_end[0] - line.start);
        if (*to > *at) return true;
    }
    return false;
}

// Whether a pattern end occurs from `from` on: a match that holds text, or,
// while text is left, an empty one; the value then runs to the line end, so
// that no character is dropped.
bool pattern_occurs(wregexp* e, const Line& line, size_t from) {
    size_t at, to;
    if (find(e, line, from, &at, &to)) return true;
    return from < line.length() && wregexec_until(e, line.start + from, line.end) == 1;
}

// A delimiter is repeatable when it matches its own matched text written
// twice, wholly.
bool repeatable(wregexp* e, const wchar_t* text, size_t n, Area* work) {
    area_align(alignof(wchar_t), work);
    wchar_t* twice = static_cast<wchar_t*>(area_alloc((2 * n + 1) * sizeof(wchar_t), work));
    std::wmemcpy(twice, text, n);
    std::wmemcpy(twice + n, text, n);
    twice[2 * n] = 0;
    bool whole = wregexec_until(e, twice, twice + 2 * n) == 1 && e->match_start[0] == twice &&
                 e->match_end[0] == twice + 2 * n;
    area_drop(twice, work);
    return whole;
}

// Where a field's value goes: straight out, or into the work area for a
// cfmt (or nowhere for a skip entry).
struct Sink {
    bool out;
    WideAppender* collect;
    void put(wchar_t c) {
        if (collect) collect->put(c);
        else if (out) out_putwc(c);
    }
    void put(const wchar_t* s, size_t n) {
        if (collect) {
            for (size_t i = 0; i < n; ++i) collect->put(s[i]);
        } else if (out) {
            out_write(s, n);
        }
    }
};

// The cutter's quick case: a value that runs to a delimiter of one
// character, nothing quoted or escaped. (Such a delimiter is never
// repeatable: one character can't match two.)
inline void read_plain(wchar_t c, const Line& line, size_t* pos, Sink& sink, bool* last_empty) {
    const wchar_t* s = line.start;
    size_t i = *pos, n = line.length(), k = i;
    if (sink.out && !sink.collect) {
        k += out_write_until(s + i, n - i, c);
    } else {
        while (k < n && s[k] != c) ++k;
        sink.put(s + i, k - i);
    }
    if (k < n) {
        *pos = k + 1;
        if (k + 1 == n) *last_empty = true;
    } else {
        *pos = n;
    }
}

// The quoting and escaping options of a delimited value, and whether the
// reader is inside double or single quotes.
struct Quotes {
    bool q, single, b, x;
    bool dq, sq;
    bool inside() const { return dq || sq; }
};

// The end of the run of characters from i that stand for themselves:
// outside quotes up to the value's end, inside them up to the line end.
inline size_t literal_run_end(const Quotes& qs, const Line& line, size_t i, size_t end) {
    const wchar_t* s = line.start;
    size_t k = i, limit = qs.inside() ? line.length() : end;
    if (qs.dq) {
        while (k < limit && s[k] != L'"' && !(s[k] == L'\\' && qs.x)) ++k;
    } else if (qs.sq) {
        while (k < limit && s[k] != L'\'') ++k;
    } else if (!qs.q && !qs.single && !qs.b) {
        k = limit;
    } else {
        while (k < limit && !(s[k] == L'"' && qs.q) && !(s[k] == L'\'' && qs.single) && !(s[k] == L'\\' && qs.b)) ++k;
    }
    return k;
}

// A character inside double quotes: an escaped quote or backslash (x), a
// doubled quote, the closing quote, or itself. Returns how many it took.
inline size_t read_in_double_quotes(Quotes& qs, wchar_t c, wchar_t next, Sink& sink) {
    if (qs.x && c == L'\\' && (next == L'"' || next == L'\\')) {
        sink.put(next);
        return 2;
    }
    if (c == L'"' && !qs.x && next == L'"') {
        sink.put(L'"');
        return 2;
    }
    if (c == L'"') qs.dq = false;
    else sink.put(c);
    return 1;
}

// The character at *i that does not stand for itself, read as the quotes
// around it say: a quote opens or closes, an escape takes the next
// character. False when a backslash at the end of the input ends the value.
inline bool read_special(Quotes& qs, Line& line, size_t* i, Sink& sink) {
    wchar_t c = line.start[*i];
    wchar_t next = *i + 1 < line.length() ? line.start[*i + 1] : 0;
    if (qs.dq) {
        *i += read_in_double_quotes(qs, c, next, sink);
    } else if (qs.sq) {
        if (c == L'\'') qs.sq = false;
        else sink.put(c);
        ++*i;
    } else if (qs.q && c == L'"') {
        qs.dq = true;
        ++*i;
    } else if (qs.single && c == L'\'') {
        qs.sq = true;
        ++*i;
    } else if (qs.b && c == L'\\') {
        if (*i + 1 < line.length()) {
            sink.put(next);
            *i += 2;
        } else {
            // A backslash at the line end joins the next line, whose
            // first character is read as it is.
            ++*i;
            if (!line.extend()) return false;
        }
    } else {
        sink.put(c);
        ++*i;
    }
    return true;
}

// Reads a delimited or pattern value from *pos: quotes and escapes of the
// options, continuation at the line end. Sets *pos behind the value and the
// delimiter; *last_empty when a last empty field is due.
void read_delimited(const FieldFormat* f, Line& line, size_t* pos, Sink& sink, bool* last_empty, Area* work) {
    bool pattern = f->end_kind == END_PATTERN;
    size_t i = *pos, at = 0, to = 0;
    bool found = find(f->regex, line, i, &at, &to);
    size_t end = found ? (pattern ? to : at) : line.length();
    Quotes qs{bool(f->options & FORMAT_Q), bool(f->options & FORMAT_SINGLE), bool(f->options & FORMAT_B),
              bool(f->options & FORMAT_X), false, false};
    for (;;) {
        if (!qs.inside()) {
            if (i > end) {  // back in plain text past the end: search again
                found = find(f->regex, line, i, &at, &to);
                end = found ? (pattern ? to : at) : line.length();
            }
            if (i == end && (found || i == line.length())) break;
        }
        if (i >= line.length()) {
            if (qs.inside() && line.extend()) continue;
            break;
        }
        // A run of characters that stand for themselves goes out at once.
        size_t k = literal_run_end(qs, line, i, end);
        if (k > i) {
            sink.put(line.start + i, k - i);
            i = k;
            continue;
        }
        if (!read_special(qs, line, &i, sink)) break;
    }
    if (found && i == end && !pattern) {
        *pos = to;
        if (to == line.length() && !repeatable(f->regex, line.start + at, to - at, work)) *last_empty = true;
    } else {
        *pos = i < line.length() ? i : line.length();
    }
}

// Counts the assigning conversions of a cfmt; false when one is cut off by
// the end of the format or names a letter sscanf does not know (the value
// is then left empty rather than handed to sscanf).
bool count_conversions(const char* cfmt, int* conversions) {
    *conversions = 0;
    for (const char* p = cfmt; (p = std::strchr(p, '%')) != nullptr;) {
        ++p;
        if (*p == '%') {
            ++p;
            continue;
        }
        if (*p != '*') ++*conversions;
        const char* q = p + (*p == '*');
        while ((*q >= '0' && *q <= '9') || *q == 'h' || *q == 'l' || *q == 'L') ++q;
        if (*q == 0 || !(std::strchr("dinoxuefgsc[SC", *q) || (*q == 'w' && (q[1] == 's' || q[1] == 'c')))) return false;
    }
    return true;
}

// The cfmt in the work area with every width beyond the text capped to its
// length plus one, so that widths read no more than the text holds.
char* capped_format(const char* cfmt, size_t length, Area* work) {
    char* format = static_cast<char*>(area_alloc(std::strlen(cfmt) + 1, work));
    size_t w = 0;
    for (const char* p = cfmt; *p;) {
        // A width stands right after '%' or "%*" (a "%%" is no conversion).
        bool width = *p >= '0' && *p <= '9' && p > cfmt &&
                     ((p[-1] == '%' && (p - 1 == cfmt || p[-2] != '%')) ||
                      (p[-1] == '*' && p - 1 > cfmt && p[-2] == '%'));
        if (!width) {
            format[w++] = *p++;
            continue;
        }
        size_t digits = 0;
        unsigned long long v = 0;
        for (; *p >= '0' && *p <= '9'; ++p, ++digits) v = v > 1000000000ull ? v : v * 10 + unsigned(*p - '0');
        char num[24];
        int k = std::snprintf(num, sizeof num, "%llu", v > length + 1 ? (unsigned long long)(length + 1) : v);
        if (size_t(k) > digits) k = int(digits);  // never longer than the digits it replaces
        std::memcpy(format + w, num, size_t(k));
        w += size_t(k);
    }
    format[w] = 0;
    return format;
}

// Writes what the first conversion stored at `value`, by the cfmt's class.
void write_scanned(const FieldFormat* f, void* value) {
    char buf[NUMBER_BUF];
    switch (f->cfmt_class) {
    case CFMT_SIGNED: {
        long v = f->cfmt_size == 'h' ? *static_cast<short*>(value)
                 : f->cfmt_size == 'l' ? *static_cast<long*>(value) : *static_cast<int*>(value);
        std::snprintf(buf, sizeof buf, "%ld", v);
        out_str(buf);
        break;
    }
    case CFMT_UNSIGNED: {
        unsigned long v = f->cfmt_size == 'h' ? *static_cast<unsigned short*>(value)
                          : f->cfmt_size == 'l' ? *static_cast<unsigned long*>(value) : *static_cast<unsigned*>(value);
        std::snprintf(buf, sizeof buf, "%lu", v);
        out_str(buf);
        break;
    }
    case CFMT_FLOATING:
        print_number(f->cfmt_size == 'l' ? *static_cast<double*>(value) : double(*static_cast<float*>(value)));
        break;
    case CFMT_TEXT:
        if (f->cfmt_size == 'l') out_putws(static_cast<wchar_t*>(value));
        else out_str(static_cast<char*>(value));
        break;
    case CFMT_CHARACTER:
        out_int(f->cfmt_size == 'l' ? long(*static_cast<wchar_t*>(value)) : long(*static_cast<unsigned char*>(value)));
        break;
    default:
        break;
    }
}

// A value collected for a cfmt, read by sscanf and written by its class.
void write_converted(const FieldFormat* f, const wchar_t* name, const wchar_t* value, Area* work) {
    char* mb = wcs_to_area_mb(value, work);
    size_t length = std::strlen(mb);
    // Every argument points at room for anything a conversion of this text
    // may store, so that no conversion can write beyond it.
    enum { ARGS = 10 };
    int conversions;
    if (!count_conversions(f->cfmt, &conversions)) return;
    if (conversions > ARGS || f->cfmt_class == CFMT_NONE) {
        if (conversions > 1) warn(WARN_ERROR, "field %ls cfmt has more than one %% at %s(%d).\n", name, input_name, input_number);
        return;
    }
    size_t mb_offset = size_t(mb - work->base);  // the work area may move below
    size_t format_offset = size_t(capped_format(f->cfmt, length, work) - work->base);
    // One room per assigning conversion; the arguments after them (which no
    // conversion reaches) share the last room.
    size_t room = (length + 2) * sizeof(wchar_t) + 16;
    int rooms = conversions > 0 ? conversions : 1;
    area_align(16, work);
    char* space = static_cast<char*>(area_alloc(room * size_t(rooms), work));
    std::memset(space, 0, room * size_t(rooms));
    void* a[ARGS];
    for (int k = 0; k < ARGS; ++k) a[k] = space + room * size_t(k < rooms ? k : rooms - 1);
    mb = work->base + mb_offset;
    char* format = work->base + format_offset;
    int n = std::sscanf(mb, format, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9]);
    if (n > 1) {
        warn(WARN_ERROR, "field %ls cfmt has more than one %% at %s(%d).\n", name, input_name, input_number);
        return;
    }
    if (n == 1) write_scanned(f, a[0]);
}

// Cutting one line: the line, the position in it, whether one more
// (empty) field is due at its end, and the count of fields written.
struct Cut {
    Line line;
    size_t pos;
    bool one_more;
    int written;
    Area* work;
};

// The entry's name for messages (made only when one is written).
const wchar_t* message_name(const FieldListEntry* e) {
    return format_message_name(e->name, e->length ? e->length - 1 : 0);
}

// An empty line still yields one (empty) field when the first delimiter or
// pattern matches a newline: the line's end stands for the line break.
bool empty_line_has_field(const Line& line, const FieldList* list) {
    const FieldListEntry* first = list->included;
    const FieldFormat* f0 = first && first->format ? first->format : &default_format;
    if (line.length() != 0 || !f0->regex || (f0->end_kind != END_DELIMITER && f0->end_kind != END_PATTERN)) return false;
    static const wchar_t newline[] = L"\n";
    size_t at, to;
    return find(f0->regex, Line{newline, newline + 1, nullptr}, 0, &at, &to);
}

// Step 1, the start: an absolute or relative position, or else, for a
// repeatable delimiter, behind the run of it that stands here.
inline void move_to_start(const FieldFormat* f, Cut& c) {
    if (f->start_kind == START_ABSOLUTE) {
        c.pos = size_t(f->start), c.one_more = false;
    } else if (f->start_kind == START_RELATIVE) {
        c.pos += size_t(f->start), c.one_more = false;
    } else if (f->end_kind == END_DELIMITER && !f->plain_delimiter && c.pos < c.line.length() &&
               (f->regex == nullptr || !f->regex->first_char || c.line.start[c.pos] == f->regex->first_char)) {
        // (A delimiter whose matches all begin with one character can't
        // match here when another stands here.)
        size_t at, to;
        if (find(f->regex, c.line, c.pos, &at, &to) && at == c.pos && to > at &&
            repeatable(f->regex, c.line.start + at, to - at, c.work))
            c.pos = to;
    }
}

// Steps 2 and 3, past or at the line end: true when the entry ends here
// (no empty field due), with the position kept within the line.
inline bool ends_at_line_end(const FieldListEntry* e, const FieldFormat* f, Cut& c) {
    if (c.pos < c.line.length()) return false;
    if (f->start_kind == START_ABSOLUTE)
        warn(WARN_ERROR, "field %ls start position exceeds the end of line at %s(%d).\n", message_name(e), input_name,
             input_number);
    if (c.pos > c.line.length() || !c.one_more) {
        c.pos = c.pos > c.line.length() ? c.line.length() : c.pos;
        return true;
    }
    return false;
}

// Step 6, the end of a fixed field, cut at the line end; false, after the
// message, when it does not lie behind the start.
inline bool fixed_end(const FieldListEntry* e, const FieldFormat* f, const Cut& c, size_t* end) {
    *end = f->end_kind == END_ABSOLUTE ? size_t(f->end) + 1 : c.pos + size_t(f->end);
    if (*end > c.line.length()) {
        warn(WARN_ERROR, "field %ls truncated by the end of line at %s(%d).\n", message_name(e), input_name,
             input_number);
        *end = c.line.length();
    }
    if (c.pos >= *end) {
        warn(WARN_ERROR, "field %ls end position is smaller than the start at %s(%d).\n", message_name(e), input_name,
             input_number);
        return false;
    }
    return true;
}

// The value into the sink: to its delimiter or pattern, or the fixed
// field up to `end` with its blanks trimmed as the options say.
inline void cut_value(const FieldFormat* f, size_t end, Cut& c, Sink& sink) {
    if (f->plain_delimiter) {
        read_plain(f->plain_delimiter, c.line, &c.pos, sink, &c.one_more);
        return;
    }
    if (f->end_kind == END_DELIMITER || f->end_kind == END_PATTERN) {
        read_delimited(f, c.line, &c.pos, sink, &c.one_more, c.work);
        return;
    }
    size_t from = c.pos, to_end = end;
    if (f->options & FORMAT_R)
        while (from < to_end && c.line.start[from] == L' ') ++from;
    if (f->options & FORMAT_L)
        while (to_end > from && c.line.start[to_end - 1] == L' ') --to_end;
    sink.put(c.line.start + from, to_end - from);
    c.pos = end;
}

// The value of a field with a cfmt: collected, then converted.
[[gnu::noinline]] void cut_converted(const FieldListEntry* e, const FieldFormat* f, size_t end, Cut& c) {
    wchar_t* collected = nullptr;
    Relocated<wchar_t> cell(&collected, c.work);
    WideAppender appender(&collected, c.work);
    Sink sink{true, &appender};
    cut_value(f, end, c, sink);
    appender.put(0);
    appender.flush();
    write_converted(f, message_name(e), collected, c.work);
    area_drop(collected, c.work);
}

// Step 7, the field: its name, the value (straight out, or converted by
// its cfmt) and the line's end. An entry without a name (":format")
// consumes its text and writes nothing.
[[gnu::always_inline]] inline void cut_field(const FieldListEntry* e, const FieldFormat* f, size_t end, Cut& c) {
    bool out = e->length > 1;
    if (out && !(f->options & FORMAT_F)) out_write(e->name, e->length);
    if (f->cfmt && out) {
        cut_converted(e, f, end, c);
    } else {
        Sink sink{out, nullptr};
        cut_value(f, end, c, sink);
    }
    if (out) {
        out_putwc(L'\n');
        ++c.written;
    }
}

// One entry of the list, once or, when it repeats, while the line has text.
[[gnu::always_inline]] inline void cut_entry(const FieldListEntry* e, Cut& c) {
    const FieldFormat* f = e->format ? e->format : &default_format;
    bool delimited = f->end_kind == END_DELIMITER || f->end_kind == END_PATTERN;
    size_t loops = 0;
    do {
        size_t before = c.pos;
        move_to_start(f, c);
        // A repeat that starts again behind where the last pass ended
        // would never end: the entry ends where that pass ended.
        if (loops > 0 && c.pos < before) {
            c.pos = before;
            break;
        }
        if (ends_at_line_end(e, f, c)) break;
        // 4. A pattern that does not occur.
        if (f->end_kind == END_PATTERN && !pattern_occurs(f->regex, c.line, c.pos)) break;
        c.one_more = false;
        size_t end = 0;
        if (!delimited && !fixed_end(e, f, c, &end)) break;
        cut_field(e, f, end, c);
        // A pass that does not move forward ends a repeating entry.
        if (c.pos == before && !c.one_more) break;
    } while (f->repeat && (c.pos < c.line.length() || (c.pos == c.line.length() && c.one_more)) && ++loops);
}

// The matcher of delimiters and patterns ends a text at its 0: a line that
// is not followed by one (a value inside a record) is cut as a copy that
// is, so that no match reaches beyond it.
int cut_terminated_copy(const wchar_t* line_start, const wchar_t* line_end, const FieldList* list, Area* work) {
    static wchar_t* copy = nullptr;
    static size_t copy_capacity = 0;
    size_t n = size_t(line_end - line_start);
    if (n + 1 > copy_capacity) {
        copy_capacity = 2 * (n + 1);
        copy = static_cast<wchar_t*>(checked_realloc(copy, sizeof(wchar_t) * copy_capacity));
    }
    std::wmemcpy(copy, line_start, n);
    copy[n] = 0;
    const wchar_t* copy_end = copy + n;
    return cut_line(copy, &copy_end, list, work, nullptr);
}

}  // namespace

int cut_line(const wchar_t* line_start, const wchar_t** line_end, const FieldList* list, Area* work,
             const FormatContinuation* continuation) {
    if (**line_end != 0 && continuation == nullptr) return cut_terminated_copy(line_start, *line_end, list, work);
    Cut c{Line{line_start, *line_end, continuation}, 0, false, 0, work};
    c.one_more = empty_line_has_field(c.line, list);
    for (const FieldListEntry* e = list->included; e; e = e->next) cut_entry(e, c);
    *line_end = c.line.end;
    return c.written;
}
