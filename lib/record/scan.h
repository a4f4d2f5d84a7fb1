// The record reader's block kernels. Internal to the library.
#pragma once

#include <cstdint>
#include <cwchar>

#include "simd.h"

// Masks of a 64-byte block: newlines, colons, and bytes that need more than
// a copy (NUL and bytes of 0x80 and above).
struct BlockMasks {
    uint64_t newline, colon, special;
};

// Widens the 64 bytes at p into d and returns their masks. Compiled for
// AVX2 in a unit of its own that calls nothing outside it and leaves the
// upper halves of the vector registers clean when it returns.
BlockMasks widen_block_avx2(const unsigned char* p, wchar_t* d);
