// Vector kernels of the text paths, one per instruction-set level; the
// level in use is chosen once at start. Internal to the libraries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>
#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "wtext.h"  // the level in use, simd_level

// Narrow the leading ASCII characters of text[0..k) into o and return how
// many there were.
size_t narrow_ascii_scalar(const wchar_t* text, size_t k, char* o);
size_t narrow_ascii_sse2(const wchar_t* text, size_t k, char* o);
// Compiled for AVX2 in a unit of its own that calls nothing outside it and
// leaves the upper halves of the vector registers clean on every return,
// so that the SSE code around it never pays for a state change.
size_t narrow_ascii_avx2(const wchar_t* text, size_t k, char* o);

// The masks of the blocks of 64 bytes at p, count of them (bit i for
// byte i of a block): newlines, colons, and NULs and bytes from 0x80 up, in
// masks[3 * k ..] for block k.
void byte_masks_avx2(const unsigned char* p, size_t count, uint64_t* masks);

// record_masks at AVX2.
RecordMasks record_masks_avx2(const unsigned char* p);

// find_bytes at AVX2 over the places hay[0..n), n at least 32.
const unsigned char* find_bytes_avx2(const unsigned char* hay, size_t n, const unsigned char* needle, size_t m);

// Whether a[0..n) and b[0..n) hold the same bytes, inline in every level.
static inline bool same_bytes(const unsigned char* a, const unsigned char* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

#if defined(__SSE2__)
// Short runs (fewer than sixteen characters, or a block's remainder) four
// at a time, the last four overlapping, then one by one. Inline, so that
// each level's kernel has its own copy in its own encoding.
static inline size_t narrow_short_sse2(const wchar_t* text, size_t k, char* o) {
    size_t i = 0;
    const __m128i high = _mm_set1_epi32(~0x7F);
    const __m128i zero = _mm_setzero_si128();
    while (i < k && k >= 4) {
        size_t at = i + 4 <= k ? i : k - 4;
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(a, high), zero)) != 0xFFFF) break;
        __m128i w16 = _mm_packs_epi32(a, a);
        int four = _mm_cvtsi128_si32(_mm_packus_epi16(w16, w16));
        __builtin_memcpy(o + at, &four, 4);
        i = at + 4;
    }
    while (i < k && static_cast<uint32_t>(text[i]) < 0x80) {
        o[i] = char(text[i]);
        ++i;
    }
    return i;
}
#endif
