// Records taken as the bytes of the input: a record whose text would be
// written back exactly as it was read (every character decodes and encodes
// to its own bytes, no NUL to drop, no carriage-return line to note) needs
// neither the wide text nor the field table, so its bytes are found in the
// stream's buffer and handed over as they stand.
#include <cstring>

#include "record.h"

namespace {

// The masks of block k of the stream's buffer (bytes 64k .. 64k+63; bits
// past the buffered bytes clear). The last block made is kept: the next
// record usually starts in the block where the one before ended.
RecordMasks block_masks(const WStream* s, size_t k) {
    static struct {
        uint64_t stamp;
        size_t block;
        RecordMasks m;
    } kept = {0, 0, {0, 0}};
    if (kept.stamp == s->stamp && kept.block == k) return kept.m;
    const unsigned char* p = s->buf + 64 * k;
    size_t n = s->len - 64 * k;
    if (n >= 64) {
        kept.m = record_masks(p);
    } else {
        unsigned char tail[64];
        std::memset(tail, 'x', sizeof tail);
        std::memcpy(tail, p, n);
        kept.m = record_masks(tail);
    }
    kept.stamp = s->stamp, kept.block = k;
    return kept.m;
}

// Where a record's text ends, and whether it can stand for the record.
struct Scan {
    size_t end;  // the empty line's newline, or 0 when not buffered yet
    bool plain;  // false when a byte does not pass (see passes)
};

// Whether the byte at buf[i], one the masks single out, starts a character
// that is written back as these same bytes (and is no line of only a
// carriage return, before the stream's note on such lines was given);
// *next is set past it. The record starts at buf[from].
bool passes(const WStream* s, size_t from, size_t i, size_t* next) {
    const unsigned char* p = s->buf;
    *next = i + 1;
    if (p[i] == '\r')
        return s->told_cr || !(i + 1 < s->len && p[i + 1] == '\n' && (i == from || p[i - 1] == '\n'));
    if (p[i] == 0 || !utf8_locale) return false;
    wchar_t wc;
    int r = decode_char(p + i, s->len - i, &wc);
    if (r <= 0 || wc == 0) return false;
    *next = i + size_t(r);
    return true;
}

// Scans the record that starts at buf[from] (no newline there) for the
// empty line that ends it, or to the end of the buffered bytes. Stops at
// the first byte that does not pass.
Scan scan_record(const WStream* s, size_t from) {
    Scan r{0, true};
    uint64_t carry = 0;  // the last byte of the block before was a newline
    size_t skip = from;  // bytes before it belong to a character checked
    for (size_t k = from / 64; 64 * k < s->len; ++k) {
        RecordMasks m = block_masks(s, k);
        if (k == from / 64) {
            uint64_t live = ~0ULL << (from % 64);
            m.newline &= live;
            m.look &= live;
        }
        uint64_t ends = m.newline & (m.newline << 1 | carry);  // second newlines of pairs
        carry = m.newline >> 63;
        uint64_t before = ends ? (ends & (0 - ends)) - 1 : ~0ULL;
        for (uint64_t look = m.look & before; look; look &= look - 1) {
            size_t i = 64 * k + size_t(__builtin_ctzll(look));
            if (i < skip) continue;
            if (!passes(s, from, i, &skip)) {
                r.plain = false;
                return r;
            }
        }
        if (ends) {
            r.end = 64 * k + size_t(__builtin_ctzll(ends));
            return r;
        }
    }
    return r;
}

enum Take { TAKE_BYTES, TAKE_WIDE, TAKE_ENDED };
// Takes the next record of s as its bytes when they can stand for it (see
// read_record_bytes): TAKE_BYTES with *bytes set and the stream past the
// record; TAKE_WIDE when the record must be read character by character
// (nothing of it consumed); TAKE_ENDED when the stream holds no more
// fields. Empty lines before the record are consumed in every case.
Take take_bytes(WStream* s, RecordBytes* bytes) {
    for (;;) {
        while (s->pos < s->len && s->buf[s->pos] == '\n') ++s->pos;  // empty lines before it
        if (s->pos == s->len) {
            if (ws_fill(s)) continue;
            return s->error ? TAKE_WIDE : TAKE_ENDED;
        }
        Scan r = scan_record(s, s->pos);
        if (!r.plain) return TAKE_WIDE;
        size_t next = r.end + 1;
        if (r.end == 0) {
            // No empty line among the buffered bytes: more are read unless
            // the input ended (the last record) or the record fills the
            // buffer (a long record goes to the wide reader).
            if (!s->eof && s->len - s->pos < s->cap) {
                if (ws_fill(s) || s->eof) continue;
                return TAKE_WIDE;
            }
            if (!s->eof || s->error || s->buf[s->len - 1] != '\n') return TAKE_WIDE;
            r.end = next = s->len;
        }
        bytes->text = s->buf + s->pos;
        bytes->length = r.end - s->pos;
        s->pos = next;
        return TAKE_BYTES;
    }
}

}  // namespace

Field* read_record_bytes(WStream* s, RecordBytes* bytes, Area* text, Area* table) {
    bytes->text = nullptr;
    if (!ascii_compatible) return read_record(s, text, table);
    if (take_bytes(s, bytes) == TAKE_WIDE) return read_record(s, text, table);
    return nullptr;  // the bytes, or the end of the stream
}

void write_record_bytes(const RecordBytes* bytes) {
    out_bytes(reinterpret_cast<const char*>(bytes->text), bytes->length);
    out_putwc(L'\n');
}
