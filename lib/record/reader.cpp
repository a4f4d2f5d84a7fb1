// The record reader: turns the file arguments into a stream of records whose
// text lives in one storage area and whose field table lives in another.
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "record.h"

namespace {

[[noreturn]] void code_error() {
    fatal("code error in Rk-file %s(%d), irrecoverable.\n", input_name, input_number);
}

// Widens the leading run of plain bytes (1..0x7F except the newline) of
// p[0..n) into d and returns its length. Up to 16 characters past the run
// may be stored in d, so d needs that much room beyond n. When *colon is
// negative and a colon stands inside the run, *colon is set to its index.
inline size_t widen_plain(const unsigned char* p, size_t n, wchar_t* d, ptrdiff_t* colon) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i nl = _mm_set1_epi8('\n');
    const __m128i co = _mm_set1_epi8(':');
    while (i + 16 <= n) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        unsigned special = unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, nl), _mm_cmpeq_epi8(v, zero)))) |
                           unsigned(_mm_movemask_epi8(v));
        __m128i lo = _mm_unpacklo_epi8(v, zero);
        __m128i hi = _mm_unpackhi_epi8(v, zero);
        __m128i* o = reinterpret_cast<__m128i*>(d + i);
        _mm_storeu_si128(o, _mm_unpacklo_epi16(lo, zero));
        _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(lo, zero));
        _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(hi, zero));
        _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(hi, zero));
        if (*colon < 0) {
            unsigned cm = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, co)));
            if (special) cm &= (special & (0u - special)) - 1;  // colons before the run's end
            if (cm) *colon = ptrdiff_t(i) + __builtin_ctz(cm);
        }
        if (special) return i + unsigned(__builtin_ctz(special));
        i += 16;
    }
#endif
    for (; i < n; ++i) {
        unsigned c = p[i];
        if (c - 1u >= 0x7Fu || c == '\n') break;
        if (c == ':' && *colon < 0) *colon = ptrdiff_t(i);
        d[i] = wchar_t(c);
    }
    return i;
}

#if defined(__SSE2__)
// Masks of a 64-byte block: newlines, colons, and bytes that need more than
// a copy (NUL and bytes of 0x80 and above).
struct BlockMasks {
    uint64_t newline, colon, special;
};

// Widens the 64 bytes at p into d and returns their masks.
inline BlockMasks widen_block(const unsigned char* p, wchar_t* d) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i nl = _mm_set1_epi8('\n');
    const __m128i co = _mm_set1_epi8(':');
    const __m128i one = _mm_set1_epi8(1);
    BlockMasks m{0, 0, 0};
    for (int k = 0; k < 4; ++k) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        int shift = 16 * k;
        m.newline |= uint64_t(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, nl)))) << shift;
        m.colon |= uint64_t(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, co)))) << shift;
        // Bytes below 1 as signed: NUL and everything from 0x80 up.
        m.special |= uint64_t(unsigned(_mm_movemask_epi8(_mm_cmplt_epi8(v, one)))) << shift;
        __m128i lo = _mm_unpacklo_epi8(v, zero);
        __m128i hi = _mm_unpackhi_epi8(v, zero);
        __m128i* o = reinterpret_cast<__m128i*>(d + 16 * k);
        _mm_storeu_si128(o, _mm_unpacklo_epi16(lo, zero));
        _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(lo, zero));
        _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(hi, zero));
        _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(hi, zero));
    }
    return m;
}
#endif

// State of one call of read_record. The record's text is built as one
// object in the text area (so that a move to the area's base carries every
// field along) and its table as one object in the table area.
struct RecordBuilder {
    static constexpr size_t CHUNK = 4096, SLACK = 24;
    static constexpr int32_t TRIPLES = 16;
    Area* text;
    Area* table_area;
    wchar_t* obj = nullptr;     // start of the record's text
    Field* table = nullptr;     // start of the table
    int32_t used = 0;           // triples in use, the open field's included
    int32_t reserved = 0;       // triples extended so far
    bool in_line = false;
    int nfields = 0;            // fields completed
    wchar_t* terminator = nullptr;  // the 0 after the text, once stored

    RecordBuilder(Area* t, Area* f) : text(t), table_area(f) {}

    Field* cur() { return table + (used - 1); }

    void open_field(wchar_t* at) {
        if (used == reserved) {
            area_extend(TRIPLES * sizeof(Field), &table, table_area);
            reserved += TRIPLES;
        }
        Field* f = table + used++;
        f->start = at;
        f->value = f->end = nullptr;
        in_line = true;
    }

    // The open field's newline was stored at nl.
    void finish_line(wchar_t* nl) {
        Field* f = cur();
        if (f->value == nullptr) f->value = f->start;
        f->end = nl;
        in_line = false;
        ++nfields;
    }

    wchar_t* reserve(size_t n) { return static_cast<wchar_t*>(area_extend(n * sizeof(wchar_t), &obj, text)); }

    // A last line that ended with the input.
    void end_line() {
        wchar_t* d = reserve(1);
        *d = L'\n';
        finish_line(d);
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
        wchar_t* d = reserve(1);
        *d = c;
        if (!in_line) open_field(d);
        if (c == L':' && cur()->value == nullptr) cur()->value = d + 1;
        return false;
    }

#if defined(__SSE2__)
    // Takes the plain bytes of the 64-byte block at p, widened to d, up to
    // the first byte that needs decoding: every line break among them is
    // handled from the masks, one byte to one character. Returns 0 when the
    // block starts with such a byte (nothing done), 1 when its plain prefix
    // was taken, 2 when an empty line inside it ended the record; *used is
    // set to the bytes taken.
    int take_block(const unsigned char* p, wchar_t* d, unsigned* used) {
        BlockMasks mk = widen_block(p, d);
        unsigned lim = mk.special ? unsigned(__builtin_ctzll(mk.special)) : 64;
        if (lim == 0) return 0;
        if (lim < 64) {
            uint64_t below = (1ULL << lim) - 1;
            mk.newline &= below;
            mk.colon &= below;
        }
        uint64_t nl = mk.newline;
        unsigned ls = 0;  // where the next line starts
        if (in_line) {    // the open line continues from before
            Field* f = cur();
            uint64_t upto = nl ? (nl & (0 - nl)) - 1 : ~0ULL;
            if (f->value == nullptr && (mk.colon & upto)) f->value = d + __builtin_ctzll(mk.colon & upto) + 1;
            if (nl == 0) {
                *used = lim;
                return 1;
            }
            unsigned j = unsigned(__builtin_ctzll(nl));
            nl &= nl - 1;
            finish_line(d + j);
            ls = j + 1;
        }
        // Lines that start in this block; the triples are filled through
        // local cursors, written back before anything can move the table.
        Field* next = table + this->used;
        Field* last = table + reserved;
        int done = nfields;
        int result = 1;
        *used = lim;
        while (ls < lim) {
            if (nl >> ls & 1) {  // an empty line
                if (done > 0) {
                    *used = ls + 1;
                    result = 2;
                    break;
                }
                nl &= nl - 1;
                ++ls;
                continue;
            }
            if (next == last) {
                this->used = int32_t(next - table);
                open_field(d + ls);
                next = table + this->used - 1;
                last = table + reserved;
                in_line = false;
            }
            Field* f = next++;
            uint64_t co = mk.colon & (~0ULL << ls);
            if (nl == 0) {  // the line goes on past the plain prefix
                f->start = d + ls;
                f->value = co ? d + __builtin_ctzll(co) + 1 : nullptr;
                f->end = nullptr;
                in_line = true;
                break;
            }
            unsigned j = unsigned(__builtin_ctzll(nl));
            nl &= nl - 1;
            co &= (1ULL << j) - 1;
            f->start = d + ls;
            f->value = co ? d + __builtin_ctzll(co) + 1 : d + ls;
            f->end = d + j;
            ++done;
            ls = j + 1;
        }
        this->used = int32_t(next - table);
        nfields = done;
        return result;
    }
#endif

    // Reads a chunk of the stream's buffered bytes; returns true when the
    // record ended.
    bool take_chunk(WStream* s) {
        const unsigned char* q = s->buf + s->pos;
        const unsigned char* e = s->buf + s->len;
        size_t window = size_t(e - q) < CHUNK ? size_t(e - q) : CHUNK;
        const unsigned char* pe = q + window;
        size_t want = window + SLACK;
        wchar_t* d = reserve(want);
        size_t m = 0;
        const unsigned char* p = q;
        bool ended = false, cut = false;
        while (p < pe) {
#if defined(__SSE2__)
            if (pe - p >= 64) {
                unsigned used;
                int r = take_block(p, d + m, &used);
                if (r == 2) {
                    m += used - 1;
                    p += used;
                    ended = true;
                    break;
                }
                if (r == 1) {
                    m += used;
                    p += used;
                    if (used == 64 || p == pe) continue;
                }
            }
#endif
            unsigned c = *p;
            if (c == 0) {  // NUL characters are dropped
                ++p;
                continue;
            }
            if (c >= 0x80) {
                wchar_t wc;
                int r = decode_char(p, size_t(e - p), &wc);
                if (r < 0) code_error();
                if (r == 0) {  // the character continues beyond the buffered bytes
                    cut = true;
                    break;
                }
                p += r;
                if (wc == 0) continue;
                if (!in_line) open_field(d + m);
                d[m] = wc;
                if (wc == L':' && cur()->value == nullptr) cur()->value = d + m + 1;
                ++m;
                continue;
            }
            if (!in_line) {
                if (c == '\n') {
                    ++p;
                    if (nfields > 0) {
                        ended = true;
                        break;
                    }
                    continue;
                }
                open_field(d + m);
            }
            Field* f = cur();
            ptrdiff_t colon = f->value ? 0 : -1;  // only the first colon of a line counts
            size_t k = widen_plain(p, size_t(pe - p), d + m, &colon);
            if (f->value == nullptr && colon >= 0) f->value = d + m + colon + 1;
            m += k;
            p += k;
            if (p < pe && *p == '\n') {
                d[m] = L'\n';
                finish_line(d + m);
                ++m;
                ++p;
            }
        }
        if (ended) {  // the record's closing 0 goes right after its text
            d[m] = 0;
            terminator = d + m++;
        }
        area_giveback((want - m) * sizeof(wchar_t), text);
        s->pos = size_t(p - s->buf);
        if (cut && !ws_fill(s)) code_error();  // cut off by the end of input
        return ended;
    }
};

// The record's text was moved to the base of the text area: shift every
// pointer into it by the distance of the move.
int moved_record_pact(void* builder, void*, Area* text) {
    RecordBuilder* rb = static_cast<RecordBuilder*>(builder);
    ptrdiff_t d = text->base - reinterpret_cast<char*>(rb->obj);
    auto shift = [d](wchar_t*& p) {
        if (p) p = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(p) + d);
    };
    for (Field* f = rb->table; f < rb->table + rb->used; ++f) {
        shift(f->start);
        shift(f->value);
        shift(f->end);
    }
    rb->obj = reinterpret_cast<wchar_t*>(text->base);
    return 0;
}

// The text area was resized: the record's text is the object under
// construction at the head, so it keeps its distance from the head, and
// every pointer into it (one past its end included) keeps its offset from
// the object's start. This holds for an object that is still empty, which
// a translation of its start alone would get wrong.
int text_relocation_pact(void* builder, void*, Area* text) {
    RecordBuilder* rb = static_cast<RecordBuilder*>(builder);
    wchar_t* old = rb->obj;
    if (old == nullptr || text->old_base == nullptr) return 0;
    rb->obj = reinterpret_cast<wchar_t*>(text->head - (text->old_head - reinterpret_cast<char*>(old)));
    auto move = [rb, old](wchar_t*& p) {
        if (p) p = rb->obj + (p - old);
    };
    for (Field* f = rb->table; f < rb->table + rb->used; ++f) {
        move(f->start);
        move(f->value);
        move(f->end);
    }
    return 0;
}

}  // namespace

Field* read_record(WStream* s, Area* text, Area* table_area) {
    area_align(alignof(Field), table_area);
    area_align(sizeof(wchar_t), text);
    RecordBuilder rb(text, table_area);
    area_push_pact(1, moved_record_pact, &rb, nullptr, text);
    area_push_pact(0, text_relocation_pact, &rb, nullptr, text);
    area_push_pact(0, relocate_pair, &rb.table, nullptr, table_area);

    for (;;) {
        if (s->pos == s->len && !ws_fill(s)) {
            if (s->error) code_error();
            break;
        }
        if (ascii_compatible) {
            if (rb.take_chunk(s)) break;
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
        wchar_t* z = rb.terminator;
        if (z == nullptr) {
            z = static_cast<wchar_t*>(area_alloc(sizeof(wchar_t), text));
            *z = 0;
        }
        if (rb.used == rb.reserved) {
            area_extend(sizeof(Field), &rb.table, table_area);
            ++rb.reserved;
        }
        area_giveback(size_t(rb.reserved - rb.used - 1) * sizeof(Field), table_area);
        Field* close = rb.table + rb.used;
        close->start = close->value = nullptr;
        close->end = z;
        result = rb.table;
    } else {
        area_giveback(size_t(rb.reserved) * sizeof(Field), table_area);
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
        if (!take_file(in, &failed)) fatal("can't open %s.\n", failed);
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
