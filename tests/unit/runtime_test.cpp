// Runtime library: option scanner, -D settings, diagnostics, storage areas,
// wide text in areas, line and file readers, numbers, character coding.
#include <algorithm>
#include <climits>
#include <cmath>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "unit_util.h"

using namespace std::string_literals;
using testing::ExitedWithCode;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// ---------------------------------------------------------------------------
// Command line

// Scans the options of the words; each option shows as letter[argument].
static std::string scan(const char* options, const std::vector<std::string>& words) {
    start(words);
    std::string r;
    for (int letter; opt_next(options, &letter);) r += char(letter) + ("["s + opt_arg) + "]";
    return r;
}

TEST(Options, ScannerRules) {
    struct {
        std::vector<std::string> words;
        std::string seen;
        int index;  // arguments consumed
    } rows[] = {
        {{"-nF", "-k5", "-k", "7", "in", "-n"}, "n[]F[]k[5]k[7]", 4},
        {{"-Fn5", "-n"}, "?[-Fn5]n[]", 2},  // flags cluster only among themselves
        {{"-nk5"}, "?[-nk5]", 1},
        {{"-nD", "rsize=8"}, "?[-nD]", 1},
        {{"-k", "-n", "x"}, "k[-n]", 2},
        {{"-n", "-k"}, "n[]k[]", 2},        // a missing final argument is empty
        {{"-n", "--", "-F"}, "n[]", 2},     // "--" is consumed
        {{"-F", "-", "-n"}, "F[]", 1},      // "-" is an input file
        {{}, "", 0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(scan("nFD:g:k:", row.words), row.seen);
        EXPECT_EQ(opt_index, row.index) << row.seen;
    }
    scan("nFD:g:k:", rows[0].words);
    opt_shift();
    ASSERT_EQ(nargs, 2);
    EXPECT_STREQ(args[0], "in");

    // A second scan rebuilds the letter sets from its own option string.
    std::string r = scan("nFx", {"-nF", "-x"});
    opt_rewind();
    for (int letter; opt_next("n", &letter);) r += char(letter) + std::string(opt_arg);
    EXPECT_EQ(r, "n[]F[]x[]?-nF?-x");
}

static int32_t rsize, tsize, ksize;
static Setting table[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"ksize", &ksize}, {nullptr, nullptr}};

// The settings after one -D argument (a string of its own, like argv's).
static std::string settings(const std::string& arg) {
    rsize = tsize = ksize = -7;
    settings_apply(table, keep_string(arg));
    return std::to_string(rsize) + " " + std::to_string(tsize) + " " + std::to_string(ksize);
}

TEST(Settings, Tokenizer) {
    start();
    EXPECT_EQ(settings("rsize=64,tsize=8"), "64 8 -7");
    EXPECT_EQ(settings("rsize = 64 tsize=8"), "64 8 -7");
    EXPECT_EQ(settings("rsize=\t5 , ,,ksize=6,"), "5 -7 6");
    EXPECT_EQ(settings("rsize"), "0 -7 -7");
    EXPECT_EQ(settings("rsize tsize,ksize=3"), "0 0 3");
    EXPECT_EQ(settings("rsize=,tsize=12abc ksize=abc"), "0 12 0");
    EXPECT_EQ(settings("rsize=-4,tsize=99999999999,ksize=-99999999999,rsize=9"), "9 2147483647 -2147483648");
    EXPECT_EQ(error_count, 0);
    // Unknown names (the match is case-sensitive) are counted; the rest goes on.
    CaptureStderr();
    EXPECT_EQ(settings("bogus=1,tsize=2 RSIZE=3 =4,ksize=5"), "-7 2 5");
    EXPECT_EQ(GetCapturedStderr(), "rt: -D bogus is unknown.\nrt: -D RSIZE is unknown.\nrt: -D =4 is unknown.\n");
    EXPECT_EQ(error_count, 3);
}

static void say_cleaned() { std::fputs("cleaned\n", stderr); }

TEST(Diagnostics, SeveritiesAndExitStatus) {
    start();
    CaptureStderr();
    EXPECT_EQ(warn(WARN_NOTE, "note %d\n", 12), 8);
    warn(WARN_ERROR, "bad %s(%d).\n", "f", 3);
    EXPECT_EQ(GetCapturedStderr(), "rt: note 12\nrt: bad f(3).\n");
    EXPECT_EQ(error_count, 1);

    set_cleanup(say_cleaned);
    start();  // clears the count and the hook
    EXPECT_EQ(error_count, 0);
    EXPECT_EXIT(warn(WARN_FATAL, "plain\n"), ExitedWithCode(3), "^rt: plain\n$");
    set_cleanup(say_cleaned);
    CaptureStderr();
    exit_if_errors(2);  // nothing counted: returns without running the hook
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EXIT((warn(WARN_ERROR, "e\n"), exit_if_errors(2)), ExitedWithCode(2), "rt: e\ncleaned\n");
    EXPECT_EXIT(warn(WARN_FATAL, "boom %s\n", "x"), ExitedWithCode(3), "rt: boom x\ncleaned\n");
}

// ---------------------------------------------------------------------------
// Storage areas

// "head tail size", head and tail as offsets from the base.
static std::string state(const Area* a) {
    return std::to_string(a->head - a->base) + " " + std::to_string(a->tail - a->base) + " " +
           std::to_string(area_size(a));
}

// A pact that notes its letter and the area size it saw, and returns `result`.
struct Probe {
    std::string* log;
    char letter;
    int result;
    size_t seen = 0;
};

static int probe(void* a, void*, Area* area) {
    Probe* p = static_cast<Probe*>(a);
    *p->log += p->letter;
    p->seen = area_size(area);
    return p->result;
}

TEST(AreaRing, WrapsOnlyWhenTheTailLeavesRoom) {
    start();
    Area* a = new_area(1024);
    std::string log;
    Probe stop{&log, 's', 1};
    area_push_pact(0, probe, &stop, nullptr, a);
    char* base = a->base;
    EXPECT_EQ(state(a), "0 1024 1024");  // empty
    EXPECT_EQ(at(area_alloc(400, a)), base);
    area_release(area_alloc(400, a), a);
    EXPECT_EQ(state(a), "800 400 1024");      // straight
    EXPECT_EQ(area_alloc(401, a), nullptr);  // 224 bytes after the head, 400 before the tail
    EXPECT_EQ(at(area_alloc(224, a)), base + 800);
    EXPECT_EQ(at(area_alloc(400, a)), base);  // wraps, exactly filling up to the tail
    EXPECT_EQ(state(a), "400 400 1024");
    EXPECT_EQ(area_alloc(1, a), nullptr);
    EXPECT_EQ(log, "ss");

    area_release(base + 300, a);  // straight again: 300..400
    EXPECT_EQ(at(area_alloc(624, a)), base + 400);
    EXPECT_EQ(at(area_alloc(200, a)), base);
    EXPECT_EQ(at(area_alloc(100, a)), base + 200);  // wrapped, exactly up to the tail
    EXPECT_EQ(area_alloc(1, a), nullptr);
    area_release(a->head, a);
    EXPECT_EQ(state(a), "0 1024 1024");

    // Releasing up to the base keeps the data at the base live.
    std::memset(area_alloc(800, a), 'x', 800);
    area_release(base, a);
    EXPECT_EQ(state(a), "800 1024 1024");
    char* cell = nullptr;
    EXPECT_EQ(area_alloc(300, a), nullptr);
    EXPECT_EQ(area_extend(300, &cell, a), nullptr);
    EXPECT_EQ(cell, nullptr);
    EXPECT_EQ(log, "sssss");
    EXPECT_EQ(std::string(base, 800), std::string(800, 'x'));
}

// A row-1 pact: notes what it finds at the base, shifts the inner pointer
// and, when it returns 0, moves the cell itself.
struct Moved {
    char** cell;
    char** inner;
    int result;
    int calls = 0;
    char first = 0;
};

static int on_moved(void* a, void*, Area* area) {
    Moved* m = static_cast<Moved*>(a);
    ++m->calls;
    m->first = area->base[0];
    *m->inner += area->base - *m->cell;
    if (m->result == 0) *m->cell = area->base;
    return m->result;
}

TEST(AreaExtend, MovesTheObjectToTheBase) {
    start();
    for (int result : {-1, 0, 5}) {  // no row-1 pact; one that moves the cell; one that leaves it
        SCOPED_TRACE(result);
        Area* a = new_area(1024);
        char *obj = nullptr, *inner = nullptr;
        Moved m{&obj, &inner, result};
        if (result >= 0) area_push_pact(1, on_moved, &m, nullptr, a);
        area_alloc(600, a);
        EXPECT_EQ(at(area_extend(20, &obj, a)), a->base + 600);
        EXPECT_EQ(obj, a->base + 600);
        std::memcpy(obj, "0123456789abcdefghij", 20);
        inner = obj + 7;
        area_release(obj, a);  // the first 600 bytes are free again
        EXPECT_EQ(at(area_extend(580, &obj, a)), a->base + 20);  // exactly fits before the tail
        EXPECT_EQ(obj, a->base);
        // The object was all the live data, so its old place is free too.
        EXPECT_EQ(state(a), "600 1024 1024");
        EXPECT_EQ(std::string(obj, 20), "0123456789abcdefghij");
        EXPECT_EQ(m.calls, result >= 0);
        if (result >= 0) {
            EXPECT_EQ(m.first, '0');  // the pact runs after the copy
            EXPECT_EQ(*inner, '7');
        }
        // A new object moves to the base without running row 1.
        area_release(a->head, a);
        area_alloc(600, a);
        area_release(area_alloc(300, a), a);
        char* fresh = nullptr;
        EXPECT_EQ(at(area_extend(200, &fresh, a)), a->base);
        EXPECT_EQ(fresh, a->base);
        EXPECT_EQ(m.calls, result >= 0);
    }
    // Alone, an object may move over its own old place.
    Area* a = new_area(1024);
    area_alloc(300, a);
    char* big = nullptr;
    std::memset(area_extend(500, &big, a), 'z', 500);
    area_release(big, a);
    EXPECT_NE(area_extend(400, &big, a), nullptr);
    EXPECT_EQ(big, a->base);
    EXPECT_EQ(state(a), "900 1024 1024");
    EXPECT_EQ(std::string(big, 500), std::string(500, 'z'));
}

TEST(AreaResize, GrowthRelabelsAndRelocates) {
    start();
    Area* a = new_area(1024, "big");
    area_push_pact(0, area_double, nullptr, nullptr, a);
    std::memset(area_alloc(5000, a), 1, 5000);  // doubles three times
    EXPECT_EQ(state(a), "5000 8192 8192");
    EXPECT_STREQ(a->label, "big=8");

    // Below 1 KB counts as 1 KB; a 10 KB object doubles it to 16 KB.
    Area* r = new_area(0, "rsize");
    EXPECT_STREQ(r->label, "rsize=1");
    area_push_pact(0, area_double, nullptr, nullptr, r);
    wchar_t* obj = nullptr;
    area_push_pact(0, relocate_pair, &obj, nullptr, r);
    std::wstring want;
    for (int i = 0; i < 2560; ++i) want += *static_cast<wchar_t*>(area_extend(4, &obj, r)) = L'a' + i % 26;
    EXPECT_STREQ(r->label, "rsize=16");
    EXPECT_EQ(state(r), "10240 16384 16384");
    EXPECT_EQ(obj, reinterpret_cast<wchar_t*>(r->base));
    EXPECT_EQ(std::wstring(obj, 2560), want);
}

TEST(AreaResize, GrowingWrappedArea) {
    start();
    Area* a = new_area(1024, "tsize");
    char *end_seg = nullptr, *base_seg = nullptr;
    area_push_pact(0, area_double, nullptr, nullptr, a);
    area_push_pact(0, relocate_pair, &end_seg, &base_seg, a);
    area_alloc(500, a);
    std::memset(end_seg = at(area_alloc(300, a)), 'E', 300);
    area_release(end_seg, a);
    std::memset(base_seg = at(area_alloc(400, a)), 'B', 400);
    EXPECT_EQ(state(a), "400 500 1024");
    char *old_base = a->base, *old_limit = a->limit;

    char* fresh = at(area_alloc(200, a));  // 100 bytes free: grows
    EXPECT_STREQ(a->label, "tsize=2");
    EXPECT_EQ(state(a), "600 1524 2048");  // the tail segment keeps its distance from the end
    EXPECT_EQ(end_seg, a->limit - 524);
    EXPECT_EQ(base_seg, a->base);
    EXPECT_EQ(fresh, a->base + 400);
    EXPECT_EQ(std::string(end_seg, 300) + std::string(base_seg, 400), std::string(300, 'E') + std::string(400, 'B'));
    EXPECT_EQ(area_relocate(old_base + 399, a), a->base + 399);
    EXPECT_EQ(area_relocate(old_base + 400, a), a->limit - 624);
    EXPECT_EQ(area_relocate(old_limit - 1, a), a->limit - 1);
    EXPECT_EQ(area_relocate(old_limit, a), old_limit);
    EXPECT_EQ(area_relocate(nullptr, a), nullptr);
}

static int make_empty(void*, void*, Area* area) {
    area_reset(area);
    return 0;
}

TEST(AreaPacts, OrderResultsAndGivingUp) {
    start();
    Area* a = new_area(1024);
    EXPECT_EQ(area_run_pacts(0, a), -1);
    EXPECT_EQ(area_run_pacts(1, a), -1);
    std::string log;
    Probe p1{&log, 'a', 0}, p2{&log, 'b', 7}, p3{&log, 'c', 0};
    area_push_pact(0, area_double, nullptr, nullptr, a);
    for (Probe* p : {&p1, &p2, &p3}) area_push_pact(0, probe, p, nullptr, a);
    EXPECT_EQ(area_run_pacts(0, a), 7);
    EXPECT_EQ(log, "ab");
    EXPECT_EQ(p1.seen, 2048u);  // growth came first
    area_pop_pact(0, a);
    area_pop_pact(0, a);
    EXPECT_EQ(at(area_alloc(3000, a)), a->base);
    EXPECT_EQ(log, "aba");
    EXPECT_EQ(p1.seen, 4096u);
    Area* d = new_area(1024);  // a negative result stops the row too
    Probe q1{&log, 'x', 0}, q2{&log, 'y', -2}, q3{&log, 'z', 0};
    for (Probe* q : {&q1, &q2, &q3}) area_push_pact(0, probe, q, nullptr, d);
    EXPECT_EQ(area_run_pacts(0, d), -2);
    EXPECT_EQ(log, "abaxy");

    // A pact that gives up: the request fails and the area stays as it was.
    Area* b = new_area(1024);
    Probe no{&log, 'n', 1};
    area_push_pact(0, probe, &no, nullptr, b);
    char* obj = at(area_alloc(1000, b));
    Area before = *b;
    EXPECT_EQ(area_alloc(100, b), nullptr);
    EXPECT_EQ(area_extend(100, &obj, b), nullptr);
    EXPECT_EQ(obj, before.base);
    EXPECT_EQ(std::memcmp(&before, b, sizeof before), 0);

    // A pact that makes room without a resize: relocations are the identity,
    // even with old bounds left from an earlier resize.
    Area* c = new_area(1024);
    char* keep = c->base + 100;
    area_push_pact(0, make_empty, nullptr, nullptr, c);
    area_push_pact(0, relocate_pair, &keep, nullptr, c);
    area_alloc(1000, c);
    c->old_base = c->base + 50;
    c->old_head = c->base + 500;
    c->old_limit = c->limit;
    EXPECT_EQ(at(area_alloc(100, c)), c->base);
    EXPECT_EQ(keep, c->base + 100);
}

TEST(AreaPacts, FatalFailures) {
    start();
    auto push = [](int row, int n) {
        Area* a = new_area(1024);
        for (int i = 0; i < n; ++i) area_push_pact(row, relocate_pair, nullptr, nullptr, a);
        return a;
    };
    EXPECT_EXIT(area_alloc(1025, new_area(1024, "tsize")), ExitedWithCode(3), "rt: insufficient tsize=1\n");
    EXPECT_EXIT(push(0, 5), ExitedWithCode(3), "rt: program error \\(pact over\\)\\.\n");
    EXPECT_EXIT(push(1, 2), ExitedWithCode(3), "rt: program error \\(pact over\\)\\.\n");
    EXPECT_EXIT(new_area(size_t(1) << 50, "rsize"), ExitedWithCode(3),
                "rt: can't allocate storage for rsize=1099511627776\\.\n");
    pact_capacity[0] = 6;
    EXPECT_EQ(push(0, 6)->pacts[0].used, 6);
    pact_capacity[0] = 4;
    EXPECT_EQ(push(0, 4)->pacts[0].capacity, 4);
    // Scopes pop what they pushed, innermost first; a pact left on top of a
    // scope's own is a program error, not a silent wrong pop.
    Area* s = new_area(1024);
    char* cell = nullptr;
    {
        Relocated<char> outer(&cell, s);
        PactScope inner(1, area_double, nullptr, nullptr, s);
        EXPECT_EQ(s->pacts[0].used + s->pacts[1].used, 2);
    }
    EXPECT_EQ(s->pacts[0].used + s->pacts[1].used, 0);
    EXPECT_EXIT(
        {
            Relocated<char> scope(&cell, s);
            area_push_pact(0, area_double, nullptr, nullptr, s);
        },
        ExitedWithCode(3), "rt: program error \\(pact order\\)\\.\n");
}

// ---------------------------------------------------------------------------
// Wide text in areas

TEST(WideText, MultibyteRoundTrip) {
    start();
    Area* a = new_area(1024);
    const char* mb = "h\xc3\xa9llo \xe2\x82\xac \xf0\x9f\x98\x80!";
    wchar_t* w = mbs_to_area(mb, a);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(std::wstring(w), L"h\u00e9llo \u20ac \U0001F600!");
    EXPECT_EQ(reinterpret_cast<uintptr_t>(w) % 4, 0u);
    EXPECT_STREQ(wcs_to_area_mb(w, a), mb);
    EXPECT_EQ(std::wstring(mbs_to_area("", a)), L"");
    EXPECT_STREQ(wcs_to_area_mb(L"", a), "");
    const wchar_t odd[] = {L'a', 0xDC00, L'b', 0};  // a lone surrogate has no form
    EXPECT_STREQ(wcs_to_area_mb(odd, a), "ab");
    for (const char* bad : {"ab\xff" "cd", "ab\xe2\x82", "\xc0\x80", "x\xed\xa0\x80"}) {
        area_align(4, a);
        char* head = a->head;
        EXPECT_EQ(mbs_to_area(bad, a), nullptr) << bad;
        EXPECT_EQ(a->head, head);
    }

    char* obj = nullptr;
    EXPECT_EQ(put_mb_char(L'\u00e9', &obj, a), L'\u00e9');
    EXPECT_EQ(put_mb_char(wchar_t(0xD800), &obj, a), 0);
    EXPECT_EQ(put_mb_char(L'\u20ac', &obj, a), L'\u20ac');
    EXPECT_EQ(std::string(obj, size_t(a->head - obj)), "\xc3\xa9\xe2\x82\xac");
}

// The source itself lies in the area that grows during the conversion.
TEST(WideText, SourceInsideAGrowingArea) {
    start();
    std::string mb;
    std::wstring wide;
    for (int i = 0; i < 300; ++i) {
        mb += "ab\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";
        wide += L"ab\u00e9\u20ac\U0001F600";
    }
    Area *a = new_area(4096), *b = new_area(8192);
    area_push_pact(0, area_double, nullptr, nullptr, a);
    area_push_pact(0, area_double, nullptr, nullptr, b);
    char* src = at(area_alloc(mb.size() + 1, a));
    std::memcpy(src, mb.c_str(), mb.size() + 1);
    wchar_t* wsrc = static_cast<wchar_t*>(area_alloc((wide.size() + 1) * sizeof(wchar_t), b));
    std::wmemcpy(wsrc, wide.c_str(), wide.size() + 1);
    EXPECT_EQ(std::wstring(mbs_to_area(src, a)), wide);
    EXPECT_EQ(std::string(wcs_to_area_mb(wsrc, b)), mb);
    EXPECT_EQ(area_size(a), 16384u);  // from 4 KB
    EXPECT_EQ(area_size(b), 16384u);  // from 8 KB
}

// ---------------------------------------------------------------------------
// Line and file readers

TEST(Readers, Lines) {
    start();
    input_name = "f";
    Area* a = new_area(1024);
    area_push_pact(0, area_double, nullptr, nullptr, a);
    std::wstring line(100000, L'x');
    std::string text = "one\n\ntwo\0x\n   \n\xc3\xa9t\xc3\xa9\n"s;
    const char* bytes[] = {"a", "b", "c", "\xc3\xa9", "\xe2\x82\xac"};
    for (size_t i = 0; i < line.size(); ++i) text += bytes[i % 5], line[i] = L"abc\u00e9\u20ac"[i % 5];
    TempFile f(text + "\nlast");
    WStream* s = f.open();
    CaptureStderr();
    std::vector<std::wstring> got;
    for (input_number = 1; wchar_t* l = read_line(nullptr, s, a); ++input_number) got.push_back(l);
    EXPECT_EQ(read_line(nullptr, s, a), nullptr);
    ws_close(s);
    EXPECT_EQ(GetCapturedStderr(), "rt: skips a NULL character in the file f(3).\n");
    EXPECT_EQ(error_count, 1);
    EXPECT_EQ(got, (std::vector<std::wstring>{L"one", L"", L"twox", L"   ", L"\u00e9t\u00e9", line, L"last"}));
    s = TempFile("").open();
    EXPECT_EQ(read_line(nullptr, s, a), nullptr);
    ws_close(s);

    // With a cell, lines are appended to the caller's object, which may move.
    Area* b = new_area(1024);
    area_push_pact(0, area_double, nullptr, nullptr, b);
    s = TempFile(std::string(300, 'p') + "\n" + std::string(300, 'q') + "\n").open();
    wchar_t* obj = nullptr;
    EXPECT_EQ(read_line(&obj, s, b), obj);
    wchar_t* second = read_line(&obj, s, b);
    ws_close(s);
    EXPECT_EQ(second, obj + 301);
    EXPECT_EQ(std::wstring(obj) + L"|" + second, std::wstring(300, L'p') + L"|" + std::wstring(300, L'q'));

    auto two_lines = [a](WStream* bad) {
        for (input_number = 1; input_number <= 2; ++input_number) read_line(nullptr, bad, a);
    };
    EXPECT_EXIT(two_lines(TempFile("ok\n\xff\n").open()), ExitedWithCode(3),
                "rt: code error in the file f\\(2\\), irrecoverable\\.\n");
}

TEST(Readers, WholeFile) {
    start();
    input_name = "f";
    Area* a = new_area(1024);
    area_push_pact(0, area_double, nullptr, nullptr, a);
    auto whole = [a](const std::string& text) {
        WStream* s = TempFile(text).open();
        std::wstring w = read_text_file(s, a);
        ws_close(s);
        return w;
    };
    EXPECT_EQ(whole("alpha\n\nbeta\n"), L"alpha\n\nbeta");
    EXPECT_EQ(whole("a\n\n"), L"a\n");
    EXPECT_EQ(whole("no end"), L"no end");
    EXPECT_EQ(whole("\n") + whole(""), L"");
    EXPECT_EQ(whole(std::string(5000, 'z') + "\xc3\xa9\n"), std::wstring(5000, L'z') + L"\u00e9");
    EXPECT_EQ(error_count, 0);
    CaptureStderr();
    EXPECT_EQ(whole("x\xffy\0z\n"s), L"xyz");
    EXPECT_EQ(GetCapturedStderr(), "rt: code error in the file f.\nrt: skips a NULL character in the file f.\n");
    EXPECT_EQ(error_count, 2);
}

// ---------------------------------------------------------------------------
// Numbers

TEST(Numbers, ParseAndFormat) {
    std::pair<const wchar_t*, double> parsed[] = {
        {L"  42 \t", 42},  {L"0x10", 16}, {L" 0X1f", 31}, {L"1e3", 1000}, {L"-2.5", -2.5},
        {L"12abc", 0},     {L"4 2", 0},   {L"abc", 0},    {L"", 0},       {L" -inf ", -INFINITY},
    };
    for (auto [text, value] : parsed) EXPECT_EQ(parse_number(text), value) << text;
    EXPECT_TRUE(std::isnan(parse_number(L"nan")));
    // Whether a text is a number at all: the same reading, without the
    // texts that read as 0 for want of a number and without not-a-number.
    double x = 0;
    for (const wchar_t* text : {L"  42 \t", L" 0 ", L"0x10", L" -inf ", L"infinity", L"0x1p3", L"+.5"}) {
        EXPECT_TRUE(read_number(text, &x)) << text;
        EXPECT_EQ(x, parse_number(text)) << text;
    }
    for (const wchar_t* text : {L"", L" ", L".", L"12abc", L"4 2", L"0x", L"1e", L"- 1", L"nan", L" -NAN ", L"nan(1)"}) {
        x = 7;
        EXPECT_FALSE(read_number(text, &x)) << text;
        EXPECT_EQ(x, 7) << text;
    }

    std::pair<double, const char*> formatted[] = {
        {7.0, "7"},           {-0.5, "-0.5"},         {2.5, "2.5"},           {4294967296.0, "4294967296"},
        {1e10, "10000000000"}, {2147483647.0, "2147483647"}, {-2147483648.0, "-2147483648"},
        {2147483648.0, "2147483648"}, {-0.0, "0"},    {1e-5, "1e-05"},        {NAN, "nan"}, {-INFINITY, "-inf"},
        {95257005352.0, "95257005352"}, {9007199254740991.0, "9007199254740991"},
        {-9007199254740991.0, "-9007199254740991"}, {9007199254740992.0, "9.0072e+15"}, {-1e300, "-1e+300"},
    };
    for (auto [value, text] : formatted) {
        char buf[NUMBER_BUF];
        format_number(buf, value);
        EXPECT_STREQ(buf, text);
    }
    CaptureStdout();
    print_number(3.0);
    out_putwc(L' ');
    print_number(0.25);
    out_flush();
    EXPECT_EQ(GetCapturedStdout(), "3 0.25");
}

// Numbers mean the same in a locale whose decimal point is a comma: every
// text formatted and parsed there is the one of the C locale.
TEST(Numbers, SameInACommaLocale) {
    std::mt19937_64 rng(9);
    std::vector<double> values = {0.5, -2.25, 1e300, 3.0, 1e-7, 12345.678};
    for (int i = 0; i < 3000; ++i) {
        uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        values.push_back(i % 2 ? v : double(int64_t(rng() % 2000000) - 1000000) / 64);
    }
    std::vector<std::string> texts;
    std::vector<double> parsed;
    for (double v : values) {
        char buf[NUMBER_BUF];
        format_number(buf, v);
        texts.push_back(buf);
        std::wstring w(texts.back().begin(), texts.back().end());
        parsed.push_back(parse_number(w.c_str()));
    }
    char dir[] = "/tmp/rk-locale-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string cmd = std::string("localedef -i de_DE -f UTF-8 ") + dir + "/de_DE.UTF-8 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << "the locales package is needed";
    setenv("LOCPATH", dir, 1);
    ASSERT_NE(setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    ASSERT_STREQ(localeconv()->decimal_point, ",");
    for (size_t i = 0; i < values.size(); ++i) {
        char buf[NUMBER_BUF];
        format_number(buf, values[i]);
        EXPECT_EQ(texts[i], buf);
        std::wstring w(texts[i].begin(), texts[i].end());
        double p = parse_number(w.c_str());
        EXPECT_TRUE(p == parsed[i] || (std::isnan(p) && std::isnan(parsed[i]))) << texts[i];
    }
    EXPECT_EQ(parse_number(L"1,5"), 0);
    setlocale(LC_ALL, "C.UTF-8");
    unsetenv("LOCPATH");
    std::system((std::string("rm -rf ") + dir).c_str());
}

// ---------------------------------------------------------------------------
// Character coding: the fast UTF-8 paths must give what the C library gives.

TEST(Coding, AgreesWithTheCLibrary) {
    start();
    ASSERT_TRUE(utf8_locale);
    int mismatches = 0;
    std::string first;
    auto check = [&](std::vector<unsigned char> bytes) {  // every prefix of the bytes
        for (size_t n = 1; n <= bytes.size(); ++n) {
            wchar_t lib = L'?', mine = L'?';
            mbstate_t st{};
            size_t r = std::mbrtowc(&lib, reinterpret_cast<const char*>(bytes.data()), n, &st);
            int want = r == size_t(-1) ? -1 : r == size_t(-2) ? 0 : r == 0 ? 1 : int(r);
            int got = decode_char(bytes.data(), n, &mine);
            if ((got != want || (got > 0 && mine != lib)) && mismatches++ == 0)
                for (size_t i = 0; i < n; ++i) first += std::to_string(bytes[i]) + " ";
        }
    };
    const int tails[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
    for (unsigned char b0 = 0;; ++b0) {
        for (unsigned char b1 = 0;; ++b1) {
            check({b0, b1});
            for (int b2 : tails) {
                if (b0 < 0xE0) break;
                check({b0, b1, uint8_t(b2), 'x'});
                for (int b3 : tails)
                    if (b0 >= 0xF0 && (b1 & 0xC0) == 0x80) check({b0, b1, uint8_t(b2), uint8_t(b3), 0x80, 0x80});
            }
            if (b1 == 0xFF) break;
        }
        if (b0 == 0xFF) break;
    }
    EXPECT_EQ(mismatches, 0) << "first: " << first;

    std::vector<uint32_t> codes{0x110000, 0x1FFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    for (uint32_t c = 0; c < 0x110000; ++c) codes.push_back(c);
    for (uint32_t c : codes) {
        char lib[MB_LEN_MAX], mine[MB_LEN_MAX];
        mbstate_t st{};
        size_t r = std::wcrtomb(lib, wchar_t(c), &st);
        int got = encode_char(wchar_t(c), mine);
        if ((got != (r == size_t(-1) ? -1 : int(r)) || (got > 0 && std::memcmp(lib, mine, size_t(got)) != 0)) &&
            mismatches++ == 0)
            first = std::to_string(c);
    }
    EXPECT_EQ(mismatches, 0) << "first: " << first;

    // A few worked out by hand: bytes used and character (0 when none).
    std::pair<std::string, std::string> decoded[] = {{"\xe2\x82\xac", "3 8364"}, {"\xf0\x9f\x98\x80", "4 128512"},
                                                     {"\xe2\x82", "0 0"}, {"\xc1\xbf", "-1 0"}, {"\xed\xbf\xbf", "-1 0"}};
    for (auto& [bytes, want] : decoded) {
        wchar_t wc = 0;
        int r = decode_char(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &wc);
        EXPECT_EQ(std::to_string(r) + " " + std::to_string(r > 0 ? wc : 0), want);
    }
    char out[MB_LEN_MAX];
    EXPECT_EQ(std::string(out, size_t(encode_char(0x10FFFF, out))), "\xf4\x8f\xbf\xbf");
    EXPECT_EQ(encode_char(0xDFFF, out), -1);
}

// encode_text in pieces of any size gives the bytes of the C library's
// conversion, and never splits a character.
TEST(Coding, EncodingInPiecesOfAnySize) {
    start();
    std::mt19937 rng(3);
    const wchar_t alphabet[] = {L'a', L':', L'\n', 0xE9, 0x20AC, 0x1F600, 0x4E2D, 0x7F, 0x80};
    for (int round = 0; round < 2000; ++round) {
        std::wstring text;
        size_t len = rng() % 200;
        for (size_t i = 0; i < len; ++i) text += rng() % 3 ? wchar_t('a' + rng() % 26) : alphabet[rng() % 9];
        std::string want;
        for (wchar_t c : text) {
            char b[MB_LEN_MAX];
            mbstate_t st{};
            want.append(b, std::wcrtomb(b, c, &st));
        }
        std::string got;
        size_t cap = MB_LEN_MAX + rng() % 40, done = 0;
        while (done < text.size()) {
            std::vector<char> out(cap);
            size_t taken;
            size_t n = encode_text(text.data() + done, text.size() - done, out.data(), cap, &taken);
            ASSERT_GT(taken, 0u);
            got.append(out.data(), n);
            done += taken;
        }
        ASSERT_EQ(got, want) << round;
    }
}

// find_bytes against a plain search at every vector level: needles of 1 to
// 40 bytes from a small alphabet (so that first and last bytes often stand
// without the rest), at the start, the end and across the 16- and 32-byte
// steps of the haystack, which is copied so that nothing after it can be read.
TEST(Coding, FindBytesAsAPlainSearch) {
    start();
    std::mt19937 rng(39);
    const int best = simd_level;
    for (int round = 0; round < 20000; ++round) {
        std::string hay(rng() % 150, 'a'), needle(rng() % 40 + 1, 'a');
        for (char& c : hay) c = "ab:\n\xc3"[rng() % 5];
        for (char& c : needle) c = "ab:\n\xc3"[rng() % 5];
        if (round % 3 == 0 && needle.size() <= hay.size())
            hay.replace(rng() % (hay.size() - needle.size() + 1), needle.size(), needle);
        std::vector<unsigned char> h(hay.begin(), hay.end()), n(needle.begin(), needle.end());
        size_t want = hay.find(needle);
        for (int level = SIMD_SCALAR; level <= best; ++level) {
            simd_level = level;
            const unsigned char* at = find_bytes(h.data(), h.size(), n.data(), n.size());
            simd_level = best;
            ASSERT_EQ(at ? size_t(at - h.data()) : std::string::npos, want) << round << " level " << level;
        }
    }
}

// ---------------------------------------------------------------------------
// Output units

static std::string sent;

// Units of every size up to three times the buffer, written in pieces of
// every kind: before the end only whole units go out (marked ones may hold
// empty lines); out_flush_units gives all of them, out_flush the rest.
TEST(Output, OnlyWholeUnitsGoOutBeforeTheEnd) {
    start();
    std::mt19937 rng(5);
    out_redirect([](const char* bytes, size_t n) -> long { return sent.append(bytes, n), long(n); });
    for (OutUnits kind : {OUT_RECORDS, OUT_MARKED}) {
        out_units(kind);
        sent.clear();
        std::string all;
        std::vector<size_t> ends = {0};
        for (int unit = 0; unit < 60; ++unit) {
            size_t size = rng() % 4 == 0 ? rng() % (3 << 16) : rng() % 300;
            while (all.size() - ends.back() < size) {
                std::wstring line(1 + rng() % 9000, wchar_t('a' + rng() % 26));
                line[rng() % line.size()] = rng() % 3 ? L'x' : L'é';
                line += kind == OUT_MARKED && rng() % 4 == 0 ? L"\n\n" : L"\n";
                char b[MB_LEN_MAX];
                for (wchar_t c : line) all.append(b, size_t(encode_char(c, b)));
                if (rng() % 2) out_write(line.data(), line.size());
                else for (wchar_t c : line) out_putwc(c);
                ASSERT_TRUE(std::find(ends.begin(), ends.end(), sent.size()) != ends.end()) << unit;
            }
            out_bytes("\n", 1);  // the empty line that ends a record
            out_mark();
            ends.push_back((all += "\n").size());
        }
        out_bytes("half:", 5);
        ASSERT_TRUE(out_flush_units());
        EXPECT_EQ(sent, all);
        ASSERT_TRUE(out_flush());
        EXPECT_EQ(sent, all + "half:");
    }
    out_units(OUT_RECORDS);
    // The empty line that ends a record may begin right after the part of
    // it that was set aside.
    sent.clear();
    std::string big = "a:" + std::string(out_detail::BUFSIZE - 3, 'x') + "\n";
    out_bytes(big.data(), big.size());
    out_bytes("\nb:", 3);
    out_flush_units();
    EXPECT_EQ(sent, big + "\n");
    out_flush();
    out_redirect(nullptr);
}

// The fast paths of the number conversions give exactly what the C
// library gives: "%g" / "%lld" out, wcstod in, on random values of every
// magnitude and on the decimals records hold.
TEST(Numbers, SameAsTheLibraryConversions) {
    uint64_t seed = 88172645463325252ull;
    auto next = [&] {
        seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
        return seed;
    };
    char ours[NUMBER_BUF], theirs[NUMBER_BUF];
    for (int i = 0; i < 400000; ++i) {
        number_digits = i % 7 ? NUMBER_DIGITS_DEFAULT : 1 + i / 7 % NUMBER_DIGITS_MAX;  // -D digits
        double x;
        switch (i % 6) {
        case 0: x = std::ldexp(double(next() >> 11), int(next() % 60) - 80); break;  // any bits
        case 1: x = double(int64_t(next() % 2000001) - 1000000) / 100.0; break;       // prices
        case 2: x = std::ldexp(double(next() % 1000000000), -int(next() % 14)); break;  // ties
        case 3: x = double(next() >> (10 + next() % 54)); break;                         // integers to 2^54
        case 4:  // a few steps below a power of ten, where its logarithm rounds up
            x = std::pow(10.0, int(next() % 22) - 4);
            for (int k = int(next() % 4); k >= 0; --k) x = std::nextafter(x, 0.0);
            break;
        default: x = std::round(std::ldexp(double(next() >> 11), -40) * 1e6) / 1e6;
        }
        if (next() & 1) x = -x;
        format_number(ours, x);
        if (std::fabs(x) < 9007199254740992.0 && double(int64_t(x)) == x)
            std::snprintf(theirs, sizeof theirs, "%lld", (long long)x);
        else
            std::snprintf(theirs, sizeof theirs, "%.*g", int(number_digits), x);
        ASSERT_STREQ(ours, theirs) << number_digits << " digits, bits " << std::hexfloat << x;
        // Reading back plain decimals of up to 17 digits.
        char text[40];
        int digits = 1 + int(next() % 17), point = int(next() % (digits + 1));
        int n = 0;
        if (next() & 1) text[n++] = '-';
        for (int d = 0; d < digits; ++d) {
            if (d == point && point > 0) text[n++] = '.';
            text[n++] = char('0' + next() % 10);
        }
        text[n] = 0;
        wchar_t wide[40];
        for (int k = 0; k <= n; ++k) wide[k] = wchar_t(text[k]);
        double want = std::wcstod(wide, nullptr);
        double got = parse_number(wide);
        ASSERT_EQ(std::memcmp(&want, &got, sizeof got), 0) << text;
    }
    number_digits = NUMBER_DIGITS_DEFAULT;
}
