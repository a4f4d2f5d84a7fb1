// A plain model of the character classes for the tests and the fuzz
// target: the numeric classes as the C library's conversions give them on a
// terminated copy of the value, and blocks by a search of the whole table.
#pragma once

#include <cwchar>
#include <cwctype>
#include <string>

#include "charclass.h"

// The classes the C library's conversions give a terminated copy of the
// value, for what the class table leaves.
inline int reference(const std::wstring& v) {
    int candidates = v.size() > 30 ? 0 : ATTR_NUMERIC;
    for (wchar_t c : v) {
        int t = c == L' ' || (c >= 9 && c <= 13) ? 0x1F : c == L'+' || c == L'-' ? 0x1C : iswdigit(c) ? 0x1E
              : c == L'e' || c == L'E' ? 0x18 : iswxdigit(c) || c == L'x' || c == L'X' ? 0x10 : c == L'.' ? 0x08 : 0;
        candidates &= t;
    }
    auto passes = [&](wchar_t* end) {
        for (; *end; ++end)
            if (!iswspace(*end)) return false;
        return true;
    };
    wchar_t* end;
    if (candidates & 0x02 && (wcstol(v.c_str(), &end, 10), !passes(end))) candidates &= ~0x02;
    if (candidates & 0x10 && (wcstol(v.c_str(), &end, 0), !passes(end))) candidates &= ~0x10;
    if (candidates & 0x04 && (wcstol(v.c_str(), &end, 10), !passes(end))) candidates &= ~0x04;
    if (candidates & 0x08 && (wcstod(v.c_str(), &end), !passes(end))) candidates &= ~0x08;
    return candidates;
}

// Newer C libraries also read a binary 0b prefix in base 0, which is no
// class here: such values are left out of the comparison.
inline bool binary_prefix(const std::wstring& v) {
    size_t i = v.find_first_not_of(L" \t\n\v\f\r+-");
    return i != std::wstring::npos && i + 1 < v.size() && v[i] == L'0' && (v[i + 1] | 0x20) == L'b';
}

inline int linear_block(uint32_t c) {
    for (int row = 0; row < block_count; ++row)
        if (block_table[row].first <= c && c <= block_table[row].last) return row;
    return -1;
}
