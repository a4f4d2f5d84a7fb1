// The record reader: turns the file arguments into a stream of records whose
// text lives in one storage area and whose field table lives in another.
#include <cstdint>
#include <cstring>

#include <sys/stat.h>

#include "fieldlist.h"
#include "record.h"
#include "simd.h"

namespace {

// `at` is the first byte that did not decode, or null for a read error.
[[noreturn]] void code_error(const unsigned char* at) {
    fatal_code_error(at, "code error in Rk-file %s(%d), irrecoverable.\n", input_name, input_number);
}

// Masks of a 64-byte block: newlines, colons, and bytes that need more than
// a copy (NUL and bytes of 0x80 and above).
struct BlockMasks {
    uint64_t newline, colon, special;
};

// Widens the leading run of plain bytes (1..0x7F except the newline) of
// p[0..n) into d and returns its length. Up to 16 characters past the run
// may be stored in d, so d needs that much room beyond n. When *colon is
// negative and a colon stands inside the run, *colon is set to its index.
template <int L>
inline size_t widen_plain(const unsigned char* p, size_t n, wchar_t* d, ptrdiff_t* colon) {
    size_t i = 0;
#if defined(__SSE2__)
    if constexpr (L >= SIMD_SSE2) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i nl = _mm_set1_epi8('\n');
        const __m128i co = _mm_set1_epi8(':');
        while (i + 16 <= n) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            unsigned special =
                unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, nl), _mm_cmpeq_epi8(v, zero)))) |
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

// Widens the 64 bytes at p into d and returns their masks, at level L.
template <int L>
inline BlockMasks widen_block(const unsigned char* p, wchar_t* d) {
#if defined(__SSE2__)
    if constexpr (L >= SIMD_SSE2) {
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
    // One byte at a time, up to the first byte that needs decoding: the
    // scanner uses nothing of a block beyond it.
    BlockMasks m{0, 0, 0};
    for (int i = 0; i < 64; ++i) {
        unsigned c = p[i];
        if (c == 0 || c >= 0x80) {
            m.special = uint64_t(1) << i;
            break;
        }
        m.newline |= uint64_t(c == '\n') << i;
        m.colon |= uint64_t(c == ':') << i;
        d[i] = wchar_t(c);
    }
    return m;
}

// A line that holds only a carriage return is an empty line of a file with
// CR LF line ends, whose records therefore run together: said once for each
// stream.
[[gnu::noinline, gnu::cold]] void tell_cr_line_ends(WStream* s) {
    if (s->told_cr) return;
    warn(WARN_NOTE,
         "a line holds only a carriage return in %s(%d): the file has CR LF line ends, so its records run "
         "together; convert it with tr -d '\\r' or dos2unix.\n",
         input_name, input_number);
    s->told_cr = true;
}

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
            // Several triples at a time while the area has room for them,
            // one at a time near its end, so that it fills up completely.
            int32_t n = int32_t(area_room(table_area) / sizeof(Field));
            n = n < 1 ? 1 : n > TRIPLES ? TRIPLES : n;
            area_extend(size_t(n) * sizeof(Field), &table, table_area);
            reserved += n;
        }
        Field* f = table + used++;
        f->start = at;
        f->value = f->end = nullptr;
        in_line = true;
    }

    // The open field's newline was stored at nl. Lines that hold only a
    // carriage return (the empty lines of a file with CR LF line ends) are
    // looked for only among the lines without a colon, so that the scanners
    // pay next to nothing for them.
    void finish_line(wchar_t* nl, WStream* s) {
        Field* f = cur();
        if (f->value == nullptr) {
            f->value = f->start;
            if (nl - f->start == 1 && *f->start == L'\r') tell_cr_line_ends(s);
        }
        f->end = nl;
        in_line = false;
        ++nfields;
    }

    wchar_t* reserve(size_t n) { return static_cast<wchar_t*>(area_extend(n * sizeof(wchar_t), &obj, text)); }

    // A last line that ended with the input.
    void end_line(WStream* s) {
        wchar_t* d = reserve(1);
        *d = L'\n';
        finish_line(d, s);
    }

    // Takes one decoded character; returns true when it ends the record.
    bool take(wchar_t c, WStream* s) {
        if (c == 0) return false;
        if (c == L'\n') {
            if (in_line) {
                end_line(s);
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

    // Chunk scanners, one per instruction-set level (scan.inc).
    template <int L>
    int take_block(const unsigned char* p, wchar_t* d, unsigned* used, WStream* s);
    template <int L>
    bool take_chunk(WStream* s);
    int take_block_avx2(const unsigned char* p, wchar_t* d, unsigned* used, WStream* s);
    bool take_chunk_avx2(WStream* s);
};

// The record's text was moved to the base of the text area: shift every
// pointer into it by the distance of the move.
int moved_record_pact(void* builder, void*, Area* text) {
    RecordBuilder* rb = static_cast<RecordBuilder*>(builder);
    ptrdiff_t d = text->base - reinterpret_cast<char*>(rb->obj);
    for_each_field_pointer(rb->table, rb->table + rb->used,
                           [d](wchar_t*& p) { p = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(p) + d); });
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
    for_each_field_pointer(rb->table, rb->table + rb->used, [rb, old](wchar_t*& p) { p = rb->obj + (p - old); });
    return 0;
}

#include "scan.inc"

#if defined(__x86_64__)
// The AVX2 copy of the scanner. Only what stands in this region is compiled
// for AVX2; the inline functions of the headers, defined above it, keep the
// default encoding wherever a copy of them is made. The 256-bit registers
// are used in widen_block_avx2 alone, which clears their upper halves
// before it returns, so the upper state is clean whenever the scanner calls
// out of the region.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

inline uint64_t mask64(__m256i a, __m256i b) {
    return uint64_t(uint32_t(_mm256_movemask_epi8(a))) | uint64_t(uint32_t(_mm256_movemask_epi8(b))) << 32;
}

inline BlockMasks widen_block_avx2(const unsigned char* p, wchar_t* d) {
    const __m256i nl = _mm256_set1_epi8('\n');
    const __m256i co = _mm256_set1_epi8(':');
    const __m256i one = _mm256_set1_epi8(1);
    __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    BlockMasks m;
    m.newline = mask64(_mm256_cmpeq_epi8(lo, nl), _mm256_cmpeq_epi8(hi, nl));
    m.colon = mask64(_mm256_cmpeq_epi8(lo, co), _mm256_cmpeq_epi8(hi, co));
    // Bytes below 1 as signed: NUL and everything from 0x80 up.
    m.special = mask64(_mm256_cmpgt_epi8(one, lo), _mm256_cmpgt_epi8(one, hi));
    for (int k = 0; k < 8; ++k) {
        __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 8 * k));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 8 * k), _mm256_cvtepu8_epi32(eight));
    }
    _mm256_zeroupper();
    return m;
}

#define SCAN_AVX2
#include "scan.inc"
#undef SCAN_AVX2

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#else
bool RecordBuilder::take_chunk_avx2(WStream* s) { return take_chunk<SIMD_SSE2>(s); }
#endif

}  // namespace

void relocate_record(Field* rec, Area* text) {
    // area_relocate leaves null alone: a plain loop over every triple.
    for (Field* f = rec;; ++f) {
        area_relocate_cell(&f->start, text);
        area_relocate_cell(&f->value, text);
        area_relocate_cell(&f->end, text);
        if (f->start == nullptr) return;
    }
}

Field* read_record(WStream* s, Area* text, Area* table_area) {
    area_align(alignof(Field), table_area);
    area_align(sizeof(wchar_t), text);
    RecordBuilder rb(text, table_area);
    PactScope moved(1, moved_record_pact, &rb, nullptr, text);
    PactScope resized(0, text_relocation_pact, &rb, nullptr, text);
    Relocated<Field> table(&rb.table, table_area);

    for (;;) {
        if (s->pos == s->len && !ws_fill(s)) {
            if (s->error) code_error(ws_bad_byte(s));
            break;
        }
        // Blocks need some room beyond what they store; near the end of the
        // text area the characters go in one at a time, filling it up.
        if (ascii_compatible && area_room(text) >= (64 + RecordBuilder::SLACK) * sizeof(wchar_t)) {
            bool ended = simd_level == SIMD_AVX2   ? rb.take_chunk_avx2(s)
                         : simd_level == SIMD_SSE2 ? rb.take_chunk<SIMD_SSE2>(s)
                                                   : rb.take_chunk<SIMD_SCALAR>(s);
            if (ended) break;
            continue;
        }
        wint_t c = ws_decode(s);
        if (c == WEOF) {
            if (s->error) code_error(ws_bad_byte(s));
            break;
        }
        if (rb.take(wchar_t(c), s)) break;
    }
    if (rb.in_line) rb.end_line(s);  // a last line without its newline

    Field* result = nullptr;
    if (rb.nfields > 0) {
        wchar_t* z = rb.terminator;
        if (z == nullptr) {  // part of the text object, so the text stays contiguous
            z = rb.reserve(1);
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
    return result;
}

Field* widen_record(const RecordBytes* bytes, Area* text, Area* table_area) {
    WStream s{};
    s.fd = -1;
    s.eof = true;
    s.told_cr = true;  // its lines were looked at when it was taken
    s.buf = const_cast<unsigned char*>(bytes->text);
    s.len = s.cap = bytes->length;
    return read_record(&s, text, table_area);
}

static void set_context(const Input* in) {
    input_name = in->name ? in->name : "(stdin)";
    input_number = in->number;
}

// An input file starts past a byte-order mark, as a file written on
// another system may begin with one: left there, it would become part of
// the first field's name.
static WStream* start_stream(WStream* s) {
    if (s) ws_skip_byte_order_mark(s);
    return s;
}

// Takes the next file argument as the input's stream; false when it can't be
// opened.
static bool take_file(Input* in, const char** failed) {
    const char* a = args[0];
    ++args;
    --nargs;
    if (std::strcmp(a, "-") == 0) {
        in->stream = start_stream(ws_stdin());
        in->name = nullptr;
        return true;
    }
    in->stream = start_stream(ws_open(a));
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
        if (!take_file(in, &failed)) warn_errno(WARN_FATAL, failed, "can't open %s.\n", failed);
    } else {
        in->stream = start_stream(ws_stdin());
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

bool input_rereadable(const Input* in) {
    struct stat st;
    return in->stream && in->name && fstat(in->stream->fd, &st) == 0 && S_ISREG(st.st_mode);
}

bool reread_input(Input* in) {
    ws_close(in->stream);
    in->number = 0;
    in->stream = start_stream(ws_open(in->name));
    in->mode = in->stream ? INPUT_ONE_FILE : INPUT_EXHAUSTED;
    set_context(in);
    if (!in->stream) {
        warn_errno(WARN_ERROR, in->name, "can't open %s.\n", in->name);
        return false;
    }
    in->stream->told_cr = true;
    return true;
}

// The next record of the input through read(stream): a record, or null
// with *given set when the reader handed the record over some other way,
// or null at the end of the stream.
template <typename Read>
static Field* next_of_input(Input* in, Read read) {
    while (in->stream) {
        ++in->number;
        ++in->total;
        set_context(in);
        bool given = false;
        if (Field* rec = read(in->stream, &given)) {
            watch_record(rec);
            return rec;
        }
        if (given) return nullptr;
        --in->number;
        --in->total;
        ws_close(in->stream);
        in->stream = nullptr;
        if (in->mode == INPUT_ALL_FILES && nargs > 0) {
            const char* failed = nullptr;
            if (!take_file(in, &failed)) {
                warn_errno(WARN_ERROR, failed, "can't open %s.\n", failed);
                break;
            }
            in->number = 0;
        }
    }
    in->mode = INPUT_EXHAUSTED;
    return nullptr;
}

Field* next_record(Input* in, Area* text, Area* table_area) {
    return next_of_input(in, [text, table_area](WStream* s, bool*) { return read_record(s, text, table_area); });
}

Field* next_record_bytes(Input* in, RecordBytes* bytes, Area* text, Area* table_area) {
    bytes->text = nullptr;
    if (watch_pending) return next_record(in, text, table_area);  // names are looked for in the fields
    return next_of_input(in, [bytes, text, table_area](WStream* s, bool* given) {
        Field* rec = read_record_bytes(s, bytes, text, table_area);
        *given = bytes->text != nullptr;
        return rec;
    });
}
