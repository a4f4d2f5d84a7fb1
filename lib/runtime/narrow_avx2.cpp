// The AVX2 kernels of the output encoder and of the line masks. This unit
// is compiled for AVX2 and
// runs only when the processor has it; it calls nothing outside itself, and
// every return clears the upper halves of the vector registers.
#include "simd.h"

namespace {

// Bit i set when lane i of v holds an ASCII character.
inline unsigned ascii_lanes(__m256i v, __m256i high) {
    __m256i zero = _mm256_setzero_si256();
    return unsigned(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_and_si256(v, high), zero))));
}

}  // namespace

// Thirty-two characters at a time, as narrow_ascii_sse2 does sixteen.
size_t narrow_ascii_avx2(const wchar_t* text, size_t k, char* o) {
    size_t i = 0;
    const __m256i high = _mm256_set1_epi32(~0x7F);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    while (i < k && k >= 32) {
        size_t at = i + 32 <= k ? i : k - 32;
        const __m256i* w = reinterpret_cast<const __m256i*>(text + at);
        __m256i a = _mm256_loadu_si256(w), b = _mm256_loadu_si256(w + 1);
        __m256i c = _mm256_loadu_si256(w + 2), d = _mm256_loadu_si256(w + 3);
        __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(a, b), _mm256_packs_epi32(c, d));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + at), _mm256_permutevar8x32_epi32(bytes, order));
        __m256i any = _mm256_and_si256(_mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d)), high);
        if (!_mm256_testz_si256(any, any)) {
            unsigned m = ascii_lanes(a, high) | ascii_lanes(b, high) << 8 | ascii_lanes(c, high) << 16 |
                         ascii_lanes(d, high) << 24;
            _mm256_zeroupper();
            return at + unsigned(__builtin_ctz(~m));
        }
        i = at + 32;
    }
    _mm256_zeroupper();
    return i + narrow_short_sse2(text + i, k - i, o + i);
}

void byte_masks_avx2(const unsigned char* p, size_t count, uint64_t* masks) {
    const __m256i nl = _mm256_set1_epi8('\n'), co = _mm256_set1_epi8(':'), one = _mm256_set1_epi8(1);
    auto mask = [](__m256i a, __m256i b) {
        return uint64_t(uint32_t(_mm256_movemask_epi8(a))) | uint64_t(uint32_t(_mm256_movemask_epi8(b))) << 32;
    };
    for (size_t k = 0; k < count; ++k, p += 64, masks += 3) {
        const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
        masks[0] = mask(_mm256_cmpeq_epi8(lo, nl), _mm256_cmpeq_epi8(hi, nl));
        masks[1] = mask(_mm256_cmpeq_epi8(lo, co), _mm256_cmpeq_epi8(hi, co));
        // Bytes below 1 as signed: NUL and everything from 0x80 up.
        masks[2] = mask(_mm256_cmpgt_epi8(one, lo), _mm256_cmpgt_epi8(one, hi));
    }
    _mm256_zeroupper();
}

RecordMasks record_masks_avx2(const unsigned char* p) {
    const __m256i nl = _mm256_set1_epi8('\n'), cr = _mm256_set1_epi8('\r'), one = _mm256_set1_epi8(1);
    const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    auto look = [&](__m256i v) { return _mm256_or_si256(_mm256_cmpgt_epi8(one, v), _mm256_cmpeq_epi8(v, cr)); };
    RecordMasks m;
    m.newline = uint64_t(uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(lo, nl)))) |
                uint64_t(uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(hi, nl)))) << 32;
    m.look = uint64_t(uint32_t(_mm256_movemask_epi8(look(lo)))) | uint64_t(uint32_t(_mm256_movemask_epi8(look(hi)))) << 32;
    _mm256_zeroupper();
    return m;
}

const unsigned char* find_bytes_avx2(const unsigned char* hay, size_t n, const unsigned char* needle, size_t m) {
    const __m256i first = _mm256_set1_epi8(char(needle[0])), last = _mm256_set1_epi8(char(needle[m - 1]));
    for (size_t i = 0;; i += 32) {
        if (i + 32 > n) i = n - 32;  // the last 32 places, over some already looked at
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(hay + i));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(hay + i + m - 1));
        unsigned both = unsigned(_mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, last))));
        for (; both; both &= both - 1) {
            const unsigned char* at = hay + i + unsigned(__builtin_ctz(both));
            if (same_bytes(at + 1, needle + 1, m - 1)) {
                _mm256_zeroupper();
                return at;
            }
        }
        if (i + 32 == n) break;
    }
    _mm256_zeroupper();
    return nullptr;
}
