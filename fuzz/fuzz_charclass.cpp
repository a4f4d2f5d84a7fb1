// Character classes: values of random characters (ASCII, any code point,
// values beyond the last) classified fresh and after a previous attribute;
// the kinds, numeric classes and recorded blocks must be those of a plain
// model, and every block lookup that of a search of the whole table.
#include <cstdlib>

#include "../tests/unit/charclass_model.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_start();
    static bool made = false;
    if (!made) {
        init_character_classes();
        made = true;
    }
    // A byte below 0x80 is that character; 0x80 and above start a code
    // point of the next three bytes (any 24-bit value, or a full 32-bit
    // one after 0xFF).
    std::wstring v;
    size_t i = 1;
    while (i < size) {
        uint8_t b = data[i++];
        if (b < 0x80) {
            v.push_back(wchar_t(b));
            continue;
        }
        uint32_t c = 0;
        int n = b == 0xFF ? 4 : 3;
        for (int k = 0; k < n && i < size; ++k) c = c << 8 | data[i++];
        if (b != 0xFF) c %= 0x110000 + 0x100;
        v.push_back(wchar_t(c));
    }
    int previous = size ? data[0] : 0;

    BlockSet set, want;
    block_set_clear(&set);
    block_set_clear(&want);
    int got = classify_value(0, v.data(), unsigned(v.size()), &set);
    int kinds = 0;
    bool ascii_only = true;
    for (wchar_t c : v) {
        uint32_t u = uint32_t(c);
        int row = block_of(c);
        if (row != linear_block(u)) std::abort();
        if (u < 128) {
            kinds |= ATTR_ASCII;
        } else {
            kinds |= ATTR_NON_ASCII;
            ascii_only = false;
            if (row >= 0) want.words[row >> 5] |= 1u << (row & 31);
        }
        if (!iswprint(wint_t(u))) kinds |= ATTR_UNPRINTABLE;
    }
    if ((got & ATTR_KINDS) != kinds) std::abort();
    if (std::memcmp(&set, &want, sizeof set) != 0) std::abort();
    if (!ascii_only && (got & ATTR_NUMERIC)) std::abort();
    if (ascii_only && !binary_prefix(v) && (got & ATTR_NUMERIC) != reference(v)) std::abort();
    // After a previous attribute: its kinds stay, its classes bound.
    int after = classify_value(previous, v.data(), unsigned(v.size()), nullptr);
    if ((after & ATTR_KINDS) != ((previous | got) & ATTR_KINDS)) std::abort();
    int bound = previous ? previous & ATTR_NUMERIC : ATTR_NUMERIC;
    if (!binary_prefix(v) && (after & ATTR_NUMERIC) != (got & ATTR_NUMERIC & bound)) std::abort();
    if (merge_attributes(previous, got) != merge_attributes(got, previous)) std::abort();
    if (attribute_name(got) == nullptr) std::abort();
    return 0;
}
