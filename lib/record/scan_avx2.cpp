// The AVX2 kernel of the record reader. This unit is compiled for AVX2 and
// runs only when the processor has it; its one function calls nothing and
// clears the upper halves of the vector registers before it returns.
#include "scan.h"

static inline uint64_t mask64(__m256i a, __m256i b) {
    return uint64_t(uint32_t(_mm256_movemask_epi8(a))) | uint64_t(uint32_t(_mm256_movemask_epi8(b))) << 32;
}

BlockMasks widen_block_avx2(const unsigned char* p, wchar_t* d) {
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
