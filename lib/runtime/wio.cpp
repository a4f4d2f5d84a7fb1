// Wide-character input and output in the locale's multibyte encoding.
//
// Input is read in large blocks and decoded character by character as it is
// consumed; output is encoded into one buffer written in large blocks. Both
// use the C library's conversion for every character outside the ASCII range,
// and a direct byte copy inside it once the locale is known to encode ASCII as
// itself, so the text is exactly what the library's wide streams would give.
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <langinfo.h>
#include <sys/stat.h>
#if defined(__SSE2__)
#include <immintrin.h>
#endif
#include <unistd.h>

#include "internal.h"
#include "runtime.h"
#include "simd.h"

bool ascii_compatible = false;
uint64_t ws_bytes_read = 0;

// The best level the processor runs, lowered by RK_SIMD=scalar|sse2|avx2
// (a level the processor lacks is not taken).
static int detect_simd_level() {
    int best = SIMD_SCALAR;
#if defined(__x86_64__)
    best = SIMD_SSE2;
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) best = SIMD_AVX2;
#endif
    const char* want = std::getenv("RK_SIMD");
    int level = best;
    if (want && std::strcmp(want, "scalar") == 0) level = SIMD_SCALAR;
    else if (want && std::strcmp(want, "sse2") == 0) level = SIMD_SSE2;
    else if (want && std::strcmp(want, "avx2") == 0) level = SIMD_AVX2;
    return level < best ? level : best;
}
int simd_level = detect_simd_level();
bool utf8_locale = false;

void detect_ascii_compatible() {
    const char* cs = nl_langinfo(CODESET);
    utf8_locale = cs && std::strcmp(cs, "UTF-8") == 0;
    bool ok = true;
    for (int b = 1; b < 0x80 && ok; ++b) {
        char in = char(b);
        wchar_t wc = 0;
        mbstate_t st{};
        if (std::mbrtowc(&wc, &in, 1, &st) != 1 || wc != wchar_t(b)) ok = false;
        char out[MB_LEN_MAX];
        st = mbstate_t{};
        if (std::wcrtomb(out, wchar_t(b), &st) != 1 || out[0] != in) ok = false;
    }
    ascii_compatible = ok;
    // The UTF-8 shortcuts below must agree with the library: check a sample.
    if (utf8_locale) {
        const char sample[] = "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";
        const wchar_t expect[] = {0xE9, 0x20AC, 0x1F600};
        mbstate_t st{};
        const char* p = sample;
        for (wchar_t want : expect) {
            wchar_t wc = 0;
            size_t r = std::mbrtowc(&wc, p, 4, &st);
            if (r == size_t(-1) || r == size_t(-2) || wc != want) utf8_locale = false;
            else p += r;
        }
        if (!ascii_compatible) utf8_locale = false;
    }
}

// Well-formed UTF-8 of the scalar values U+0080..U+10FFFF; everything else
// is left to the library.
int wtext_detail::decode_char_full(const unsigned char* p, size_t n, wchar_t* wc) {
    unsigned c = p[0];
    if (c < 0x80 && ascii_compatible) {
        *wc = wchar_t(c);
        return 1;
    }
    if (utf8_locale) {
        if (c >= 0xC2 && c < 0xE0 && n >= 2 && (p[1] & 0xC0) == 0x80) {
            *wc = wchar_t(((c & 0x1F) << 6) | (p[1] & 0x3F));
            return 2;
        }
        if (c >= 0xE0 && c < 0xF0 && n >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
            unsigned v = ((c & 0x0F) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3F);
            if (v >= 0x800 && (v < 0xD800 || v > 0xDFFF)) {
                *wc = wchar_t(v);
                return 3;
            }
        }
        if (c >= 0xF0 && c < 0xF5 && n >= 4 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80 &&
            (p[3] & 0xC0) == 0x80) {
            unsigned v = ((c & 0x07) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3F);
            if (v >= 0x10000 && v <= 0x10FFFF) {
                *wc = wchar_t(v);
                return 4;
            }
        }
    }
    mbstate_t st{};
    size_t r = std::mbrtowc(wc, reinterpret_cast<const char*>(p), n, &st);
    if (r == size_t(-2)) return 0;
    if (r == size_t(-1)) return -1;
    return r == 0 ? 1 : int(r);
}

int encode_char(wchar_t c, char* out) {
    uint32_t v = uint32_t(c);
    if (v < 0x80 && ascii_compatible) {
        out[0] = char(v);
        return 1;
    }
    if (utf8_locale) {
        if (v < 0x800) {
            out[0] = char(0xC0 | (v >> 6));
            out[1] = char(0x80 | (v & 0x3F));
            return 2;
        }
        if (v < 0x10000 && (v < 0xD800 || v > 0xDFFF)) {
            out[0] = char(0xE0 | (v >> 12));
            out[1] = char(0x80 | ((v >> 6) & 0x3F));
            out[2] = char(0x80 | (v & 0x3F));
            return 3;
        }
        if (v >= 0x10000 && v <= 0x10FFFF) {
            out[0] = char(0xF0 | (v >> 18));
            out[1] = char(0x80 | ((v >> 12) & 0x3F));
            out[2] = char(0x80 | ((v >> 6) & 0x3F));
            out[3] = char(0x80 | (v & 0x3F));
            return 4;
        }
    }
    mbstate_t st{};
    size_t r = std::wcrtomb(out, c, &st);
    return r == size_t(-1) ? -1 : int(r);
}

// ---------------------------------------------------------------------------
// Input

enum { WS_BUFSIZE = 1 << 16 };

static uint64_t stamps = 0;

static WStream* ws_make(int fd) {
    WStream* s = static_cast<WStream*>(std::malloc(sizeof(WStream)));
    unsigned char* buf = static_cast<unsigned char*>(std::malloc(size_t(WS_BUFSIZE) + WS_SLACK));
    if (s == nullptr || buf == nullptr) fatal("can't allocate necessary memory!\n");
    s->fd = fd;
    s->eof = s->error = s->bad = false;
    s->told_cr = false;
    s->buf = buf;
    s->pos = s->len = 0;
    s->cap = WS_BUFSIZE;
    s->stamp = ++stamps;
    struct stat st;
    s->may_block = fd >= 0 && (fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)));
    return s;
}

WStream* ws_open(const char* path) {
    // Opening may wait too (a named pipe without a writer).
    out_flush_checked();
    int fd;
    do fd = open(path, O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    // A directory opens, but holds no text to read.
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd);
        errno = EISDIR;
        return nullptr;
    }
    return ws_make(fd);
}

WStream* ws_stdin() { return ws_make(0); }

WStream* ws_fd(int fd) { return ws_make(fd); }

WStream* ws_memory(const void* data, size_t n) {
    WStream* s = ws_make(-1);
    if (n > s->cap) {
        unsigned char* buf = static_cast<unsigned char*>(std::realloc(s->buf, n + WS_SLACK));
        if (buf == nullptr) fatal("can't allocate necessary memory!\n");
        s->buf = buf;
        s->cap = n;
    }
    std::memcpy(s->buf, data, n);
    s->len = n;
    s->eof = true;  // nothing more to read
    return s;
}

void ws_close(WStream* s) {
    if (s == nullptr) return;
    // Standard input stays open so that "-" can be named again.
    if (s->fd > 0) close(s->fd);
    std::free(s->buf);
    std::free(s);
}

bool ws_fill(WStream* s) {
    if (s->eof || s->error) return false;
    s->stamp = ++stamps;
    if (s->pos > 0) {
        std::memmove(s->buf, s->buf + s->pos, s->len - s->pos);
        s->len -= s->pos;
        s->pos = 0;
    }
    if (s->may_block) out_flush_checked();
    for (;;) {
        ssize_t r = read(s->fd, s->buf + s->len, s->cap - s->len);
        if (r > 0) {
            s->len += size_t(r);
            ws_bytes_read += uint64_t(r);
            return true;
        }
        if (r == 0) {
            s->eof = true;
            return false;
        }
        if (errno != EINTR) {
            s->error = true;
            return false;
        }
    }
}

bool ws_fill_grow(WStream* s) {
    if (s->pos == 0 && s->len == s->cap) {
        s->buf = static_cast<unsigned char*>(checked_realloc(s->buf, s->cap * 2 + WS_SLACK));
        s->cap *= 2;
    }
    return ws_fill(s);
}

#if !defined(__x86_64__)
void byte_masks_avx2(const unsigned char*, size_t, uint64_t*) {}  // never called: no such level
RecordMasks record_masks_avx2(const unsigned char*) { return RecordMasks{0, 0}; }
const unsigned char* find_bytes_avx2(const unsigned char*, size_t, const unsigned char*, size_t) { return nullptr; }
#endif

// The high bit of each byte of the result set where the byte of x is b
// (and nowhere else, unlike the quicker test that marks bytes after one).
static inline uint64_t bytes_equal(uint64_t x, unsigned char b) {
    const uint64_t low7 = 0x7F7F7F7F7F7F7F7FULL;
    uint64_t y = x ^ (0x0101010101010101ULL * b);  // zero where equal
    return ~(((y & low7) + low7) | y | low7);
}

// The high bits of the eight bytes of h, byte k's as bit k.
static inline uint64_t high_bits(uint64_t h) { return ((h >> 7) * 0x0102040810204080ULL) >> 56; }

// The scalar masks of a block of 64 bytes, eight bytes at a time in a word:
// the high bit of each byte of fn(word) marks that byte.
template <typename Fn>
static uint64_t word_masks(const unsigned char* p, Fn fn) {
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "a word's first byte is its lowest");
    uint64_t m = 0;
    for (int k = 0; k < 8; ++k) {
        uint64_t x;
        std::memcpy(&x, p + 8 * k, 8);
        m |= high_bits(fn(x)) << (8 * k);
    }
    return m;
}

// Bytes from 0x80 up, and NUL.
static inline uint64_t special_bytes(uint64_t x) { return bytes_equal(x, 0) | (x & 0x8080808080808080ULL); }

static ByteMasks byte_masks_scalar(const unsigned char* p) {
    return ByteMasks{word_masks(p, [](uint64_t x) { return bytes_equal(x, '\n'); }),
                     word_masks(p, [](uint64_t x) { return bytes_equal(x, ':'); }), word_masks(p, special_bytes)};
}

#if defined(__SSE2__)
static ByteMasks byte_masks_sse2(const unsigned char* p) {
    const __m128i nl = _mm_set1_epi8('\n'), co = _mm_set1_epi8(':'), one = _mm_set1_epi8(1);
    uint64_t newline[4], colon[4], special[4];
    for (int k = 0; k < 4; ++k) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        newline[k] = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, nl)));
        colon[k] = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, co)));
        // Bytes below 1 as signed: NUL and everything from 0x80 up.
        special[k] = unsigned(_mm_movemask_epi8(_mm_cmplt_epi8(v, one)));
    }
    auto join = [](const uint64_t* m) { return m[0] | m[1] << 16 | m[2] << 32 | m[3] << 48; };
    return ByteMasks{join(newline), join(colon), join(special)};
}
#endif

void byte_masks(const unsigned char* p, size_t n, ByteMasks* masks) {
    size_t whole = n / 64;
    static_assert(sizeof(ByteMasks) == 3 * sizeof(uint64_t), "masks in threes");
    if (simd_level == SIMD_AVX2) byte_masks_avx2(p, whole, reinterpret_cast<uint64_t*>(masks));
#if defined(__SSE2__)
    else if (simd_level == SIMD_SSE2)
        for (size_t k = 0; k < whole; ++k) masks[k] = byte_masks_sse2(p + 64 * k);
#endif
    else
        for (size_t k = 0; k < whole; ++k) masks[k] = byte_masks_scalar(p + 64 * k);
    if (n % 64 == 0) return;
    // The last, short block through the same kernels, from a copy filled
    // out with a byte that none of the masks marks.
    unsigned char tail[64];
    std::memset(tail, 'x', sizeof tail);
    std::memcpy(tail, p + 64 * whole, n % 64);
    byte_masks(tail, 64, masks + whole);
}

RecordMasks record_masks(const unsigned char* p) {
    if (simd_level == SIMD_AVX2) return record_masks_avx2(p);
    RecordMasks m{0, 0};
#if defined(__SSE2__)
    if (simd_level == SIMD_SSE2) {
        const __m128i nl = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'), one = _mm_set1_epi8(1);
        for (int k = 0; k < 4; ++k) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
            m.newline |= uint64_t(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, nl)))) << (16 * k);
            __m128i look = _mm_or_si128(_mm_cmplt_epi8(v, one), _mm_cmpeq_epi8(v, cr));
            m.look |= uint64_t(unsigned(_mm_movemask_epi8(look))) << (16 * k);
        }
        return m;
    }
#endif
    m.newline = word_masks(p, [](uint64_t x) { return bytes_equal(x, '\n'); });
    m.look = word_masks(p, [](uint64_t x) { return special_bytes(x) | bytes_equal(x, '\r'); });
    return m;
}

wchar_t* widen_known(const unsigned char* p, size_t n, size_t* count) {
    static wchar_t* text = nullptr;
    static size_t room = 0;
    wchar_t* t = grow_table(text, room, n + 1);
    size_t i = 0, k = 0;
    if (ascii_compatible)
        for (; i < n && p[i] < 0x80; ++i) t[i] = wchar_t(p[i]);
    for (k = i; i < n; ++k) i += size_t(decode_char(p + i, n - i, &t[k]));
    t[k] = 0;
    *count = k;
    return t;
}

const unsigned char* find_bytes(const unsigned char* hay, size_t n, const unsigned char* needle, size_t m) {
    if (m > n) return nullptr;
    size_t places = n - m + 1;  // where the needle may start
    if (simd_level == SIMD_AVX2 && places >= 32) return find_bytes_avx2(hay, places, needle, m);
#if defined(__SSE2__)
    if (simd_level >= SIMD_SSE2 && places >= 16) {
        const __m128i first = _mm_set1_epi8(char(needle[0])), last = _mm_set1_epi8(char(needle[m - 1]));
        for (size_t i = 0;; i += 16) {
            if (i + 16 > places) i = places - 16;  // the last 16, over some already looked at
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + m - 1));
            unsigned both = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
            for (; both; both &= both - 1)
                if (same_bytes(hay + i + __builtin_ctz(both) + 1, needle + 1, m - 1)) return hay + i + __builtin_ctz(both);
            if (i + 16 == places) return nullptr;
        }
    }
#endif
    for (size_t i = 0;; ++i) {  // by the first byte
        const void* at = std::memchr(hay + i, needle[0], places - i);
        if (at == nullptr) return nullptr;
        i = size_t(static_cast<const unsigned char*>(at) - hay);
        if (same_bytes(hay + i + 1, needle + 1, m - 1)) return hay + i;
    }
}

void ws_skip_byte_order_mark(WStream* s) {
    static const unsigned char mark[] = {0xEF, 0xBB, 0xBF};
    for (;;) {  // no more bytes are waited for than tell the mark apart
        size_t n = s->len - s->pos;
        if (n > 0 && std::memcmp(s->buf + s->pos, mark, n < 3 ? n : 3) != 0) return;
        if (n >= 3) {
            s->pos += 3;
            return;
        }
        if (!ws_fill(s)) return;
    }
}

wint_t ws_decode(WStream* s) {
    for (;;) {
        if (s->pos == s->len && !ws_fill(s)) return WEOF;
        wchar_t wc;
        int r = decode_char(s->buf + s->pos, s->len - s->pos, &wc);
        if (r == 0) {  // incomplete: more bytes are needed
            if (s->len - s->pos >= s->cap || !ws_fill(s)) {
                if (!s->error) s->bad = true;
                s->error = true;
                return WEOF;
            }
            continue;
        }
        if (r < 0) {
            s->error = s->bad = true;
            return WEOF;
        }
        s->pos += size_t(r);
        return wint_t(wc);
    }
}

bool ws_resync(WStream* s) {
    if (!s->bad) return false;
    s->bad = s->error = false;
    if (s->pos < s->len) ++s->pos;
    return true;
}

wint_t ws_getwc(WStream* s) {
    if (s->pos < s->len && ascii_compatible && s->buf[s->pos] < 0x80) return s->buf[s->pos++];
    return ws_decode(s);
}

// ---------------------------------------------------------------------------
// Output

char out_detail::buf[out_detail::BUFSIZE];
size_t out_detail::len = 0;
size_t out_detail::mark = 0;
// Shorter names for this file.
static constexpr size_t OUT_BUFSIZE = out_detail::BUFSIZE;
static char* const out_buf = out_detail::buf;
static size_t& out_len = out_detail::len;
static size_t& out_mark_at = out_detail::mark;

static long (*out_writer)(const char*, size_t) = nullptr;

void out_redirect(long (*writer)(const char* bytes, size_t n)) { out_writer = writer; }

// The units (see output.h). The buffer always starts at the start of a
// unit, or right after the part of it held aside: `aside` holds the start
// of a unit larger than the buffer, whose end is still to come.
static OutUnits out_kind = OUT_RECORDS;
static char* aside = nullptr;
static size_t aside_len = 0, aside_cap = 0;
// No unit ends in the buffer (the one held aside goes on).
static constexpr size_t NO_END = ~size_t(0);

void out_units(OutUnits kind) { out_kind = kind; }

// Writes n bytes, counting them in *sent; false on a write error (errno
// set).
static bool out_send(const char* bytes, size_t n, size_t* sent) {
    size_t done = 0;
    while (done < n) {
        ssize_t r = out_writer ? out_writer(bytes + done, n - done) : write(1, bytes + done, n - done);
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += size_t(r);
        *sent += size_t(r);
    }
    return true;
}

// After a write error (a full disk, a file size limit) part of what a call
// wrote may have reached a regular file: the file is cut back to where the
// call began, which is the end of a whole unit. errno is kept for the
// message.
static void out_take_back(size_t sent) {
    int saved = errno;
    struct stat st;
    off_t at = sent > 0 && !out_writer && fstat(1, &st) == 0 && S_ISREG(st.st_mode) ? lseek(1, 0, SEEK_CUR) : -1;
    if (at >= off_t(sent) && ftruncate(1, at - off_t(sent)) == 0) lseek(1, at - off_t(sent), SEEK_SET);
    errno = saved;
}

// Writes what is held aside, then n bytes of the buffer, as one whole.
static bool out_send_whole(size_t n) {
    size_t sent = 0;
    bool ok = out_send(aside, aside_len, &sent) && out_send(out_buf, n, &sent);
    if (!ok) out_take_back(sent);
    return ok;
}

// Where the last record in the buffer ends (after its empty line), or
// NO_END. The byte before the buffer is the last one held aside.
static size_t last_record_end() {
    size_t n = out_len;
    while (const void* at = n > 0 ? memrchr(out_buf, '\n', n) : nullptr) {
        size_t i = size_t(static_cast<const char*>(at) - out_buf);
        char before = i > 0 ? out_buf[i - 1] : aside_len > 0 ? aside[aside_len - 1] : 0;
        if (before == '\n') return i + 1;
        n = i;
    }
    return NO_END;
}

static size_t last_unit_end() { return out_kind == OUT_MARKED ? out_mark_at : last_record_end(); }

// Writes what is held aside and the buffer up to `end`, the end of a unit;
// the rest moves to the front. On a write error everything is dropped.
static bool out_send_units(size_t end) {
    bool ok = out_send_whole(end);
    aside_len = 0;
    if (!ok) end = out_len;
    std::memmove(out_buf, out_buf + end, out_len - end);
    out_len -= end;
    out_mark_at = 0;
    return ok;
}

// Moves the buffer, all of it the unit in progress, to the end of `aside`.
static void out_set_aside() {
    if (aside_len + out_len > aside_cap) {
        size_t cap = aside_cap ? aside_cap : OUT_BUFSIZE;
        while (cap < aside_len + out_len) cap *= 2;
        aside = static_cast<char*>(checked_realloc(aside, cap));
        aside_cap = cap;
    }
    std::memcpy(aside + aside_len, out_buf, out_len);
    aside_len += out_len;
    out_len = 0;
    out_mark_at = NO_END;
}

bool out_flush() {
    bool ok = out_send_whole(out_len);
    aside_len = out_len = out_mark_at = 0;
    return ok;
}

bool out_flush_units() {
    size_t end = last_unit_end();
    if (end == NO_END || (end == 0 && aside_len == 0)) return true;
    return out_send_units(end);
}

void out_flush_checked() {
    if (!out_flush_units()) output_error();
}

// Room for n more bytes in the buffer: the whole units go out, and when the
// unit in progress leaves too little room it is set aside.
[[gnu::noinline]] static void out_make_room(size_t n) {
    if (!out_flush_units()) output_error();
    if (out_len + n > OUT_BUFSIZE) out_set_aside();
}

static inline void out_room(size_t n) {
    if (out_len + n > OUT_BUFSIZE) out_make_room(n);
}

[[gnu::noinline]] void out_detail::bytes_slow(const char* bytes, size_t n) {
    while (n > 0) {
        out_room(1);
        size_t k = OUT_BUFSIZE - out_len;
        if (k > n) k = n;
        std::memcpy(out_buf + out_len, bytes, k);
        out_len += k;
        bytes += k;
        n -= k;
    }
}

void out_str(const char* text) { out_bytes(text, std::strlen(text)); }

void out_int(long v) {
    char buf[24];
    if (v >= 0 && v < 10) {
        out_putwc(wchar_t('0' + v));
        return;
    }
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out_bytes(buf, size_t(r.ptr - buf));
}

// Characters without a form in the locale's encoding are left out.
static inline void encode_slow(wchar_t c) {
    out_room(MB_LEN_MAX);
    int r = encode_char(c, out_buf + out_len);
    if (r > 0) out_len += size_t(r);
}

// Narrows the leading ASCII characters of text[0..k) into o; returns how
// many there were.
size_t narrow_ascii_scalar(const wchar_t* text, size_t k, char* o) {
    size_t i = 0;
    while (i < k && static_cast<uint32_t>(text[i]) < 0x80) {
        o[i] = char(text[i]);
        ++i;
    }
    return i;
}

#if defined(__SSE2__)
// The same sixteen at a time. A block is narrowed whole and then only its
// ASCII prefix kept; the last block of a run overlaps characters already
// taken, which give the same bytes again.
size_t narrow_ascii_sse2(const wchar_t* text, size_t k, char* o) {
    size_t i = 0;
    const __m128i high = _mm_set1_epi32(~0x7F);
    const __m128i zero = _mm_setzero_si128();
    while (i < k && k >= 16) {
        size_t at = i + 16 <= k ? i : k - 16;
        const __m128i* w = reinterpret_cast<const __m128i*>(text + at);
        __m128i a = _mm_loadu_si128(w), b = _mm_loadu_si128(w + 1);
        __m128i c = _mm_loadu_si128(w + 2), d = _mm_loadu_si128(w + 3);
        __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + at), bytes);
        __m128i any = _mm_and_si128(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)), high);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(any, zero)) != 0xFFFF) {
            __m128i ok = _mm_packs_epi16(
                _mm_packs_epi32(_mm_cmpeq_epi32(_mm_and_si128(a, high), zero),
                                _mm_cmpeq_epi32(_mm_and_si128(b, high), zero)),
                _mm_packs_epi32(_mm_cmpeq_epi32(_mm_and_si128(c, high), zero),
                                _mm_cmpeq_epi32(_mm_and_si128(d, high), zero)));
            return at + unsigned(__builtin_ctz(~unsigned(_mm_movemask_epi8(ok))));
        }
        i = at + 16;
    }
    return i + narrow_short_sse2(text + i, k - i, o + i);
}
#else
size_t narrow_ascii_sse2(const wchar_t* text, size_t k, char* o) { return narrow_ascii_scalar(text, k, o); }
#endif

#if !defined(__x86_64__)
size_t narrow_ascii_avx2(const wchar_t* text, size_t k, char* o) { return narrow_ascii_sse2(text, k, o); }
#endif

// The leading ASCII characters of text[0..k) narrowed into o, at the level
// in use; returns how many there were.
static inline size_t narrow_ascii(const wchar_t* text, size_t k, char* o) {
    return simd_level == SIMD_AVX2   ? narrow_ascii_avx2(text, k, o)
           : simd_level == SIMD_SSE2 ? narrow_ascii_sse2(text, k, o)
                                     : narrow_ascii_scalar(text, k, o);
}

// encode_text, inline here so that the output encoder's common case costs
// no call.
[[gnu::always_inline]] static inline size_t encode_into(const wchar_t* text, size_t n, char* out, size_t cap,
                                                        size_t* taken) {
    size_t i = 0, o = 0;
    while (i < n) {
        if (ascii_compatible) {
            // A run of ASCII straight into the buffer.
            size_t k = n - i < cap - o ? n - i : cap - o;
            size_t a = narrow_ascii(text + i, k, out + o);
            i += a;
            o += a;
            if (a == k) {
                if (o == cap) break;
                continue;
            }
        }
        if (cap - o < MB_LEN_MAX) break;
        int r = encode_char(text[i++], out + o);
        if (r > 0) o += size_t(r);
    }
    *taken = i;
    return o;
}

size_t encode_text(const wchar_t* text, size_t n, char* out, size_t cap, size_t* taken) {
    return encode_into(text, n, out, cap, taken);
}

// What out_write's short case leaves: the narrowing of longer texts, then
// the encoder.
[[gnu::noinline]] static void out_write_rest(const wchar_t* text, size_t n) {
    if (ascii_compatible && n <= OUT_BUFSIZE - out_len) {
        size_t a = narrow_ascii(text, n, out_buf + out_len);
        out_len += a;
        text += a;
        n -= a;
    }
    while (n > 0) {
        if (out_len == OUT_BUFSIZE) out_room(1);
        size_t taken;
        out_len += encode_into(text, n, out_buf + out_len, OUT_BUFSIZE - out_len, &taken);
        if (taken == 0) out_room(MB_LEN_MAX);  // a character needs more room than is left
        text += taken;
        n -= taken;
    }
}

void out_write(const wchar_t* text, size_t n) {
    // Most writes are short ASCII text that fits the buffer (names, small
    // values): narrowed here, without the vector kernels.
    if (ascii_compatible && n <= 16 && n <= OUT_BUFSIZE - out_len) {
        char* o = out_buf + out_len;
        size_t i = 0;
        for (; i < n && uint32_t(text[i]) < 0x80; ++i) o[i] = char(text[i]);
        out_len += i;
        if (i == n) return;
        text += i;
        n -= i;
    }
    out_write_rest(text, n);
}

// What out_write_until's quick loop leaves (a character beyond ASCII, a
// full buffer): the stop found first, then the text written.
[[gnu::noinline]] static size_t out_write_until_rest(const wchar_t* text, size_t n, wchar_t stop) {
    const wchar_t* at = std::wmemchr(text, stop, n);
    size_t end = at ? size_t(at - text) : n;
    out_write(text, end);
    return end;
}

size_t out_write_until(const wchar_t* text, size_t n, wchar_t stop) {
    size_t k = 0;
    if (ascii_compatible) {
        // ASCII characters go into the buffer as they are met.
        size_t limit = n < OUT_BUFSIZE - out_len ? n : OUT_BUFSIZE - out_len;
        char* o = out_buf + out_len;
#if defined(__SSE2__)
        // Four at a time while all four are ASCII and none is the stop.
        const __m128i stops = _mm_set1_epi32(int(stop)), high = _mm_set1_epi32(~0x7F), zero = _mm_setzero_si128();
        // The four bytes are stored in any case (the buffer has room for
        // them); only those before a stop or a character beyond ASCII
        // count.
        for (; k + 4 <= limit; k += 4) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + k));
            __m128i ascii = _mm_cmpeq_epi32(_mm_and_si128(a, high), zero);
            unsigned good = unsigned(_mm_movemask_epi8(_mm_andnot_si128(_mm_cmpeq_epi32(a, stops), ascii)));
            __m128i w16 = _mm_packs_epi32(a, a);
            int four = _mm_cvtsi128_si32(_mm_packus_epi16(w16, w16));
            __builtin_memcpy(o + k, &four, 4);
            if (good != 0xFFFF) {
                k += unsigned(__builtin_ctz(~good)) / 4;
                break;
            }
        }
#endif
        for (; k < limit; ++k) {
            wchar_t c = text[k];
            if (c == stop || uint32_t(c) >= 0x80) break;
            o[k] = char(c);
        }
        out_len += k;
        if (k == n || text[k] == stop) return k;
    }
    return k + out_write_until_rest(text + k, n - k, stop);
}

void out_putws(const wchar_t* text) { out_write(text, std::wcslen(text)); }

void out_detail::putwc_slow(wchar_t c) {
    if (ascii_compatible && static_cast<uint32_t>(c) < 0x80) {
        out_room(1);
        out_buf[out_len++] = char(c);
    } else {
        encode_slow(c);
    }
}

void out_printf(const char* format, ...) {
    char buf[256];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    if (n < 0) return;
    if (size_t(n) < sizeof buf) {
        out_bytes(buf, size_t(n));
        return;
    }
    char* big = static_cast<char*>(std::malloc(size_t(n) + 1));
    if (big == nullptr) fatal("can't allocate necessary memory!\n");
    va_start(ap, format);
    std::vsnprintf(big, size_t(n) + 1, format, ap);
    va_end(ap);
    out_bytes(big, size_t(n));
    std::free(big);
}
