// Regular expressions over wide text: compiling, matching (leftmost, greedy,
// backtracking, groups), the fields that let the matcher skip hopeless
// positions, template substitution, error messages and very long subjects.
#include "wregex.h"

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>

#include "unit_util.h"

// The engine's error hook: here it only keeps the messages.
static std::vector<std::string> messages;
static void keep_message(const char* message) { messages.push_back(message); }
[[maybe_unused]] static const bool keeping = (wreg_error = keep_message, true);

// The messages reported since the last call, joined by "; ".
static std::string reported() {
    std::string r;
    for (const std::string& m : messages) r += (r.empty() ? "" : "; ") + m;
    messages.clear();
    return r;
}

using Regex = std::unique_ptr<wregexp, void (*)(void*)>;
static Regex compile(const wchar_t* pattern) { return Regex(wregcomp(pattern), std::free); }

// The match as "offset[text]" (offsets from base), then groups 1..9 the same
// way or "-" for a group that took no part; trailing unused groups are left out.
static std::wstring show(const wregexp* re, const wchar_t* base) {
    int last = 0;
    for (int i = 1; i < WREG_GROUPS; ++i)
        if (re->match_start[i] || re->match_end[i]) last = i;
    std::wstring r;
    for (int i = 0; i <= last; ++i) {
        const wchar_t *s = re->match_start[i], *e = re->match_end[i];
        r += i ? L" " : L"";
        if (!s && !e) r += L"-";
        else if (!s || !e || e < s) r += L"?";
        else r += std::to_wstring(s - base) + L"[" + std::wstring(s, e) + L"]";
    }
    return r;
}

// Compiles pattern and matches it against text + from.
static std::wstring run(const wchar_t* pattern, const wchar_t* text, size_t from = 0) {
    Regex re = compile(pattern);
    if (!re) return L"error";
    return wregexec(re.get(), text + from) ? show(re.get(), text) : L"none";
}

TEST(Match, LeftmostGreedyBacktracking) {
    struct {
        const wchar_t* pattern;
        const wchar_t* text;
        size_t from;
        const wchar_t* want;
    } rows[] = {
        // Alternatives: leftmost position first, then the written order.
        {L"a|b|c", L"xcx", 0, L"1[c]"}, {L"ab|abc", L"abc", 0, L"0[ab]"},
        {L"(a)(b)", L"xab", 0, L"1[ab] 1[a] 2[b]"}, {L"(a)|b", L"b", 0, L"0[b]"},
        // Repetition is greedy and applies to the last character of a run only.
        {L"ab*", L"abbbc", 0, L"0[abbb]"}, {L"abc*", L"abab", 0, L"0[ab]"},
        {L"abc+", L"abcabcc", 0, L"0[abc]"}, {L"abc?", L"abd", 0, L"0[ab]"},
        {L"a\\.*", L"a..b", 0, L"0[a..]"},
        // A group holds the text of its last iteration on the successful path.
        {L"(ab)+", L"ababx", 0, L"0[abab] 2[ab]"}, {L"(ab)*abc", L"abababc", 0, L"0[abababc] 2[ab]"},
        {L"(a+b)*c", L"abaabcx", 0, L"0[abaabc] 2[aab]"}, {L"(a*b)*c", L"abbaabc", 0, L"0[abbaabc] 3[aab]"},
        {L"((ab)+c)+", L"abcababcx", 0, L"0[abcababc] 3[ababc] 5[ab]"},
        {L"((a)|b)+", L"ab", 0, L"0[ab] 1[b] 0[a]"}, {L"(a(b)?)+", L"aba", 0, L"0[aba] 2[a] 1[b]"},
        {L"(ab)*c", L"c", 0, L"0[c]"}, {L"(ab)*c", L"ababd", 0, L"none"},
        {L"(a|b)*c", L"abx", 0, L"none"},
        // Classic backtracking.
        {L"(a|ab)(c|bcd)(d*)", L"abcd", 0, L"0[abcd] 0[a] 1[bcd] 4[]"}, {L"a*ab", L"aaab", 0, L"0[aaab]"},
        {L"[ab]*b", L"abab", 0, L"0[abab]"}, {L"a.*b", L"axbxbx", 0, L"0[axbxb]"},
        {L"(a|b)*c|(a|ab)*c", L"abc", 0, L"0[abc] 1[b]"}, {L"abc", L"ababc", 0, L"2[abc]"},
        {L"x*abc", L"ababc", 0, L"2[abc]"},
        // Sets: ] and - as plain members, ranges, negation, no escapes inside.
        {L"[]a]", L"x]", 0, L"1[]]"}, {L"[^]a]", L"]ab", 0, L"2[b]"},
        {L"[^-]", L"--a", 0, L"2[a]"}, {L"[a-]+", L"xa-ab", 0, L"1[a-a]"},
        {L"[a-cx-z]+", L"dwyzabd", 0, L"2[yzab]"}, {L"[b-d]+", L"abcde", 0, L"1[bcd]"},
        {L"[a-a]", L"ba", 0, L"1[a]"},
        {L"[^a-c]", L"abc", 0, L"none"},  // never the terminating zero
        {L"[.\\]+", L"a.\\b", 0, L"1[.\\]"}, {L"[\"]", L"a\"", 0, L"1[\"]"},
        {L"[α-ω]+", L"abγδε", 0, L"2[γδε]"},
        // Optional pieces.
        {L"ab?c", L"ac", 0, L"0[ac]"}, {L"a(bc)?d", L"abd ad", 0, L"4[ad]"},
        {L"(a*)?b", L"b", 0, L"0[b] 0[]"},
        // Anchors: ^ at the start of the subject given, $ at its zero only.
        {L"^ab", L"xab", 0, L"none"}, {L"^ab", L"xab", 1, L"1[ab]"},
        {L"b|^a", L"ab", 0, L"0[a]"}, {L"x|^a", L"ba", 0, L"none"},
        {L"a$", L"aba", 0, L"2[a]"}, {L"a$b", L"a$b", 0, L"none"},
        {L"$", L"abc", 0, L"3[]"}, {L"^$", L"", 0, L"0[]"},
        // Empty matches.
        {L"x*", L"abc", 0, L"0[]"}, {L"x*", L"xxa", 0, L"0[xx]"},
        {L"", L"ab", 0, L"0[]"}, {L"()", L"ab", 0, L"0[] 0[]"},
        {L"a|", L"ba", 0, L"0[]"},
        // Any character, newline included, but not beyond the end.
        {L"a.c", L"a\nc", 0, L"0[a\nc]"}, {L".*", L"ab\ncd", 0, L"0[ab\ncd]"},
        {L"b.", L"ab", 0, L"none"},
        // Escapes.
        {L"a\\.b", L"axb a.b", 0, L"4[a.b]"}, {L"\\*", L"a*", 0, L"1[*]"},
        {L"\\\\", L"a\\b", 0, L"1[\\]"}, {L"\\\"", L"say \"hi\"", 0, L"4[\"]"},
        {L"\\(\\)", L"f()", 0, L"1[()]"}, {L"\\n", L"\nn", 0, L"1[n]"},
        // A double quote is an ordinary character, escaped or not.
        {L".*\"N", L"a \"x\" \"No", 0, L"0[a \"x\" \"N]"}, {L"a\"+b", L"a\"\"b", 0, L"0[a\"\"b]"},
    };
    // Both matchers: the one in use and the plain backtracking reference.
    for (bool reference : {false, true}) {
        wreg_backtrack_only = reference;
        for (const auto& row : rows) {
            EXPECT_EQ(run(row.pattern, row.text, row.from), row.want)
                << row.pattern << L" on " << row.text << (reference ? L" (reference)" : L"");
            EXPECT_EQ(reported(), "") << row.pattern;
        }
    }
    wreg_backtrack_only = false;
}

TEST(Match, UnusedGroupsAreNull) {
    Regex ab = compile(L"(a)(b)"), either = compile(L"(a)|b");
    const wchar_t* text = L"ab";
    ASSERT_EQ(wregexec(ab.get(), text), 1);
    for (int i = 3; i < WREG_GROUPS; ++i)
        EXPECT_TRUE(ab->match_start[i] == nullptr && ab->match_end[i] == nullptr) << i;
    // Each match starts afresh: nothing is left over from the one before.
    ASSERT_EQ(wregexec(either.get(), L"a"), 1);
    ASSERT_EQ(wregexec(either.get(), text + 1), 1);
    EXPECT_EQ(show(either.get(), text), L"1[b]");
    // Compiling the second expression disturbed nothing of the first.
    const wchar_t* other = L"xxab";
    ASSERT_EQ(wregexec(ab.get(), other), 1);
    EXPECT_EQ(show(ab.get(), other), L"2[ab] 2[a] 3[b]");
}

TEST(Compile, Errors) {
    struct {
        const wchar_t* pattern;
        const char* message;  // empty: accepted
    } rows[] = {
        {L"(((((((((a)))))))))", ""}, {L"((((((((((a))))))))))", "too many ()"},
        {L"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "too many ()"}, {L"(a", "unmatched ()"},
        {L"((a)|b", "unmatched ()"}, {L"a)", "unmatched ()"},
        {L"(a))", "unmatched ()"}, {L"(a*)*", "*+ operand could be empty"},
        {L"(a?)+", "*+ operand could be empty"}, {L"(a|)+", "*+ operand could be empty"},
        {L"()*", "*+ operand could be empty"}, {L"^*", "*+ operand could be empty"},
        {L"(a*)?", ""}, {L"(a+)*", ""},
        {L"x**", "nested *?+"}, {L"a+?", "nested *?+"},
        {L"a??", "nested *?+"}, {L"(ab)*+", "nested *?+"},
        {L"[ab", "unmatched []"}, {L"[]", "unmatched []"},
        {L"[^]", "unmatched []"}, {L"[a-", "unmatched []"},
        {L"[\\", "unmatched []"}, {L"*a", "?+* follows nothing"},
        {L"a|+b", "?+* follows nothing"}, {L"(?a)", "?+* follows nothing"},
        {L"a\\", "trailing \\"}, {L"a\"b", ""},
        {L"[z-a]", "invalid [] range"}, {L"[ab-a]", "invalid [] range"},
        {L"|", ""},
    };
    for (const auto& row : rows) {
        Regex re = compile(row.pattern);
        EXPECT_EQ(reported(), row.message) << row.pattern;
        EXPECT_EQ(re == nullptr, *row.message != 0) << row.pattern;
    }
    EXPECT_EQ(wregcomp(nullptr), nullptr);
    EXPECT_EQ(reported(), "NULL argument");

    // One literal of n characters takes n + 8 words: the magic word, BRANCH,
    // LITERAL with its characters and zero, END. 32767 words are too many.
    std::wstring big(32758, L'a');
    EXPECT_NE(compile(big.c_str()), nullptr);
    EXPECT_EQ(reported(), "");
    big += L'a';
    EXPECT_EQ(compile(big.c_str()), nullptr);
    EXPECT_EQ(reported(), "wregexp too big");
}

TEST(Compile, OptimisationFields) {
    struct {
        const wchar_t* pattern;
        wchar_t first_char;
        int anchored;
        const wchar_t* must;  // null: none
    } rows[] = {
        {L"abc", L'a', 0, nullptr},     {L"ab*", L'a', 0, nullptr},
        {L"^ab", 0, 1, nullptr},        {L"^a|b", 0, 0, nullptr},
        {L"a|b", 0, 0, nullptr},        {L"(ab)", 0, 0, nullptr},
        {L".ab", 0, 0, nullptr},        {L"x*", 0, 0, nullptr},
        {L"x*abc", 0, 0, L"abc"},       {L"a*bcd|xyz", 0, 0, nullptr},
        {L"x?abc", 0, 0, L"abc"},       {L"x+abc", 0, 0, nullptr},
        {L"x*abc?", 0, 0, L"ab"},       {L"x*abc.de", 0, 0, L"abc"},
        {L"x*ab.cd", 0, 0, L"cd"},      {L"x*ab(cdef)gh", 0, 0, L"gh"},
        {L"(a|b)*zzzq", 0, 0, L"zzzq"},
    };
    for (const auto& row : rows) {
        Regex re = compile(row.pattern);
        ASSERT_NE(re, nullptr) << row.pattern;
        EXPECT_EQ(re->first_char, row.first_char) << row.pattern;
        EXPECT_EQ(re->anchored != 0, row.anchored != 0) << row.pattern;
        std::wstring must = re->must_text ? std::wstring(re->must_text, re->must_text + re->must_length) : L"-";
        EXPECT_EQ(must, row.must ? row.must : L"-") << row.pattern;
    }
}

TEST(Match, Errors) {
    Regex ab = compile(L"ab"), star = compile(L"a*");
    EXPECT_EQ(wregexec(nullptr, L"ab"), 0);
    EXPECT_EQ(reported(), "NULL parameter");
    EXPECT_EQ(wregexec(ab.get(), nullptr), 0);
    EXPECT_EQ(reported(), "NULL parameter");
    ASSERT_EQ(ab->program[0], 156u);
    ab->program[0] = 155;
    EXPECT_EQ(wregexec(ab.get(), L"ab"), 0);
    EXPECT_EQ(reported(), "corrupted program");
    ab->program[0] = 156;
    ab->literal_only = 0;  // a plain text is found without running its program
    // Damaged programs. "ab": magic, BRANCH at 1, LITERAL at 3 (next at 4).
    // "a*": magic, BRANCH at 1, REPEAT_STAR at 3, its operand node at 5.
    ASSERT_EQ(ab->program[3], 8u);
    ab->program[3] = 99;
    EXPECT_EQ(wregexec(ab.get(), L"ab"), 0);
    EXPECT_EQ(reported(), "memory corruption");
    ab->program[3] = 8;
    ab->program[4] = 0;
    EXPECT_EQ(wregexec(ab.get(), L"ab"), 0);
    EXPECT_EQ(reported(), "corrupted pointers");
    ASSERT_EQ(star->program[3], 10u);
    star->program[5] = 9;
    EXPECT_EQ(wregexec(star.get(), L"b"), 0);
    EXPECT_EQ(reported(), "internal foulup");
}

// Substitutes tmpl for the match of pattern in text: the new text with "|"
// marking the resume position.
static std::wstring substitute(const wchar_t* pattern, const wchar_t* text, const wchar_t* tmpl) {
    static Area* area = new_area(1024);
    area_reset(area);
    Regex re = compile(pattern);
    if (!re || !wregexec(re.get(), text)) return L"no match";
    wchar_t* resume = nullptr;
    wchar_t* out = wregsub(re.get(), tmpl, text, &resume, area);
    std::wstring r = out;
    if (resume < out || resume > out + r.size()) return r + L" (resume outside)";
    return r.insert(size_t(resume - out), L"|");
}

TEST(Substitute, Templates) {
    start();
    struct {
        const wchar_t *pattern, *text, *tmpl, *want;
    } rows[] = {
        {L"b+", L"abbc", L"<&>", L"a<bb>|c"}, {L"(b+)", L"abbc", L"\\1\\1", L"abbbb|c"},
        {L"b", L"abc", L"&&", L"abb|c"}, {L"b", L"abc", L"\\0-\\0", L"ab-b|c"},
        {L"(a)(b)", L"abc", L"\\2\\1", L"ba|c"}, {L"b", L"abc", L"\\&", L"a&|c"},
        {L"b", L"abc", L"\\\\", L"a\\|c"}, {L"b", L"abc", L"\\x", L"a\\x|c"},
        {L"b", L"abc", L"x\\", L"ax\\|c"}, {L"(x)?b", L"abc", L"[\\1]", L"a[]|c"},
        {L"b", L"abc", L"<\\9>", L"a<>|c"}, {L"x*", L"ab", L"<&>", L"<>|ab"},
        {L"c$", L"abc", L"", L"ab|"},
    };
    for (const auto& row : rows) EXPECT_EQ(substitute(row.pattern, row.text, row.tmpl), row.want) << row.tmpl;
    EXPECT_EQ(reported(), "");
}

TEST(Substitute, TextStartGrowthAndErrors) {
    start();
    Area* area = new_area(1024);
    area_push_pact(0, area_double, nullptr, nullptr, area);
    wchar_t* resume = nullptr;
    Regex b = compile(L"b");
    const wchar_t* text = L"abcabc";
    // A search resumed in the middle: the copy begins at textstart.
    ASSERT_EQ(wregexec(b.get(), text + 3), 1);
    wchar_t* out = wregsub(b.get(), L"<&>", text, &resume, area);
    EXPECT_EQ(std::wstring(out), L"abca<b>c");
    EXPECT_EQ(resume - out, 7);
    out = wregsub(b.get(), L"<&>", text + 3, &resume, area);
    EXPECT_EQ(std::wstring(out), L"a<b>c");
    EXPECT_EQ(resume - out, 4);
    EXPECT_EQ(reported(), "");

    // Errors leave an empty text.
    EXPECT_EQ(std::wstring(wregsub(b.get(), L"&", text + 5, &resume, area)), L"");
    EXPECT_EQ(reported(), "conflict in wregsub");
    EXPECT_EQ(std::wstring(wregsub(nullptr, L"&", text, &resume, area)), L"");
    EXPECT_EQ(reported(), "NULL parm to wregsub");
    EXPECT_EQ(std::wstring(wregsub(b.get(), nullptr, text, &resume, area)), L"");
    EXPECT_EQ(reported(), "NULL parm to wregsub");
    b->program[0] = 0;
    EXPECT_EQ(std::wstring(wregsub(b.get(), L"&", text, &resume, area)), L"");
    EXPECT_EQ(reported(), "damaged wregexp fed to wregsub");

    // The subject lives in the area, which has to move several times while
    // the new text is built behind it.
    area_reset(area);
    std::wstring subject = L"a" + std::wstring(300, L'b') + L"c";
    auto* held = static_cast<wchar_t*>(area_alloc((subject.size() + 1) * sizeof(wchar_t), area));
    std::wmemcpy(held, subject.c_str(), subject.size() + 1);
    Regex bs = compile(L"b+");
    ASSERT_EQ(wregexec(bs.get(), held), 1);
    size_t before = area_size(area);
    out = wregsub(bs.get(), L"<&&>", held, &resume, area);
    EXPECT_GT(area_size(area), before);
    EXPECT_EQ(std::wstring(out), L"a<" + std::wstring(600, L'b') + L">c");
    EXPECT_EQ(resume - out, 603);
    EXPECT_EQ(area->pacts[0].used, 1);
    EXPECT_EQ(reported(), "");
}

// Groups as offsets only: "start-end" for the match, then for each group.
static std::string spans(const wregexp* re, const wchar_t* base) {
    std::string r;
    for (int i = 0; i < WREG_GROUPS && re->match_start[i]; ++i) {
        if (i) r += ' ';
        r += std::to_string(re->match_start[i] - base) + "-" + std::to_string(re->match_end[i] - base);
    }
    return r;
}

TEST(Robustness, TenMillionCharacters) {
    const size_t n = 10'000'000;
    std::wstring ab;
    ab.reserve(n + 1);
    while (ab.size() < n) ab += L"ab";
    std::wstring abc = ab + L"c", ax = std::wstring(n, L'a') + L"x";
    struct {
        const wchar_t* pattern;
        const std::wstring& text;
        const char* want;
    } rows[] = {
        {L"(a|b)*c", abc, "0-10000001 9999999-10000000"},
        {L"(a|b)*ab", ab, "0-10000000 9999997-9999998"},
        {L"(ab)+", ab, "0-10000000 9999998-10000000"},
        {L"((a|b)+)+c", abc, "0-10000001 0-10000000 9999999-10000000"},
        {L".*x", ax, "0-10000001"},
        {L"(a|b)*c", ab, "none"},
    };
    for (const auto& row : rows) {
        Regex re = compile(row.pattern);
        ASSERT_NE(re, nullptr);
        int found = wregexec(re.get(), row.text.c_str());
        EXPECT_EQ(found ? spans(re.get(), row.text.c_str()) : "none", row.want) << row.pattern;
    }
    EXPECT_EQ(reported(), "");
}

// A literal that never occurs rules the subject out at once, even where
// running the program at every position would take quadratic time.
TEST(Robustness, AbsentLiteralIsQuick) {
    std::wstring a(200'000, L'a'), ab;
    while (ab.size() < 200'000) ab += L"ab";
    for (const auto& [pattern, text] : {std::pair{L"zzzq", &a}, {L".*zzzq", &a}, {L"(a|b)*zzzq", &ab}, {L"x*zzzq", &ab}}) {
        Regex re = compile(pattern);
        auto begin = std::chrono::steady_clock::now();
        EXPECT_EQ(wregexec(re.get(), text->c_str()), 0) << pattern;
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count(), 0.5) << pattern;
    }
}

// Nested and overlapping repetitions on long subjects: the matcher runs in
// time linear in the subject (a generous bound: well under a second where
// plain backtracking would not end), with the reference's results on the
// sizes where the reference still ends.
TEST(Robustness, NestedRepetitionsAreLinear) {
    const size_t n = 200'000;
    std::wstring as(n, L'a');
    struct {
        const wchar_t* pattern;
        std::wstring text;
        const char* want;
    } rows[] = {
        {L"(a+)+b", L"k:" + as + L"cb", "none"},
        {L"(a|aa)*c", L"k:" + as + L"bc", "200003-200004"},
        {L"([a-z0-9]+)*@", L"k:" + as + L"!@", "200003-200004"},
        {L"^email:([a-z0-9]+)*@", L"email:" + as + L"!", "none"},
        {L".+.+\x04+\x04", L"k:" + std::wstring(n, L'\x04') + L"y", "0-200002"},
    };
    for (const auto& row : rows) {
        Regex re = compile(row.pattern);
        ASSERT_NE(re, nullptr) << row.pattern;
        auto begin = std::chrono::steady_clock::now();
        int found = wregexec(re.get(), row.text.c_str());
        double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        EXPECT_EQ(found ? spans(re.get(), row.text.c_str()) : "none", row.want) << row.pattern;
        EXPECT_LT(took, 1.0) << row.pattern;
    }
}

// Random patterns of a small alphabet against random subjects: the matcher
// and the reference agree on every match and every group.
TEST(Robustness, SameResultsAsBacktracking) {
    std::mt19937 rng(12345);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    // A pattern from a grammar that the compiler mostly accepts.
    std::function<std::wstring(int)> piece = [&](int depth) -> std::wstring {
        static const wchar_t* atoms[] = {L"a", L"b", L"c", L".", L"[ab]", L"[^a]", L"ab", L"^", L"$"};
        std::wstring atom = depth < 3 && pick(3) == 0 ? L"(" + piece(depth + 1) + (pick(2) ? L"|" + piece(depth + 1) : L"") + L")"
                                                      : std::wstring(atoms[pick(9)]);
        static const wchar_t* reps[] = {L"", L"", L"*", L"+", L"?"};
        return atom + reps[pick(5)] + (pick(3) == 0 ? piece(depth + 1) : L"");
    };
    wreg_step_limit = 1'000'000;
    int compared = 0;
    for (int i = 0; i < 3000; ++i) {
        std::wstring pattern = piece(0), text;
        for (int k = pick(16); k-- > 0;) text += L"abc"[pick(3)];
        Regex re = compile(pattern.c_str());
        messages.clear();
        if (!re) continue;
        wreg_backtrack_only = false;
        int found = wregexec(re.get(), text.c_str());
        std::string got = found ? spans(re.get(), text.c_str()) : "none";
        wreg_backtrack_only = true;
        int ref_found = wregexec(re.get(), text.c_str());
        if (wreg_gave_up) continue;
        ++compared;
        EXPECT_EQ(got, ref_found ? spans(re.get(), text.c_str()) : "none") << pattern << L" on " << text;
    }
    wreg_backtrack_only = false;
    wreg_step_limit = 0;
    EXPECT_GT(compared, 1000);
}

// Compiled to fold case, a pattern matches subjects in lower case: literals
// in lower case, sets also holding their members' lower-case forms, in runs
// that a set as wide as all characters keeps small; a pattern of many such
// sets is refused as too big, and quickly.
TEST(Compile, FoldCase) {
    struct Row {
        const wchar_t *pattern, *subject;
        int hit;
    } rows[] = {
        {L"ÉTÉ", L"ÉtÉ", 1}, {L"[A-C]+x", L"abcx", 1}, {L"[^A-Z]", L"abc", 0},
        {L"[Α-Ω]ω", L"λΩ", 1}, {L"[\u0001-\U0010FFFF]", L"ω", 1}, {L"\\Q", L"q", 1}, {L"A", L"b", 0},
    };
    std::string saved = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_TRUE(std::setlocale(LC_CTYPE, "C.UTF-8"));
    for (const auto& row : rows) {
        wchar_t folded[16];
        size_t n = std::wcslen(row.subject);
        wreg_fold(folded, row.subject, row.subject + n + 1);
        Regex re(wregcomp_case(row.pattern, true), std::free);
        ASSERT_TRUE(re != nullptr) << row.pattern;
        EXPECT_EQ(wregexec(re.get(), folded), row.hit) << row.pattern;
        EXPECT_LT(re->program_words, 8000) << row.pattern;
    }
    std::wstring wide;
    for (int i = 0; i < 50; ++i) wide += L"[\u0001-\U0010FFFF]";
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(wregcomp_case(wide.c_str(), true), nullptr);
    EXPECT_EQ(reported(), "wregexp too big");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    std::setlocale(LC_CTYPE, saved.c_str());
}
