// The stanza reader (stanza.h). The text is taken as bytes, the whole lines
// of the buffer at a time: the newline, the colon and the blanks are single
// bytes in every encoding a locale may have, and never part of another
// character, so a line is cut at them unchanged; only lines that hold other
// bytes than ASCII are decoded, to check them.
#include "stanza.h"

#include <cstring>
#include <string.h>  // memrchr

#include "record.h"

// The name of the field above with its colon, which a continuation line
// takes: where it lies in the input buffer, kept aside (in `kept`) only
// before the buffer is refilled. Its length is 0 after a line without a
// colon, whose continuations are fields without a name too; there is no
// field above at the start of a paragraph.
static const unsigned char* name = nullptr;
static size_t name_length = 0;
static bool field_above = false;
static unsigned char* kept = nullptr;
static size_t kept_room = 0;

static void keep_name_aside() {
    if (!field_above || name_length == 0 || name == kept) return;
    grow_table(kept, kept_room, name_length + 16);  // 16: room that out_bytes_ahead reads
    std::memcpy(kept, name, name_length);
    name = kept;
}

static bool is_blank(unsigned char c) { return c == ' ' || c == '\t'; }

static bool blank_line(const unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (!is_blank(p[i])) return false;
    return true;
}

static const char* chars(const unsigned char* p) { return reinterpret_cast<const char*>(p); }

// Writes the field of one line of a paragraph: the n bytes at p, with the
// first colon at p[colon] (colon == n when there is none). When p[n] is the
// line's end (a newline or the CR of a CR LF) it may be overwritten.
static void write_line(unsigned char* p, size_t n, size_t colon, bool line_end) {
    size_t from;  // the value
    if (is_blank(p[0])) {
        if (!field_above) {
            warn(WARN_ERROR, "continuation line without a field above in %s(%d), written with an empty name.\n",
                 input_name, input_number);
            static const unsigned char empty_name[16] = {':'};
            name = empty_name;
            name_length = 1;
            field_above = true;
        }
        out_bytes_ahead(chars(name), name_length);
        from = 1;
    } else if (colon < n) {
        from = colon + 1;
        name = p, name_length = from;
        field_above = true;
        out_bytes_ahead(chars(p), from);
        if (from < n && is_blank(p[from])) ++from;
    } else {
        warn(WARN_ERROR, "line without a colon in %s(%d), written as a field without a name.\n", input_name,
             input_number);
        name_length = 0;
        field_above = true;
        from = 0;
    }
    if (!line_end) {
        out_bytes(chars(p + from), n - from);
        out_putwc(L'\n');
        return;
    }
    p[n] = '\n';
    out_bytes_ahead(chars(p + from), n + 1 - from);
}

static const char* file_name = nullptr;  // of the input, null for standard input
static bool filenames = false;
static bool in_paragraph = false;

static void end_paragraph() {
    if (filenames) write_filename(file_name);
    out_putwc(L'\n');
    field_above = false;
    in_paragraph = false;
}

// Any line: its field written on its own; line_end as for write_line.
static void take_any_line(unsigned char* p, size_t n, size_t colon, bool special, bool line_end) {
    if (line_end && n > 0 && p[n - 1] == '\r') --n;  // a CR LF line end
    if (colon > n) colon = n;
    if (special || !ascii_compatible) {
        n = check_line_bytes(p, n);
        const void* c = std::memchr(p, ':', n);
        colon = c ? size_t(static_cast<const unsigned char*>(c) - p) : n;
    }
    if (colon == n && blank_line(p, n)) {
        if (in_paragraph) end_paragraph();
        return;
    }
    in_paragraph = true;
    write_line(p, n, colon, line_end);
}

// Most lines are written as they stand but for a byte left out (the blank
// after the colon, the CR of a CR LF) or a name put in (before a
// continuation): the bytes of the buffer from `pending` on are written in
// one piece up to where such a change comes.
static const unsigned char* pending = nullptr;

static void write_pending(const unsigned char* to) {
    out_bytes_ahead(chars(pending), size_t(to - pending));
    pending = to;
}

// Leaves out the byte at p.
static void skip_byte(const unsigned char* p) {
    write_pending(p);
    pending = p + 1;
}

// Takes a line that ends with a newline at p[n], as each_line gives it.
static void take_line(unsigned char* p, size_t n, size_t colon, bool special) {
    ++input_number;
    if (!special && ascii_compatible && n > 0 && p[n - 1] != '\r') {
        if (colon < n && !is_blank(p[0])) {  // Name: value
            if (colon + 1 < n && is_blank(p[colon + 1])) skip_byte(p + colon + 1);
            name = p, name_length = colon + 1;
            field_above = in_paragraph = true;
            return;
        }
        if (is_blank(p[0]) && n > 1 && !is_blank(p[1]) && field_above) {  // a continuation
            write_pending(p);
            out_bytes_ahead(chars(name), name_length);
            pending = p + 1;
            return;
        }
    } else if (n == 0 && in_paragraph && !filenames) {  // the empty line after a paragraph
        field_above = in_paragraph = false;
        return;
    }
    write_pending(p);
    take_any_line(p, n, colon, special, true);
    pending = p + n + 1;
}

// A read that failed, in the line after the whole ones read.
[[noreturn]] static void read_error() {
    fatal_code_error(nullptr, "code error in the file %s(%d), irrecoverable.\n", input_name, input_number + 1);
}

// The whole lines buffered go at once; a line without its newline at the
// end of the input last.
void stanza_convert(WStream* in, const char* file, bool with_filename) {
    file_name = file;
    filenames = with_filename;
    input_number = 0;
    for (;;) {
        unsigned char* p = in->buf + in->pos;
        size_t n = in->len - in->pos;
        if (const void* last = n > 0 ? memrchr(p, '\n', n) : nullptr) {
            size_t whole = size_t(static_cast<const unsigned char*>(last) - p) + 1;
            pending = p;
            each_line(p, whole, [](unsigned char* line, size_t n, size_t colon, bool special) {
                take_line(line, n, colon, special);
            });
            write_pending(p + whole);
            in->pos += whole;
            keep_name_aside();
        }
        if (ws_fill_grow(in)) continue;
        if (in->error) read_error();
        if (in->pos < in->len) {
            ++input_number;
            take_any_line(in->buf + in->pos, in->len - in->pos, 0, true, false);
        }
        break;
    }
    if (in_paragraph) end_paragraph();
}

