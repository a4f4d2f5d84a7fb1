// Character classes: names of values, merging, the number checks against
// the C library's own conversions, and block lookups against a plain
// search of the table.
#include "charclass.h"

#include <random>

#include "charclass_model.h"
#include "output.h"
#include "simd.h"
#include "unit_util.h"

namespace {

struct Classes : testing::Test {
    void SetUp() override {
        start();
        init_character_classes();
    }
};

int classify(const std::wstring& v, int previous = 0, BlockSet* blocks = nullptr) {
    return classify_value(previous, v.data(), unsigned(v.size()), blocks);
}

TEST_F(Classes, NamesOfValues) {
    struct Row {
        const wchar_t* value;
        const char* name;
    } rows[] = {
        {L"123", "Int"}, {L"-12", "Int-"}, {L"+5", "Int-"}, {L"0x1F", "Hex"}, {L"-0X1f", "Hex"},
        {L"1.5", "Num"}, {L"1e5", "Num"}, {L"5.", "Num"}, {L".5", "Num"}, {L"-1.5E-3", "Num"},
        {L" 12 ", "Int"}, {L"\t12", "Int"}, {L"", "Spc"}, {L" \t\n", "Spc"}, {L"abc", "Asc"},
        {L"0x", "Asc"}, {L"1e", "Asc"}, {L"e5", "Asc"}, {L".", "Asc"}, {L"1,5", "Asc"},
        {L"1 2", "Asc"}, {L"09", "?"}, {L"0777", "Int"}, {L"ab\x01", "Asc+NPrt"}, {L"\x01", "Asc+NPrt"},
        {L"é", "NAsc"}, {L"aé", "AscNAsc"}, {L"é\x85", "NAsc+NPrt"}, {L"aé\x85", "AscNAsc+NPrt"},
        {L"\x7f", "Asc+NPrt"}, {L"123456789012345678901234567890", "Int"},
        {L"1234567890123456789012345678901", "Asc"}, {L"99999999999999999999", "Int"},
        {L"12\r", "Int"}, {L"\v1.5\f", "Num"}, {L"\r\n", "Spc"},
    };
    for (const Row& r : rows) EXPECT_STREQ(attribute_name(classify(r.value)), r.name) << "value '" << testing::PrintToString(std::wstring(r.value)) << "'";
    // A tab is white space to the numbers but not printable.
    EXPECT_EQ(classify(L"\t12"), ATTR_UNPRINTABLE | ATTR_ASCII | 0x1E);
    // What came before bounds the classes and keeps its kinds.
    EXPECT_STREQ(attribute_name(classify(L"1.5", classify(L"12"))), "Num");
    EXPECT_STREQ(attribute_name(classify(L"12", classify(L"abc"))), "Asc");
    EXPECT_STREQ(attribute_name(classify(L" ", classify(L"12"))), "Int");
    EXPECT_STREQ(attribute_name(classify(L"12", classify(L"é"))), "AscNAsc");
}

TEST_F(Classes, MergingAndNames) {
    int i = classify(L"1"), n = classify(L"1.5"), h = classify(L"0x1"), s = classify(L" "), a = classify(L"é");
    struct Row {
        int a, b;
        const char* name;
    } rows[] = {{i, n, "Num"}, {i, h, "Hex"}, {n, h, "Asc"}, {s, i, "Int"}, {0, n, "Num"}, {h, 0, "Hex"},
                {i, a, "AscNAsc"}, {0x5E, 0x5E, "NAsc"}, {0x5E, 0x3E, "Int"}, {0, 0, ""}};
    for (const Row& r : rows) {
        EXPECT_STREQ(attribute_name(merge_attributes(r.a, r.b)), r.name) << r.a << " " << r.b;
        EXPECT_EQ(merge_attributes(r.a, r.b), merge_attributes(r.b, r.a));
    }
    // Every combination of numeric bits has the name of its shape.
    for (int bits = 2; bits < 0x20; bits += 2) {
        const char* want = bits == 0x08 ? "Num" : bits == 0x10 ? "Hex" : bits == 0x1C ? "Int-" : bits == 0x1E ? "Int" : "?";
        EXPECT_STREQ(attribute_name(bits | ATTR_ASCII), want) << bits;
    }
}

TEST_F(Classes, ChecksReadAsTheLibraryConversions) {
    std::mt19937 rng(20);
    const std::wstring alphabet = L"0123456789012345+-.eExX afAF\t\n\v\f\r09.e-";
    int compared = 0;
    for (int n = 0; n < 60000; ++n) {
        std::wstring v;
        int length = int(rng() % 12);
        if (n % 50 == 0) length = 28 + int(rng() % 5);
        for (int k = 0; k < length; ++k) v += alphabet[rng() % alphabet.size()];
        if (binary_prefix(v)) continue;
        ++compared;
        ASSERT_EQ(classify(v) & ATTR_NUMERIC, reference(v)) << "value '" << testing::PrintToString(v) << "'";
    }
    EXPECT_GT(compared, 50000);
}

TEST_F(Classes, BlocksAtEveryEdgeAndGap) {
    ASSERT_EQ(block_count, 125);
    EXPECT_STREQ(block_table[124].name, "Supplementary Private Use Area-B");
    EXPECT_EQ(block_table[125].name, nullptr);
    std::vector<uint32_t> points = {0x800, 0x1D80, 0x2C00, 0x1A00, 0x1F600, 0x10FFFF, 0x110000, 0x7FFFFFFF, 0xFFFFFFFF};
    for (int row = 0; row < block_count; ++row)
        for (uint32_t d : {0u, 1u})
            for (uint32_t p : {block_table[row].first - d, block_table[row].first + d, block_table[row].last - d, block_table[row].last + d})
                points.push_back(p);
    std::mt19937 rng(21);
    for (int n = 0; n < 20000; ++n) points.push_back(n % 3 ? rng() % 0x30000 : rng() % 0x110000);
    // In order, reversed and shuffled, so that the cache is tried in every state.
    for (int pass = 0; pass < 3; ++pass) {
        if (pass == 1) std::reverse(points.begin(), points.end());
        if (pass == 2) std::shuffle(points.begin(), points.end(), rng);
        for (uint32_t p : points) ASSERT_EQ(block_of(wchar_t(p)), linear_block(p)) << std::hex << p;
    }
}

// The kinds by each character's own test, and the classes by the C
// library, on values mixing runs of printable ASCII with controls, wide
// characters and number-like text, at every vector level up to the
// processor's.
TEST_F(Classes, KindsOfMixedValuesAtEveryLevel) {
    std::mt19937 rng(22);
    const std::wstring alphabet = L"abcxyz XYZ~!09.e-+\t\x01\x7f\u00e9\u4e00\u0085\u00a0";
    const int best = simd_level;
    for (int level = SIMD_SCALAR; level <= best; ++level) {
        simd_level = level;
        for (int n = 0; n < 20000; ++n) {
            std::wstring v;
            int length = int(rng() % 40);
            for (int k = 0; k < length; ++k) {
                wchar_t c = alphabet[rng() % alphabet.size()];
                v.append(rng() % 4 ? 1 : 1 + rng() % 9, c);  // runs as well as single characters
            }
            int kinds = 0;
            for (wchar_t c : v) kinds |= (c < 128 ? ATTR_ASCII : ATTR_NON_ASCII) | (iswprint(wint_t(c)) ? 0 : ATTR_UNPRINTABLE);
            int got = classify(v);
            ASSERT_EQ(got & ATTR_KINDS, kinds) << "level " << level << " value '" << testing::PrintToString(v) << "'";
            if (!binary_prefix(v) && !(kinds & ATTR_NON_ASCII)) {
                ASSERT_EQ(got & ATTR_NUMERIC, reference(v)) << testing::PrintToString(v);
            }
        }
    }
    simd_level = best;
}

std::string printed;
long capture(const char* bytes, size_t n) {
    printed.append(bytes, n);
    return long(n);
}

TEST_F(Classes, BlocksOfAValueArePrintedInTableOrder) {
    BlockSet set;
    block_set_clear(&set);
    EXPECT_STREQ(attribute_name(classify(L"a\u4e00\u00e9\u0800\u00e8\U0001D400", 0, &set)), "AscNAsc");
    printed.clear();
    out_redirect(capture);
    print_blocks("NAsc", &set);
    out_flush();
    out_redirect(nullptr);
    EXPECT_EQ(printed, "NAsc:Latin-1 Supplement\nNAsc:CJK Unified Ideographs\nNAsc:Mathematical Alphanumeric Symbols\n");
}

}  // namespace
