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

// Reads a delimited or pattern value from *pos: quotes and escapes of the
// options, continuation at the line end. Sets *pos behind the value and the
// delimiter; *last_empty when a last empty field is due.
void read_delimited(const FieldFormat* f, Line& line, size_t* pos, Sink& sink, bool* last_empty, Area* work) {
    bool pattern = f->end_kind == END_PATTERN;
    size_t i = *pos, at = 0, to = 0;
    bool found = find(f->regex, line, i, &at, &to);
    size_t end = found ? (pattern ? to : at) : line.length();
    bool dq = false, sq = false;
    const bool q = f->options & FORMAT_Q, single = f->options & FORMAT_SINGLE, b = f->options & FORMAT_B,
               x = f->options & FORMAT_X;
    for (;;) {
        if (!dq && !sq) {
            if (i > end) {  // back in plain text past the end: search again
                found = find(f->regex, line, i, &at, &to);
                end = found ? (pattern ? to : at) : line.length();
            }
            if (i == end && (found || i == line.length())) break;
        }
        if (i >= line.length()) {
            if ((dq || sq) && line.extend()) continue;
            break;
        }
        // A run of characters that stand for themselves goes out at once:
        // outside quotes up to the end, inside them up to the line end.
        {
            const wchar_t* s = line.start;
            size_t k = i, limit = dq || sq ? line.length() : end;
            if (dq) {
                while (k < limit && s[k] != L'"' && !(s[k] == L'\\' && x)) ++k;
            } else if (sq) {
                while (k < limit && s[k] != L'\'') ++k;
            } else if (!q && !single && !b) {
                k = limit;
            } else {
                while (k < limit && !(s[k] == L'"' && q) && !(s[k] == L'\'' && single) && !(s[k] == L'\\' && b)) ++k;
            }
            if (k > i) {
                sink.put(s + i, k - i);
                i = k;
                continue;
            }
        }
        wchar_t c = line.start[i];
        wchar_t next = i + 1 < line.length() ? line.start[i + 1] : 0;
        if (dq) {
            if (x && c == L'\\' && (next == L'"' || next == L'\\')) {
                sink.put(next);
                i += 2;
            } else if (c == L'"' && !x && next == L'"') {
                sink.put(L'"');
                i += 2;
            } else if (c == L'"') {
                dq = false;
                ++i;
            } else {
                sink.put(c);
                ++i;
            }
            continue;
        }
        if (sq) {
            if (c == L'\'') sq = false;
            else sink.put(c);
            ++i;
            continue;
        }
        if (q && c == L'"') {
            dq = true;
            ++i;
        } else if (single && c == L'\'') {
            sq = true;
            ++i;
        } else if (b && c == L'\\') {
            if (i + 1 < line.length()) {
                sink.put(next);
                i += 2;
            } else {
                // A backslash at the line end joins the next line, whose
                // first character is read as it is.
                ++i;
                if (!line.extend()) break;
            }
        } else {
            sink.put(c);
            ++i;
        }
    }
    if (found && i == end && !pattern) {
        *pos = to;
        if (to == line.length() && !repeatable(f->regex, line.start + at, to - at, work)) *last_empty = true;
    } else {
        *pos = i < line.length() ? i : line.length();
    }
}

// A value collected for a cfmt, read by sscanf and written by its class.
void write_converted(const FieldFormat* f, const wchar_t* name, const wchar_t* value, Area* work) {
    char* mb = wcs_to_area_mb(value, work);
    size_t length = std::strlen(mb);
    // Every argument points at room for anything a conversion of this text
    // may store, so that no conversion can write beyond it.
    enum { ARGS = 10 };
    int conversions = 0;
    for (const char* p = f->cfmt; (p = std::strchr(p, '%')) != nullptr;) {
        ++p;
        if (*p == '%') {
            ++p;
            continue;
        }
        if (*p != '*') ++conversions;
        // A conversion cut off by the end of the format converts nothing:
        // the value is left empty rather than handed to sscanf.
        const char* q = p + (*p == '*');
        while ((*q >= '0' && *q <= '9') || *q == 'h' || *q == 'l' || *q == 'L') ++q;
        // So does a conversion letter sscanf does not know.
        if (*q == 0 || !(std::strchr("dinoxuefgsc[SC", *q) || (*q == 'w' && (q[1] == 's' || q[1] == 'c')))) return;
    }
    if (conversions > ARGS || f->cfmt_class == CFMT_NONE) {
        if (conversions > 1) warn(WARN_ERROR, "field %ls cfmt has more than one %% at %s(%d).\n", name, input_name, input_number);
        return;
    }
    size_t mb_offset = size_t(mb - work->base);  // the work area may move below
    // Widths beyond the text read no more than the text: they are capped to
    // its length plus one, so that the room above bounds every conversion.
    char* format = static_cast<char*>(area_alloc(std::strlen(f->cfmt) + 1, work));
    size_t w = 0;
    for (const char* p = f->cfmt; *p;) {
        // A width stands right after '%' or "%*" (a "%%" is no conversion).
        bool width = *p >= '0' && *p <= '9' && p > f->cfmt &&
                     ((p[-1] == '%' && (p - 1 == f->cfmt || p[-2] != '%')) ||
                      (p[-1] == '*' && p - 1 > f->cfmt && p[-2] == '%'));
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
    size_t format_offset = size_t(format - work->base);
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
    format = work->base + format_offset;
    int n = std::sscanf(mb, format, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9]);
    if (n > 1) {
        warn(WARN_ERROR, "field %ls cfmt has more than one %% at %s(%d).\n", name, input_name, input_number);
        return;
    }
    if (n != 1) return;
    char buf[NUMBER_BUF];
    switch (f->cfmt_class) {
    case CFMT_SIGNED: {
        long v = f->cfmt_size == 'h' ? *static_cast<short*>(a[0])
                 : f->cfmt_size == 'l' ? *static_cast<long*>(a[0]) : *static_cast<int*>(a[0]);
        std::snprintf(buf, sizeof buf, "%ld", v);
        out_str(buf);
        break;
    }
    case CFMT_UNSIGNED: {
        unsigned long v = f->cfmt_size == 'h' ? *static_cast<unsigned short*>(a[0])
                          : f->cfmt_size == 'l' ? *static_cast<unsigned long*>(a[0]) : *static_cast<unsigned*>(a[0]);
        std::snprintf(buf, sizeof buf, "%lu", v);
        out_str(buf);
        break;
    }
    case CFMT_FLOATING:
        print_number(f->cfmt_size == 'l' ? *static_cast<double*>(a[0]) : double(*static_cast<float*>(a[0])));
        break;
    case CFMT_TEXT:
        if (f->cfmt_size == 'l') out_putws(static_cast<wchar_t*>(a[0]));
        else out_str(static_cast<char*>(a[0]));
        break;
    case CFMT_CHARACTER:
        out_int(f->cfmt_size == 'l' ? long(*static_cast<wchar_t*>(a[0])) : long(*static_cast<unsigned char*>(a[0])));
        break;
    default:
        break;
    }
}

}  // namespace

int cut_line(const wchar_t* line_start, const wchar_t** line_end, const FieldList* list, Area* work,
             const FormatContinuation* continuation) {
    // The matcher of delimiters and patterns ends a text at its 0: a line
    // that is not followed by one (a value inside a record) is cut as a
    // copy that is, so that no match reaches beyond it.
    static wchar_t* copy = nullptr;
    static size_t copy_capacity = 0;
    if (**line_end != 0 && continuation == nullptr) {
        size_t n = size_t(*line_end - line_start);
        if (n + 1 > copy_capacity) {
            copy_capacity = 2 * (n + 1);
            copy = static_cast<wchar_t*>(checked_realloc(copy, sizeof(wchar_t) * copy_capacity));
        }
        std::wmemcpy(copy, line_start, n);
        copy[n] = 0;
        const wchar_t* copy_end = copy + n;
        return cut_line(copy, &copy_end, list, work, nullptr);
    }
    Line line{line_start, *line_end, continuation};
    int written = 0;
    size_t pos = 0;
    const FieldListEntry* first = list->included;
    const FieldFormat* f0 = first && first->format ? first->format : &default_format;
    bool one_more = false;
    if (line.length() == 0 && f0->regex && (f0->end_kind == END_DELIMITER || f0->end_kind == END_PATTERN)) {
        static const wchar_t newline[] = L"\n";
        size_t at, to;
        one_more = find(f0->regex, Line{newline, newline + 1, nullptr}, 0, &at, &to);
    }
    for (const FieldListEntry* e = list->included; e; e = e->next) {
        const FieldFormat* f = e->format ? e->format : &default_format;
        // The entry's name for messages, made when one is written.
        auto name = [&] { return format_message_name(e->name, e->length ? e->length - 1 : 0); };
        bool skip = e->length <= 1;  // ":format": consumes, writes nothing
        bool delimited = f->end_kind == END_DELIMITER || f->end_kind == END_PATTERN;
        size_t loops = 0;
        do {
            size_t before = pos;
            bool ended_here = false;
            // 1. Start.
            if (f->start_kind == START_ABSOLUTE) {
                pos = size_t(f->start), one_more = false;
            } else if (f->start_kind == START_RELATIVE) {
                pos += size_t(f->start), one_more = false;
            } else if (f->end_kind == END_DELIMITER && !f->plain_delimiter && pos < line.length() &&
                       (f->regex == nullptr || !f->regex->first_char || line.start[pos] == f->regex->first_char)) {
                // (A delimiter whose matches all begin with one character
                // can't match here when another stands here.)
                size_t at, to;
                if (find(f->regex, line, pos, &at, &to) && at == pos && to > at &&
                    repeatable(f->regex, line.start + at, to - at, work))
                    pos = to;
            }
            // A repeat that starts again behind where the last pass ended
            // would never end: the entry ends where that pass ended.
            if (loops > 0 && pos < before) {
                pos = before;
                break;
            }
            // 2, 3. Past or at the line end.
            if (pos >= line.length()) {
                if (f->start_kind == START_ABSOLUTE)
                    warn(WARN_ERROR, "field %ls start position exceeds the end of line at %s(%d).\n", name(), input_name,
                         input_number);
                if (pos > line.length() || !one_more) {
                    pos = pos > line.length() ? line.length() : pos;
                    break;
                }
            }
            // 4. A pattern that does not occur.
            if (f->end_kind == END_PATTERN && !pattern_occurs(f->regex, line, pos)) break;
            one_more = false;
            // 6. The end of a fixed field.
            size_t end = 0;
            if (!delimited) {
                end = f->end_kind == END_ABSOLUTE ? size_t(f->end) + 1 : pos + size_t(f->end);
                if (end > line.length()) {
                    warn(WARN_ERROR, "field %ls truncated by the end of line at %s(%d).\n", name(), input_name,
                         input_number);
                    end = line.length();
                }
                if (pos >= end) {
                    warn(WARN_ERROR, "field %ls end position is smaller than the start at %s(%d).\n", name(), input_name,
                         input_number);
                    ended_here = true;
                }
            }
            if (ended_here) break;
            // 7. The field.
            bool out = !skip;
            if (out && !(f->options & FORMAT_F)) {
                out_write(e->name, e->length);
            }
            // The value, straight out or, for a cfmt, collected and converted.
            auto cut_value = [&](Sink& sink) {
                if (f->plain_delimiter) {
                    read_plain(f->plain_delimiter, line, &pos, sink, &one_more);
                    return;
                }
                if (delimited) {
                    read_delimited(f, line, &pos, sink, &one_more, work);
                    return;
                }
                size_t from = pos, to_end = end;
                if (f->options & FORMAT_R)
                    while (from < to_end && line.start[from] == L' ') ++from;
                if (f->options & FORMAT_L)
                    while (to_end > from && line.start[to_end - 1] == L' ') --to_end;
                sink.put(line.start + from, to_end - from);
                pos = end;
            };
            if (f->cfmt && out) {
                wchar_t* collected = nullptr;
                Relocated<wchar_t> cell(&collected, work);
                WideAppender appender(&collected, work);
                Sink sink{out, &appender};
                cut_value(sink);
                appender.put(0);
                appender.flush();
                write_converted(f, name(), collected, work);
                area_drop(collected, work);
            } else {
                Sink sink{out, nullptr};
                cut_value(sink);
            }
            if (out) {
                out_putwc(L'\n');
                ++written;
            }
            // A pass that does not move forward ends a repeating entry.
            if (pos == before && !one_more) break;
        } while (f->repeat && (pos < line.length() || (pos == line.length() && one_more)) && ++loops);
    }
    *line_end = line.end;
    return written;
}
