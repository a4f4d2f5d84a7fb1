// The record reader: turns the file arguments into a stream of records whose
// text lives in one storage area and whose field table lives in another.
#include <cstdint>
#include <cstring>

#include "record.h"

// The field being read was moved to the base of the text area: shift its
// pointers by the distance of the move.
static int moved_field_pact(void* cur_cell, void*, Area* text) {
    Field* f = *static_cast<Field**>(cur_cell);
    ptrdiff_t d = text->base - reinterpret_cast<char*>(f->start);
    auto shift = [d](wchar_t*& p) {
        if (p) p = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(p) + d);
    };
    shift(f->start);
    shift(f->value);
    shift(f->end);
    return 0;
}

// The text area was resized: translate every triple read so far.
static int table_relocation_pact(void* table_cell, void* cur_cell, Area* text) {
    Field* f = *static_cast<Field**>(table_cell);
    Field* cur = *static_cast<Field**>(cur_cell);
    if (f == nullptr || cur == nullptr) return 0;
    for (; f <= cur; ++f) {
        area_relocate_cell(&f->start, text);
        area_relocate_cell(&f->value, text);
        area_relocate_cell(&f->end, text);
    }
    return 0;
}

namespace {

[[noreturn]] void code_error() {
    warn(WARN_FATAL, "code error in Rk-file %s(%d), irrecoverable.\n", input_name, input_number);
    __builtin_unreachable();
}

// Length of the leading run of bytes in 1..0x7F (newlines are excluded by
// the caller), eight bytes at a time while no other byte is in sight.
inline size_t plain_run(const unsigned char* p, const unsigned char* e) {
    const unsigned char* r = p;
    while (e - r >= 8) {
        uint64_t w;
        std::memcpy(&w, r, 8);
        if (((w - 0x0101010101010101ULL) | w) & 0x8080808080808080ULL) break;
        r += 8;
    }
    while (r < e && unsigned(*r) - 1u < 0x7Fu) ++r;
    return size_t(r - p);
}

// State of one call of read_record: the table under construction and the
// line being read into the current field.
struct RecordBuilder {
    Area* text;
    Area* table_area;
    Field* table = nullptr;
    Field* cur = nullptr;
    bool in_line = false;
    size_t line_len = 0;        // characters of the current line in the area
    ptrdiff_t value_off = -1;   // offset of the value, once a colon was seen
    int nfields = 0;

    RecordBuilder(Area* t, Area* f) : text(t), table_area(f) {}

    void open_field() {
        cur = static_cast<Field*>(area_extend(sizeof(Field), &table, table_area));
        cur->start = cur->value = cur->end = nullptr;
        line_len = 0;
        value_off = -1;
        in_line = true;
    }

    // Room for n more characters of the current line.
    wchar_t* reserve(size_t n) { return static_cast<wchar_t*>(area_extend(n * sizeof(wchar_t), &cur->start, text)); }

    // m characters were stored at d out of `reserved`.
    void commit(const wchar_t* d, size_t m, size_t reserved) {
        area_giveback((reserved - m) * sizeof(wchar_t), text);
        if (value_off < 0)
            for (size_t i = 0; i < m; ++i)
                if (d[i] == L':') {
                    value_off = ptrdiff_t(line_len + i + 1);
                    break;
                }
        line_len += m;
    }

    // The line's newline has been stored.
    void finish_line() {
        cur->value = value_off >= 0 ? cur->start + value_off : cur->start;
        cur->end = cur->start + line_len - 1;
        in_line = false;
        ++nfields;
    }

    void end_line() {
        wchar_t* d = reserve(1);
        *d = L'\n';
        commit(d, 1, 1);
        finish_line();
    }

    // Takes one decoded character; returns true when it ends the record.
    bool take(wchar_t c) {
        if (c == 0) return false;
        if (c == L'\n') {
            if (in_line) {
                end_line();
                return false;
            }
            return nfields > 0;
        }
        if (!in_line) open_field();
        wchar_t* d = reserve(1);
        *d = c;
        commit(d, 1, 1);
        return false;
    }

    // Reads from the stream's buffer up to the next newline or the end of
    // the buffered bytes; returns true when the record ended.
    bool take_segment(WStream* s) {
        unsigned char* q = s->buf + s->pos;
        unsigned char* e = s->buf + s->len;
        unsigned char* nl = static_cast<unsigned char*>(std::memchr(q, '\n', size_t(e - q)));
        unsigned char* se = nl ? nl : e;
        if (!in_line) {
            while (q < se && *q == 0) ++q;
            if (q == se) {
                s->pos = size_t(se - s->buf);
                if (!nl) return false;
                ++s->pos;
                return nfields > 0;
            }
            open_field();
        }
        size_t want = size_t(se - q) + (nl ? 1 : 0);
        wchar_t* d = reserve(want);
        size_t m = 0;
        unsigned char* p = q;
        while (p < se) {
            size_t k = plain_run(p, se);
            for (size_t i = 0; i < k; ++i) d[m + i] = wchar_t(p[i]);
            m += k;
            p += k;
            if (p == se) break;
            wchar_t wc;
            int r = decode_char(p, size_t(e - p), &wc);
            if (r < 0) code_error();
            if (r == 0) break;  // the character continues in the next block
            if (wc) d[m++] = wc;
            p += r;
        }
        bool newline = nl && p == se;
        if (newline) {
            d[m++] = L'\n';
            ++p;
        }
        s->pos = size_t(p - s->buf);
        commit(d, m, want);
        if (newline) finish_line();
        else if (p < se && !ws_fill(s)) code_error();  // cut off by end of input
        return false;
    }
};

}  // namespace

Field* read_record(WStream* s, Area* text, Area* table_area) {
    area_align(alignof(Field), table_area);
    area_align(sizeof(wchar_t), text);
    RecordBuilder rb(text, table_area);
    area_push_pact(1, moved_field_pact, &rb.cur, nullptr, text);
    area_push_pact(0, table_relocation_pact, &rb.table, &rb.cur, text);
    area_push_pact(0, relocate_pair, &rb.table, nullptr, table_area);

    for (;;) {
        if (s->pos == s->len && !ws_fill(s)) {
            if (s->error) code_error();
            break;
        }
        if (ascii_compatible) {
            if (rb.take_segment(s)) break;
            continue;
        }
        wint_t c = ws_decode(s);
        if (c == WEOF) {
            if (s->error) code_error();
            break;
        }
        if (rb.take(wchar_t(c))) break;
    }
    if (rb.in_line) rb.end_line();  // a last line without its newline

    Field* result = nullptr;
    if (rb.nfields > 0) {
        wchar_t* z = static_cast<wchar_t*>(area_alloc(sizeof(wchar_t), text));
        *z = 0;
        Field* close = static_cast<Field*>(area_extend(sizeof(Field), &rb.table, table_area));
        close->start = close->value = nullptr;
        close->end = z;
        result = rb.table;
    }
    area_pop_pact(0, table_area);
    area_pop_pact(0, text);
    area_pop_pact(1, text);
    return result;
}

static void set_context(const Input* in) {
    input_name = in->name ? in->name : "(stdin)";
    input_number = in->number;
}

// Takes the next file argument as the input's stream; false when it can't be
// opened.
static bool take_file(Input* in, const char** failed) {
    const char* a = args[0];
    ++args;
    --nargs;
    if (std::strcmp(a, "-") == 0) {
        in->stream = ws_stdin();
        in->name = nullptr;
        return true;
    }
    in->stream = ws_open(a);
    in->name = a;
    *failed = a;
    return in->stream != nullptr;
}

void open_input(Input* in, int mode) {
    in->number = in->total = 0;
    in->name = nullptr;
    in->stream = nullptr;
    if (nargs > 0) {
        const char* failed = nullptr;
        if (!take_file(in, &failed)) warn(WARN_FATAL, "can't open %s.\n", failed);
    } else {
        in->stream = ws_stdin();
        mode = INPUT_ONE_FILE;
    }
    in->mode = mode;
    set_context(in);
}

void close_input(Input* in) {
    ws_close(in->stream);
    in->stream = nullptr;
    in->mode = INPUT_EXHAUSTED;
}

Field* next_record(Input* in, Area* text, Area* table_area) {
    while (in->stream) {
        ++in->number;
        ++in->total;
        set_context(in);
        if (Field* rec = read_record(in->stream, text, table_area)) return rec;
        --in->number;
        --in->total;
        ws_close(in->stream);
        in->stream = nullptr;
        if (in->mode == INPUT_ALL_FILES && nargs > 0) {
            const char* failed = nullptr;
            if (!take_file(in, &failed)) {
                warn(WARN_ERROR, "can't open %s.\n", failed);
                break;
            }
            in->number = 0;
        }
    }
    in->mode = INPUT_EXHAUSTED;
    return nullptr;
}
