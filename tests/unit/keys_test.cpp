// Field lists and keys: parsing and matching lists, entries inserted and
// relocated as their area grows, keys under every flag and their order,
// exclusive key lists growing with the records, printed keys, flag errors.
#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <tuple>

#include "keys.h"
#include "keytree.h"
#include "unit_util.h"

using namespace std::string_literals;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// "[name](new name)" per entry, the new name only when there is one; marks
// an entry whose name is not followed by its colon and new name.
static std::wstring show(const FieldListEntry* e) {
    std::wstring r;
    for (; e; e = e->next) {
        r += (r.empty() ? L"[" : L" [") + std::wstring(e->name, e->length - 1) + L']';
        if (e->name[e->length - 1] != L':' || e->new_name != e->name + e->length) r += L"!colon";
        if (e->new_name_end) r += L'(' + std::wstring(e->new_name, e->new_name_end) + L')';
        if (e->new_name_end && *e->new_name_end) r += L"!end";
    }
    return r;
}

// The active chain, after "^" when the list is exclusive.
static std::wstring parsed(const char* text) {
    FieldList l;
    Area* area = new_area(1024);
    field_list_parse(text, &l, area);
    const FieldListEntry* other = l.inclusive ? l.excluded : l.included;
    return (l.inclusive ? L"" : L"^") + show(l.inclusive ? l.included : l.excluded) + (other ? L" +other" : L"") +
           (area->pacts[0].used ? L" +pact" : L"");
}

TEST(FieldList, Parsing) {
    start();
    EXPECT_EQ(parsed("a,b c"), L"[a] [b] [c]");
    EXPECT_EQ(parsed("a , b"), L"[a] [b]");
    EXPECT_EQ(parsed(" \ta\n,b ,\tc ,"), L"[a] [b] [c]");
    EXPECT_EQ(parsed(""), L"");
    EXPECT_EQ(parsed("a,,b"), L"[a] [] [b]");
    EXPECT_EQ(parsed(",a"), L"[] [a]");
    EXPECT_EQ(parsed("a:x a: :x"), L"[a](x) [a]() [](x)");
    EXPECT_EQ(parsed("a:x:y b:z,c"), L"[a](x:y) [b](z) [c]");
    EXPECT_EQ(parsed("^a,b"), L"^[a] [b]");
    EXPECT_EQ(parsed("^"), L"^");
    EXPECT_EQ(parsed("a^b,^c"), L"[a^b] [^c]");
    // Only a caret, white space and a comma lose their backslash.
    EXPECT_EQ(parsed(R"(\^a)"), L"[^a]");
    EXPECT_EQ(parsed(R"(a\,b,c)"), L"[a,b] [c]");
    EXPECT_EQ(parsed("a\\ b\\\tc d"), L"[a b\tc] [d]");
    EXPECT_EQ(parsed(R"(a\:b)"), LR"([a\:b])");
    EXPECT_EQ(parsed(R"(a\\b \\,x\)"), LR"([a\\b] [\\] [x\])");  // the comma after \\ separates
    EXPECT_EQ(parsed(R"(^\^a:\^b\ c,d\,e:f\,g,h)"), L"^[^a](^b c) [d,e](f,g) [h]");

    // Text that is not valid UTF-8: a counted error, an empty inclusive list.
    FieldList l;
    Area* area = new_area(1024);
    CaptureStderr();
    field_list_parse("^a,\xff", &l, area);
    EXPECT_EQ(GetCapturedStderr(), "rt: code error in the field-list argument.\n");
    EXPECT_EQ(error_count, 1);
    EXPECT_TRUE(l.inclusive == 1 && l.included == nullptr && l.excluded == nullptr);
    EXPECT_EQ(area->pacts[0].used, 0);
}

// "result@position entry" of matching a field's name (its colon included,
// as a field's value - start) against the list; the entry as name:new name.
static std::wstring match(const FieldList& l, const wchar_t* name, size_t length) {
    FieldListEntry* e = nullptr;
    int pos = -1;
    int r = field_list_match(&l, name, length, &e, &pos);
    EXPECT_EQ(field_list_match(&l, name, length, nullptr, nullptr), r);
    std::wstring entry = e ? std::wstring(e->name, e->length) : L"-";
    if (e && e->new_name_end) entry += std::wstring(e->new_name, e->new_name_end);
    return std::to_wstring(r) + L"@" + std::to_wstring(pos) + L" " + entry;
}

TEST(FieldList, Matching) {
    start();
    FieldList l, x;
    field_list_parse("a:x,b,a:y,:e", &l, new_area(1024));
    EXPECT_EQ(match(l, L"a:1", 2), L"1@1 a:x");  // the first of the two
    EXPECT_EQ(match(l, L"b:1", 2), L"1@2 b:");
    EXPECT_EQ(match(l, L":1", 1), L"1@4 :e");  // the empty name
    // Nothing matched, also for a field without a name: the last entry and the count.
    EXPECT_EQ(match(l, L"ab:", 3), L"0@4 :e");
    EXPECT_EQ(match(l, L"bb:", 3), L"0@4 :e");
    EXPECT_EQ(match(l, L"a:", 0), L"0@4 :e");
    field_list_parse("^a,b", &x, new_area(1024));
    EXPECT_EQ(match(x, L"b:", 2), L"0@0 -");
    EXPECT_EQ(match(x, L"ab:", 3), L"-1@0 -");
    EXPECT_EQ(match(x, L"c", 0), L"0@0 -");  // no name: never selected
}

static int relocate_both(void* a, void* b, Area* area) {
    field_list_relocate(static_cast<FieldList*>(a), area);
    field_list_relocate(static_cast<FieldList*>(b), area);
    return 0;
}

TEST(FieldList, InsertAndRelocate) {
    start();
    FieldList l;
    Area* small = new_area(1024);
    field_list_parse("a,b", &l, small);
    wchar_t z[] = L"z:", yy[] = L"yy:";
    EXPECT_EQ(field_list_insert(&l, nullptr, z, 2, small), l.included);
    FieldListEntry* e = field_list_insert(&l, l.included->next, yy, 3, small);
    z[0] = yy[0] = L'#';  // the names were copied
    EXPECT_EQ(show(l.included), L"[z] [a] [yy] [b]");
    EXPECT_TRUE(e->new_name_end == nullptr && e->flags == nullptr);
    EXPECT_EQ(match(l, L"yy:", 3), L"1@3 yy:");

    // Two lists in a 1 KB area that doubles, grown several times by
    // insertions: every pointer of both chains must follow.
    Area* area = new_area(1024, "nsize");
    FieldList ex{}, keys{};
    area_push_pact(0, area_double, nullptr, nullptr, area);
    area_push_pact(0, relocate_both, &ex, &keys, area);
    field_list_parse("^p:x,q", &ex, area);
    field_list_parse("k:nr,m", &keys, area);
    key_default_flags("", area);
    key_list_resolve(&keys, area);
    std::wstring want = L"[k](nr) [m]";
    FieldListEntry* last = keys.included->next;
    for (int i = 0; i < 300; ++i) {
        std::wstring name = L"f" + std::to_wstring(i) + L":";
        last = field_list_insert(&keys, last, name.data(), name.size(), area);
        want += L" [" + name.substr(0, name.size() - 1) + L"]";
    }
    EXPECT_GE(area_size(area), 16384u);
    EXPECT_EQ(show(ex.excluded), L"[p](x) [q]");
    EXPECT_EQ(show(keys.included), want);
    auto inside = [area](const void* p) { return at(p) >= area->base && at(p) < area->limit; };
    int outside = 0, entries = 0;
    for (FieldListEntry* f : {ex.excluded, keys.included})
        for (; f; f = f->next, ++entries)
            outside += !inside(f) + !inside(f->name) + !inside(f->new_name) +
                       (f->new_name_end && !inside(f->new_name_end));
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(entries, 304);
    EXPECT_TRUE(inside(keys.included->flags) && *keys.included->flags == (KEY_NUMERIC | KEY_REVERSE));
    EXPECT_EQ(keys.included->next->flags, &default_key_flags);  // outside the area: unchanged
    EXPECT_EQ(match(keys, L"f299:", 5), L"1@302 f299:");
}

// One record read from the bytes, in areas of its own.
static Field* record(const std::string& bytes) {
    Area* text = new_area(1024, "rsize");
    Area* table = new_area(1024, "tsize");
    area_push_pact(0, area_double, nullptr, nullptr, text);
    area_push_pact(0, area_double, nullptr, nullptr, table);
    WStream* s = TempFile(bytes).open();
    Field* rec = read_record(s, text, table);
    ws_close(s);
    return rec;
}

static int relocate_held(void* held, void*, Area* area) {
    for (uint32_t*& k : *static_cast<std::vector<uint32_t*>*>(held)) area_relocate_cell(&k, area);
    return 0;
}

// A key-field list and -k flags set up as a tool does, in a list area and a
// key area of 1 KB that double; keys are held by number across growths.
struct Keys {
    FieldList list{};
    Area* names = new_area(1024, "nsize");
    Area* area = new_area(1024, "ksize");
    std::vector<uint32_t*> held;
    explicit Keys(const char* text, const char* k = "") {
        area_push_pact(0, area_double, nullptr, nullptr, names);
        area_push_pact(0, field_list_relocate_pact, &list, nullptr, names);
        area_push_pact(0, area_double, nullptr, nullptr, area);
        area_push_pact(0, relocate_held, &held, nullptr, area);
        field_list_parse(text, &list, names);
        key_default_flags(k, names);
        key_list_resolve(&list, names);
    }
    size_t add(Field* rec) {
        held.push_back(make_key(rec, &list, area, names));
        return held.size() - 1;
    }
    size_t add(const std::string& bytes) { return add(record(bytes)); }
    int cmp(size_t i, size_t j) {
        int c = compare_keys(held[i], held[j], &list);
        return (c > 0) - (c < 0);
    }
    std::string printed(size_t i) {
        out_flush();
        CaptureStdout();
        print_key(held[i], &list);
        out_flush();
        return GetCapturedStdout();
    }
};

// Signs of comparing the keys of a:x and a:y for pairs that tell the flags
// apart: numbers, a leading blank, punctuation, case, a control character.
static std::string profile(const char* list, const char* k = "") {
    static const std::pair<const char*, const char*> pairs[] = {{"2", "3"},     {"10", "9"}, {" x", "x"},
                                                                {"a-b", "ab"}, {"a", "B"},  {"a\ab", "ab"}};
    Keys keys(list, k);
    std::string r;
    for (auto [x, y] : pairs) {
        size_t i = keys.add("a:"s + x), j = keys.add("a:"s + y);
        int c = keys.cmp(i, j);
        EXPECT_EQ(keys.cmp(j, i), -c) << list << " -k " << k << " on " << x;
        r += "-0+"[c + 1];
    }
    return r;
}

TEST(Keys, Flags) {
    start();
    const wchar_t* rest;
    EXPECT_EQ(parse_key_flags(L"bdfinr:x", &rest), 63u);
    EXPECT_EQ(*rest, L':');

    // Entry flags replace the -k flags entirely, even an empty flag text.
    const char* cases[][3] = {
        {"a", "", "----+-"},     {"a:b", "", "--0-+-"},  {"a:d", "", "---0+0"},     {"a:f", "", "------"},
        {"a:i", "", "----+0"},   {"a:n", "", "-+0000"},  {"a:r", "", "++++-+"},     {"a:nr", "", "+-0000"},
        {"a:bdfi", "", "--00-0"}, {"a:fbn", "", "-+0000"}, {"a", "n", "-+0000"},     {"a", "bf", "--0---"},
        {"a:r", "n", "++++-+"},  {"a:", "n", "----+-"},  {"a:n", "r", "-+0000"}};
    for (auto [list, k, want] : cases) EXPECT_EQ(profile(list, k), want) << list << " -k " << k;
    EXPECT_EQ(error_count, 0);
}

// The pairs of keys that compare otherwise than their ranks. Every ordered
// pair is checked, so this covers antisymmetry and transitivity.
static std::string misordered(Keys& keys, const std::vector<int>& ranks) {
    std::string bad;
    for (size_t i = 0; i < ranks.size(); ++i)
        for (size_t j = 0; j < ranks.size(); ++j)
            if (keys.cmp(i, j) != (ranks[i] > ranks[j]) - (ranks[i] < ranks[j]))
                bad += std::to_string(i) + "?" + std::to_string(j) + " ";
    return bad;
}

using Ranked = std::vector<std::pair<int, std::string>>;
static std::string misordered(const char* list, const char* k, const Ranked& records, int sign = 1) {
    Keys keys(list, k);
    std::vector<int> ranks;
    for (const auto& [rank, bytes] : records) keys.add(bytes), ranks.push_back(rank * sign);
    return misordered(keys, ranks);
}

TEST(Keys, Order) {
    start();
    // A missing field, then an empty value; ab followed by a second
    // occurrence sorts before abc.
    const Ranked text{{0, "o:1"},       {1, "a:"},    {2, "a:\na:"}, {3, "a:ab"}, {3, "o:1\na:ab"},
                      {4, "a:ab\na:x"}, {5, "a:abc"}, {6, "a:b"}};
    EXPECT_EQ(misordered("a", "", text), "");
    EXPECT_EQ(misordered("a:r", "", text, -1), "");
    // NaN equals NaN, whatever its sign, and lies below every number; the
    // occurrences 1 and 2 sort after a single 1.
    const Ranked numbers{{0, "o:1"},  {1, "a:nan"}, {1, "a:-nan"},     {1, "a:NAN"},      {2, "a:-inf"},
                         {3, "a:-1"}, {4, "a:abc"}, {4, "a:0"},        {4, "a:"},         {5, "a:1"},
                         {6, "a:1\na:2"}, {7, "a:2"}, {8, "a:0x10"}, {9, "a:infinity"}, {9, "a: inf "}};
    EXPECT_EQ(misordered("a", "n", numbers), "");
    EXPECT_EQ(misordered("a:nr", "", numbers, -1), "");
    // Several key fields: the first decides, the next breaks ties with its
    // own flags; the order of the fields in the record does not matter.
    const Ranked two{{0, "a:1\nb:z"}, {1, "b:y\na:2"}, {1, "a:2\no:x\nb:y"},
                     {2, "a:2\nb:"},  {3, "a:2"},      {4, "a:10\nb:a"}};
    EXPECT_EQ(misordered("a:n,b:r", "", two), "");
}

TEST(Keys, EachFieldServesOneKeyFieldAndPrinting) {
    start();
    Keys twice("a,a");
    Field* rec = record("a:1\nb:0\na:2\n");
    size_t i = twice.add(rec);
    EXPECT_EQ(twice.held[i][0], 28u);  // the length, 1 1 2 1 0, then an empty part 0
    EXPECT_EQ(twice.printed(i), "a:1\na:2\n");
    EXPECT_TRUE(rec[0].value == nullptr && rec[1].value != nullptr && rec[2].value == nullptr);
    Keys mixed("a:n,a,b");
    EXPECT_EQ(mixed.printed(mixed.add("a:1\nb:x\na:2\n")), "a:1\na:2\nb:x\n");

    // Text after its flags, numbers as integers or %g, wide characters,
    // empty values, and nothing for a missing key field.
    Keys p("a:n,t:bfd,z,w");
    size_t k = p.add("t:  x-y\na:2.5\nt:\nq:1\na:3\nz:\xc3\xa9\xe2\x82\xac\na:4294967296\na:-0.5\na:abc\n");
    EXPECT_EQ(p.printed(k), "a:2.5\na:3\na:4294967296\na:-0.5\na:0\nt:XY\nt:\nz:\xc3\xa9\xe2\x82\xac\n");

    // Keys many times the size of the key area, built while it grows.
    Keys big("t,a:n");
    std::string bytes, want_a, v1(700, 'x'), v2;
    for (int j = 0; j < 700; ++j) v2 += "\xc3\xa9"s + char('a' + j % 26);
    for (int j = 0; j < 150; ++j) {
        if (j % 75 == 0) bytes += "t:" + (j ? v2 : v1) + "\n";
        want_a += "a:" + std::to_string(j) + "\n";
    }
    bytes += want_a;
    big.add("o:1"), big.add(bytes), big.add(bytes), big.add(bytes + "a:0\n");
    EXPECT_GE(area_size(big.area), 16384u);
    EXPECT_EQ(big.printed(1), "t:" + v1 + "\nt:" + v2 + "\n" + want_a);
    EXPECT_EQ(misordered(big, {0, 1, 1, 2}), "");
}

TEST(Keys, ExclusiveListGrowsInOrderOfFirstAppearance) {
    start();
    Keys k("^x");
    k.add("b:2\nx:9\na:1\nb\n");
    EXPECT_EQ(show(k.list.included), L"[b] [a]");
    EXPECT_EQ(show(k.list.excluded), L"[x]");
    EXPECT_TRUE(k.list.included->flags == &default_key_flags && k.list.included->next->flags == &default_key_flags);
    k.add("c:3\na:1\nb:2\n");
    EXPECT_EQ(show(k.list.included), L"[b] [a] [c]");
    k.add("a:1\nb:2\n");
    k.add("b:2\na:1\nc:\n");
    // The first key, built before c was a key field, compares as having no
    // occurrence of c: equal to the third key, below an empty value of c.
    EXPECT_EQ(misordered(k, {0, 2, 0, 1}), "");
    EXPECT_EQ(k.printed(0), "b:2\na:1\n");
    EXPECT_EQ(k.printed(3), "b:2\na:1\nc:\n");
    // Enough new names to make the list area grow.
    std::string bytes;
    std::wstring names = L"[b] [a] [c]";
    for (int i = 0; i < 60; ++i) {
        const std::string n = std::to_string(i);
        bytes += "g" + n + ":" + n + "\n";
        names += L" [g" + std::to_wstring(i) + L"]";
    }
    size_t k5 = k.add("b:2\nb:2\n" + bytes);
    EXPECT_EQ(show(k.list.included), names);
    EXPECT_GE(area_size(k.names), 4096u);
    EXPECT_EQ(k.printed(k5), "b:2\nb:2\n" + bytes);
    EXPECT_EQ(k.cmp(0, k5), -1);  // b: a single 2 against 2 and a second occurrence

    Keys n("^x", "n");
    n.add("b:1\n"), n.add("a:5\nb:1\n"), n.add("b:1\na:nan\n");
    EXPECT_EQ(show(n.list.included), L"[b] [a]");
    EXPECT_EQ(misordered(n, {0, 2, 1}), "");
    EXPECT_EQ(n.printed(1), "b:1\na:5\n");
}

TEST(Keys, UnknownFlags) {
    start();
    Area* area = new_area(1024);
    CaptureStderr();
    key_default_flags("nq", area);
    uint32_t after_unknown = default_key_flags;
    key_default_flags("b\xff", area);
    EXPECT_EQ(GetCapturedStderr(), "rt: unknown key flag 'q' in -k option.\nrt: code error in the -k option.\n");
    EXPECT_EQ(after_unknown, KEY_NUMERIC);
    EXPECT_EQ(error_count, 2);

    key_default_flags("f", area);
    FieldList l;
    field_list_parse("a:q,bb:nx \xc3\xa9:r\xc3\xa9,c:n,d,e:", &l, area);
    CaptureStderr();
    key_list_resolve(&l, area);
    EXPECT_EQ(GetCapturedStderr(),
              "rt: unknown key flag 'q' in field a.\nrt: unknown key flag 'x' in field bb.\n"
              "rt: unknown key flag '\xc3\xa9' in field \xc3\xa9.\n");
    EXPECT_EQ(error_count, 5);
    EXPECT_EQ(show(l.included), L"[a](q) [bb](nx) [\u00e9](r\u00e9) [c](n) [d] [e]()");  // names intact
    EXPECT_EQ(match(l, L"bb:", 3), L"1@2 bb:nx");
    // Each entry's own flags (those read before the bad letter), or the -k word.
    std::string flags;
    for (FieldListEntry* e = l.included; e; e = e->next)
        flags += e->flags == &default_key_flags ? "k " : std::to_string(*e->flags) + " ";
    EXPECT_EQ(flags, "0 16 32 16 k 0 ");
}

// Matching and key building against a direct model, on generated lists of
// every length around the threshold of the index and far above it: names
// repeated, empty, prefixes of each other, sharing filter bits; entries
// inserted at the head, inside and at the end while the list area grows;
// exclusive lists growing with the records. The model walks the chains to
// match a name, and for a key takes each entry's fields by walking the
// record, each field going to the first entry with its name.
namespace {

struct Part {  // a key field of a model key: words of a text part, or values
    bool numeric;
    std::vector<uint32_t> words;
    std::vector<double> values;
};

std::wstring to_wide(const std::string& s) {
    std::wstring w(s.size(), L'\0');
    w.resize(std::mbstowcs(w.data(), s.c_str(), w.size()));
    return w;
}

bool same_entry_name(const FieldListEntry* e, const std::wstring& name) {
    return !name.empty() && e->length == name.size() && std::wstring(e->name, e->length) == name;
}

// Result, entry and position for a name with its colon (empty: no name).
std::tuple<int, FieldListEntry*, int> model_match(const FieldList& l, const std::wstring& name) {
    FieldListEntry* last = nullptr;
    int position = 0;
    for (FieldListEntry* e = l.included; e; e = e->next, ++position) {
        if (same_entry_name(e, name)) return {1, e, position + 1};
        last = e;
    }
    for (FieldListEntry* e = l.excluded; e; e = e->next)
        if (same_entry_name(e, name)) return {0, last, position};
    return {name.empty() || l.inclusive ? 0 : -1, last, position};
}

std::vector<Part> model_key(std::vector<Field> fields, const FieldList& l) {
    std::vector<Part> parts;
    for (const FieldListEntry* e = l.included; e; e = e->next) {
        Part p{(*e->flags & KEY_NUMERIC) != 0, {}, {}};
        for (Field& f : fields) {
            if (f.value == nullptr || !same_entry_name(e, std::wstring(f.start, f.value))) continue;
            std::wstring v(f.value, f.end);
            if (p.numeric) {
                p.values.push_back(parse_number(v.c_str()));
            } else {
                for (wchar_t c : v) p.words.push_back(uint32_t(c) + 1);  // codes are stored + 1
                p.words.push_back(1);
            }
            f.value = nullptr;
        }
        if (!p.numeric) p.words.push_back(0);
        parts.push_back(p);
    }
    return parts;
}

std::vector<uint32_t> key_words(const std::vector<Part>& parts) {
    std::vector<uint32_t> w{0};
    auto put = [&w](double d) {
        uint32_t two[2];
        std::memcpy(two, &d, sizeof d);
        w.insert(w.end(), two, two + 2);
    };
    for (const Part& p : parts) {
        w.insert(w.end(), p.words.begin(), p.words.end());
        if (p.numeric) put(double(p.values.size()));
        for (double v : p.values) put(v);
    }
    w[0] = uint32_t(4 * w.size());
    return w;
}

// Parts missing from a key built before the list grew count as empty.
int model_compare(const std::vector<Part>& a, const std::vector<Part>& b, const FieldList& l) {
    const Part empty{false, {0}, {}};
    size_t i = 0;
    for (const FieldListEntry* e = l.included; e; e = e->next, ++i) {
        const Part& pa = i < a.size() ? a[i] : empty;
        const Part& pb = i < b.size() ? b[i] : empty;
        bool numeric = *e->flags & KEY_NUMERIC;
        int c = numeric ? (pb.values < pa.values) - (pa.values < pb.values) : (pb.words < pa.words) - (pa.words < pb.words);
        if (c) return (*e->flags & KEY_REVERSE) ? -c : c;
    }
    return 0;
}

std::wstring chain_names(const FieldListEntry* e) {
    std::wstring r;
    for (; e; e = e->next) r += std::wstring(e->name, e->length) + L' ';
    return r;
}

}  // namespace

TEST(Keys, IndexedListsAgreeWithDirectModel) {
    start();
    std::mt19937 rng(20240611);
    auto pick = [&rng](size_t n) { return size_t(rng() % n); };
    const std::vector<std::string> few{"", "a", "b", "c", "aa", "ab", "ba", "abc", "\xc3\xa9", "b\xc3\xa9"};
    const char* flags[] = {"", ":n", ":r"};
    const char* values[] = {"1", "2", "x", "", " 3", "-1", "x y"};
    for (int trial = 0; trial < 240 && !HasFailure(); ++trial) {
        // Mostly lists around the threshold, some far above it; names from
        // a few (many repeats) or from hundreds.
        size_t length = trial % 8 == 7 ? 100 + pick(300) : pick(3 * FIELD_LIST_INDEX_MIN);
        size_t spread = trial % 3 == 0 ? 400 : 0;
        auto numbered = [&](size_t n) { return std::string(1, 'n') += std::to_string(pick(n)); };
        auto name = [&]() { return spread && pick(2) ? numbered(spread) : few[pick(few.size())]; };
        bool exclusive = trial % 4 == 1;
        std::string text = exclusive ? "^" : "";
        for (size_t i = 0; i < length; ++i) ((text += i ? "," : "") += name()) += exclusive ? "" : flags[pick(3)];
        SCOPED_TRACE("trial " + std::to_string(trial) + ": " + text);
        Keys k(text.c_str());
        std::vector<std::vector<Part>> models;
        std::string bytes;
        // Keys compare under the list they were built with, or one grown at
        // its end since; an entry inserted elsewhere starts a new generation
        // of keys.
        std::vector<int> generations;
        int generation = 0;
        for (int step = 0; step < 6 && !HasFailure(); ++step) {
            for (size_t n = pick(3) == 0 ? pick(40) : 0; n > 0; --n) {
                std::wstring w = to_wide(name() + ":");
                std::vector<FieldListEntry*> chain{nullptr};  // nullptr: insert at the head
                for (FieldListEntry* e = k.list.included; e; e = e->next) chain.push_back(e);
                FieldListEntry* after = pick(2) ? chain.back() : chain[pick(chain.size())];
                generation += after != chain.back();
                field_list_insert(&k.list, after, w.data(), w.size(), k.names)->flags = &default_key_flags;
            }
            // Every name of the few, some of the many, and no name.
            std::vector<std::wstring> names{L""};
            for (const std::string& n : few) names.push_back(to_wide(n + ":"));
            for (int j = 0; j < 4; ++j) names.push_back(to_wide(numbered(spread + 1) + ":"));
            for (const std::wstring& n : names) {
                FieldListEntry* e = nullptr;
                int position = -1;
                int r = field_list_match(&k.list, n.c_str(), n.size(), &e, &position);
                EXPECT_EQ(std::make_tuple(r, e, position), model_match(k.list, n));
                EXPECT_EQ(field_list_match(&k.list, n.c_str(), n.size(), nullptr, nullptr), r);
            }

            // New fields, or the record before again: the same, with one more
            // field, or with a value 1 made 2 (keys that are equal, or of one
            // length and equal but for one part).
            auto line = [&]() { return pick(10) == 0 ? "plain\n" : name() + ":" + values[pick(7)] + "\n"; };
            switch (bytes.empty() ? 0 : pick(4)) {
            case 0:
                bytes.clear();
                for (size_t n = 1 + pick(3 * FIELD_LIST_INDEX_MIN); n > 0; --n) bytes += line();
                break;
            case 1: bytes += line(); break;
            case 2:
                if (size_t one = bytes.find(":1\n", pick(bytes.size())); one != std::string::npos) bytes[one + 1] = '2';
                break;
            }
            Field* rec = record(bytes);
            std::vector<Field> fields(rec, record_end(rec));
            // An exclusive list first takes the new names, in record order.
            std::wstring want = chain_names(k.list.included);
            std::set<std::wstring> added;
            for (const Field& f : fields) {
                std::wstring n(f.start, f.value);
                if (std::get<0>(model_match(k.list, n)) == -1 && added.insert(n).second) want += n + L' ';
            }
            size_t i = k.add(rec);
            EXPECT_EQ(chain_names(k.list.included), want);
            models.push_back(model_key(fields, k.list));
            generations.push_back(generation);
            EXPECT_EQ(std::vector<uint32_t>(k.held[i], k.held[i] + k.held[i][0] / 4), key_words(models.back()));
            for (size_t j = 0; j <= i; ++j)
                if (generations[j] == generation) {
                    EXPECT_EQ(k.cmp(i, j), model_compare(models[i], models[j], k.list)) << j;
                    EXPECT_EQ(k.cmp(j, i), model_compare(models[j], models[i], k.list)) << j;
                }
            // Exactly the fields taken by a key field have lost their value.
            std::vector<Field> rest = fields;
            for (const FieldListEntry* e = k.list.included; e; e = e->next)
                for (Field& f : rest)
                    if (f.value && same_entry_name(e, std::wstring(f.start, f.value))) f.value = nullptr;
            for (size_t j = 0; j < fields.size(); ++j) EXPECT_EQ(rec[j].value, rest[j].value) << j;
        }
    }
}

// The key tree: distinct numeric keys inserted in ascending, descending and
// random order (each twice or more), into an area of 1 KB that doubles many
// times under the tree. Along the way and at the end the leaves, followed
// along their chain, hold every key once, in key order, with its count;
// every node holds at most 8 entries and inner nodes at least one. In
// random order the keys have an area of their own. Lookups find exactly
// the inserted keys.
TEST(KeyTree, OrderCountsAndGrowth) {
    start();
    const int n = 100000;
    for (int order : {0, 1, 2}) {
        FieldList list{};
        Area* names = new_area(1024, "nsize");
        Area* area = new_area(1024, "vsize");
        area_push_pact(0, area_double, nullptr, nullptr, names);
        area_push_pact(0, field_list_relocate_pact, &list, nullptr, names);
        area_push_pact(0, area_double, nullptr, nullptr, area);
        Area* keys = area;
        if (order == 2) {
            keys = new_area(1024, "ksize");
            area_push_pact(0, area_double, nullptr, nullptr, keys);
        }
        field_list_parse("k:n", &list, names);
        key_list_resolve(&list, names);
        std::vector<int> values;
        for (int i = 0; i < n; ++i) values.push_back(order == 1 ? n - 1 - i : i);
        if (order == 2) std::shuffle(values.begin(), values.end(), std::mt19937(5));
        // Key v is inserted 1 + v % 3 times, the repeats at later places.
        std::vector<int> inserts;
        for (int round = 0; round < 3; ++round)
            for (int v : values)
                if (v % 3 >= round) inserts.push_back(v);
        KeyTree tree = keytree_make(area, keys, &list);
        std::map<int, uint32_t> model;
        auto check = [&]() {
            std::vector<std::pair<int, uint32_t>> seen;
            keytree_each(&tree, [&](const uint32_t* key, uint32_t value) {
                double x;
                std::memcpy(&x, key + 3, sizeof x);  // length, count (a double), the value
                seen.emplace_back(int(x), value);
            });
            std::vector<std::pair<int, uint32_t>> want(model.begin(), model.end());
            EXPECT_EQ(seen, want) << order;
            // Node sizes, from the root down.
            std::vector<uint32_t> todo{tree.root};
            while (!todo.empty() && tree.root != KEYTREE_NONE) {
                const KeyTreeNode* node = keytree_node(&tree, todo.back());
                todo.pop_back();
                EXPECT_TRUE(node->size >= 1 && node->size <= 8);
                if (node->leaf) continue;
                todo.push_back(node->link);
                for (int i = 0; i < node->size; ++i) todo.push_back(node->entries[i].value);
            }
        };
        size_t base_moves = 0;
        const char* last_base = area->base;
        for (size_t i = 0; i < inserts.size(); ++i) {
            std::wstring line = L"k:" + std::to_wstring(inserts[i]) + L"\n";
            wchar_t* end = line.data() + line.size() - 1;
            Field rec[2] = {{line.data(), line.data() + 2, end}, {nullptr, nullptr, end}};
            bool added;
            uint32_t value = keytree_insert(&tree, make_key(rec, &list, keys, names), &added);
            EXPECT_EQ(added, model.count(inserts[i]) == 0);
            ++*keytree_word(&tree, value);
            ++model[inserts[i]];
            if (area->base != last_base) ++base_moves, last_base = area->base;
            if ((i & (i - 1)) == 0 || i == 20000) check();  // after the first splits of every kind, and later
        }
        check();
        EXPECT_GT(base_moves, 5u);
        for (int v = -50; v < n + 50; v += 7) {
            std::wstring line = L"k:" + std::to_wstring(v) + L"\n";
            wchar_t* end = line.data() + line.size() - 1;
            Field rec[2] = {{line.data(), line.data() + 2, end}, {nullptr, nullptr, end}};
            uint32_t* key = make_key(rec, &list, keys, names);
            uint32_t value = keytree_find(&tree, key);
            area_drop(key, keys);
            auto it = model.find(v);
            ASSERT_EQ(value == KEYTREE_NONE, it == model.end()) << v;
            if (value != KEYTREE_NONE) {
                EXPECT_EQ(*keytree_word(&tree, value), it->second) << v;
            }
        }
    }
}
