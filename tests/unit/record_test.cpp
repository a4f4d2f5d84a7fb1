// Record library: the fields of a record, records larger than the areas, a
// window of records kept in the ring, the input over the file arguments, and
// the writers.
#include <fcntl.h>

#include <deque>
#include <memory>
#include <random>

#include "keys.h"
#include "simd.h"
#include "unit_util.h"
#if defined(__x86_64__)
#include <cpuid.h>
#endif

using namespace std::string_literals;
using testing::ExitedWithCode;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;
using Lines = std::vector<std::wstring>;

static std::string utf8(const std::wstring& w) {
    std::string s;
    char b[MB_LEN_MAX];
    mbstate_t st{};
    for (wchar_t c : w) s.append(b, std::wcrtomb(b, c, &st));
    return s;
}

// "[name](value)" for a field with a name, "(value)" for one without.
static std::wstring show(const Field* rec) {
    std::wstring r;
    for (const Field* f = rec; f->start; ++f) {
        if (!r.empty()) r += L' ';
        if (field_has_name(f)) r += L'[' + std::wstring(f->start, f->value - 1) + L']';
        r += L'(' + std::wstring(f->value, f->end) + L')';
    }
    return r;
}

// What differs between the record and its expected lines: each field's line,
// its value pointer (after the first colon, or the start), the closing triple
// and the 0 it points at.
static std::string differs(const Field* rec, const Lines& lines) {
    size_t i = 0;
    for (const Field* f = rec; f->start; ++f, ++i) {
        if (i == lines.size()) return "too many fields";
        if (std::wstring(f->start, f->end + 1) != lines[i] + L'\n') return "line " + std::to_string(i);
        size_t colon = lines[i].find(L':');
        if (f->value != f->start + (colon == std::wstring::npos ? 0 : colon + 1)) return "value " + std::to_string(i);
    }
    if (i != lines.size()) return "too few fields";
    if (rec[i].value != nullptr || rec[i].end == nullptr || *rec[i].end != 0) return "closing triple";
    return "";
}

// Areas of 1 KB that double when full, as a tool makes them from -D rsize=1,tsize=1.
static void small_areas(Area** text, Area** table) {
    *text = new_area(1024, "rsize");
    *table = new_area(1024, "tsize");
    area_push_pact(0, area_double, nullptr, nullptr, *text);
    area_push_pact(0, area_double, nullptr, nullptr, *table);
}

// Every record of the text, both areas reset before each; the text of each
// is one string up to its closing 0.
static Lines all_records(const std::string& bytes) {
    Area *text, *table;
    small_areas(&text, &table);
    WStream* s = TempFile(bytes).open();
    Lines v;
    for (Field* rec; area_reset(text), area_reset(table), (rec = read_record(s, text, table));) {
        v.push_back(show(rec));
        EXPECT_EQ(rec->start + std::wcslen(rec->start), record_end(rec)->end);
    }
    ws_close(s);
    return v;
}

TEST(RecordReader, FieldsOfARecord) {
    start();
    EXPECT_EQ(all_records("x:y:z\n:v\nno colon here\n   \n\ta:\tb\r\nempty:\n::\n\xc3\xa9:\xe2\x82\xac:x\nlast:1"),
              Lines{L"[x](y:z) [](v) (no colon here) (   ) [\ta](\tb\r) [empty]() [](:) [\u00e9](\u20ac:x) [last](1)"});
    Area *text, *table;
    small_areas(&text, &table);
    WStream* s = TempFile("x:y\n:v\nfree\n").open();
    Field* rec = read_record(s, text, table);
    ws_close(s);
    EXPECT_EQ(differs(rec, {L"x:y", L":v", L"free"}), "");
    EXPECT_EQ(std::wstring(rec->start), L"x:y\n:v\nfree\n");
}

TEST(RecordReader, SeparatorsAndNuls) {
    start();
    EXPECT_EQ(all_records(""), Lines{});
    EXPECT_EQ(all_records("\n\n\n"), Lines{});
    EXPECT_EQ(all_records("\0\n\0"s), Lines{});
    EXPECT_EQ(all_records("\n\n\na:1\nb:2\n\n\n\nc:3\n\n\n"), (Lines{L"[a](1) [b](2)", L"[c](3)"}));
    // A line of NULs only is empty, so it ends the record.
    EXPECT_EQ(all_records("na\0me:va\0lue\n\0\nnext\0:1\n\0"s), (Lines{L"[name](value)", L"[next](1)"}));

    // Many short records, and long lines whose colons and NULs lie past 64 bytes.
    std::string bytes;
    Lines want;
    for (int i = 0; i < 40; ++i) {
        bytes += "r:" + std::to_string(i) + (i % 3 ? "\n\n" : "\n\n\n");
        want.push_back(L"[r](" + std::to_wstring(i) + L")");
    }
    std::string value;
    std::wstring clean;
    for (int i = 0; i < 300; ++i) value += i % 50 == 49 ? '\0' : char('a' + i % 26);
    for (char c : value) clean += c ? std::wstring(1, wchar_t(c)) : L"";
    bytes += std::string(100, 'n') + ":" + value + ":" + value + "\nk:" + value + "\n" + value + "\n\n";
    want.push_back(L"[" + std::wstring(100, L'n') + L"](" + clean + L":" + clean + L") [k](" + clean + L") (" +
                   clean + L")");
    EXPECT_EQ(all_records(bytes), want);
}

// A record of 400 fields of many lengths, one of them of 100,000 characters,
// beginning with a character of two bytes.
static Lines big_lines() {
    Lines v{L"\u00e9tiquette:1"};
    for (int j = 0; j < 400; ++j) {
        std::wstring value;
        for (int k = 0; k < j * 37 % 250; ++k) value += L"ab \u00e9\u20ac\U0001F600:xy"[(j + k) % 9];
        v.push_back(j % 7 == 3 ? L"nameless " + std::to_wstring(j) : L"f" + std::to_wstring(j) + L":" + value);
    }
    std::wstring huge(100000, L' ');
    for (size_t k = 0; k < huge.size(); ++k) huge[k] = L"\u00e9\u20ac\U0001F600xyz:"[k % 7];
    v.insert(v.begin() + 200, L"huge:" + huge);
    return v;
}

TEST(RecordReader, RecordLargerThanTheAreas) {
    start();
    const Lines lines = big_lines();
    std::string bytes;
    for (const std::wstring& l : lines) bytes += utf8(l) + "\n";
    const std::string input = "\n\n" + bytes + "\nz:1";
    // From a file; from a pipe whose first piece ends inside the record's
    // first character, so that its text is still empty when the area must
    // grow for the large pieces that follow; from a pipe of small pieces.
    const char* ways[] = {"file", "cut first", "small pieces"};
    std::vector<std::string> cut_first{"\n\n\xc3"};
    for (const std::string& p : small_pieces(input.substr(3), 5000)) cut_first.push_back(p);
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(ways[way]);
        Area *text, *table;
        small_areas(&text, &table);
        TempFile f(input);
        std::unique_ptr<PipeFeed> feed;
        if (way > 0) feed = std::make_unique<PipeFeed>(way == 1 ? cut_first : small_pieces(input));
        WStream* s = way == 0 ? f.open() : feed->stream;
        Field* rec = read_record(s, text, table);
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(differs(rec, lines), "");
        int outside = 0;
        for (Field* f = rec; f->start; ++f)
            for (char* p : {at(f->start), at(f->value), at(f->end)}) outside += p < text->base || p >= text->limit;
        EXPECT_EQ(outside, 0);
        EXPECT_TRUE(at(rec) >= table->base && at(record_end(rec) + 1) <= table->limit);
        CaptureStdout();
        write_record(rec);
        out_flush();
        EXPECT_TRUE(GetCapturedStdout() == bytes + "\n");

        area_reset(text);
        area_reset(table);
        rec = read_record(s, text, table);
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(show(rec), L"[z](1)");
        EXPECT_EQ(read_record(s, text, table), nullptr);
        if (way == 0) ws_close(s);
    }
}

// A window of the last records read, kept in the areas while the oldest is
// released as each new record arrives; the pacts keep it valid on growth.
using Window = std::deque<std::pair<int, Field*>>;

static int grow_window_text(void* w, void*, Area* area) {
    area_double(nullptr, nullptr, area);
    for (auto& [id, rec] : *static_cast<Window*>(w)) relocate_record(rec, area);
    return 0;
}

static int grow_window_table(void* w, void*, Area* area) {
    area_double(nullptr, nullptr, area);
    for (auto& [id, rec] : *static_cast<Window*>(w)) area_relocate_cell(&rec, area);
    return 0;
}

// Record i of the window test: 1 to 5 fields of up to 300 characters, a few
// without a name, and a large first field in every 37th record.
static Lines window_record(int i) {
    Lines v;
    for (int j = 0; j <= i % 5; ++j) {
        std::wstring value;
        int len = (i * 131 + j * 17) % 300 + (i % 37 == 0 && j == 0 ? 3000 : 0);
        for (int k = 0; k < len; ++k) value += L"ab \u00e9\u20ac\U0001F600xyz"[(i + k) % 9];
        v.push_back(j % 3 == 2 ? L"~" + value : L"f" + std::to_wstring(j) + L":" + value);
    }
    return v;
}

TEST(RecordReader, WindowOfRecordsInTheRing) {
    start();
    const int count = 3000, keep = 6;
    std::vector<Lines> want;
    std::string bytes;
    for (int i = 0; i < count; ++i) {
        want.push_back(window_record(i));
        for (const std::wstring& l : want.back()) bytes += utf8(l) + "\n";
        bytes += i % 4 == 1 ? "\0\n"s : i % 4 == 2 ? "\n\n\n" : "\n";
    }
    for (int way = 0; way < 2; ++way) {  // from a file, from a pipe of small pieces
        SCOPED_TRACE(way);
        Area* text = new_area(1024, "rsize");
        Area* table = new_area(1024, "tsize");
        Window w;
        area_push_pact(0, grow_window_text, &w, nullptr, text);
        area_push_pact(0, grow_window_table, &w, nullptr, table);
        TempFile f(bytes);
        std::unique_ptr<PipeFeed> feed;
        if (way == 1) feed = std::make_unique<PipeFeed>(small_pieces(bytes));
        WStream* s = way == 0 ? f.open() : feed->stream;
        int next = 0, wraps = 0;
        ptrdiff_t last = 0;
        std::string bad;
        while (Field* rec = read_record(s, text, table)) {
            wraps += text->head - text->base < last;
            last = text->head - text->base;
            if (w.size() == keep) {
                w.pop_front();
                area_release(w.front().second->start, text);
                area_release(w.front().second, table);
            }
            w.emplace_back(next++, rec);
            for (auto& [id, r] : w)
                if (bad.empty() && id < count && !differs(r, want[size_t(id)]).empty())
                    bad = "record " + std::to_string(id) + " after " + std::to_string(next) + ": " +
                          differs(r, want[size_t(id)]);
            if (!bad.empty() || next > count) break;
        }
        EXPECT_EQ(bad, "");
        EXPECT_EQ(next, count);
        EXPECT_GT(wraps, 20);
        EXPECT_STRNE(text->label, "rsize=1");
        if (way == 0) ws_close(s);
    }
}

// value@input_name#number/total for each record of an input over the words.
static std::string read_input(const std::vector<std::string>& words, int mode, int opens = 1) {
    Area *text, *table;
    small_areas(&text, &table);
    start(words);
    std::string r;
    for (int i = 0; i < opens; ++i) {
        Input in;
        open_input(&in, mode);
        r += "|";
        while (Field* rec = next_record(&in, text, table)) {
            r += utf8(std::wstring(rec->value, rec->end)) + "@" + input_name + "#" + std::to_string(in.number) +
                 "/" + std::to_string(in.total) + " ";
            area_reset(text);
        }
        if (in.mode != INPUT_EXHAUSTED) r += "not exhausted";
    }
    return r + "|" + std::to_string(nargs);
}

TEST(Input, FileArguments) {
    TempFile f1("a:1\n\nb:2\n"), f2("\n\nc:3"), piped("s:1\n");
    const std::string a = f1.path, c = f2.path;
    int saved = dup(0), fd = open(piped.path.c_str(), O_RDONLY);
    dup2(fd, 0);
    close(fd);
    EXPECT_EQ(read_input({a, "-", c}, INPUT_ALL_FILES),
              "|1@" + a + "#1/1 2@" + a + "#2/2 1@(stdin)#1/3 3@" + c + "#1/4 |0");
    dup2(saved, 0);
    close(saved);
    EXPECT_EQ(read_input({a, c}, INPUT_ONE_FILE, 2), "|1@" + a + "#1/1 2@" + a + "#2/2 |3@" + c + "#1/1 |0");

    // A later file that can't be opened ends the input with a counted error.
    CaptureStderr();
    EXPECT_EQ(read_input({a, "/nonexistent/x", c}, INPUT_ALL_FILES), "|1@" + a + "#1/1 2@" + a + "#2/2 |1");
    EXPECT_EQ(GetCapturedStderr(), "rt: can't open /nonexistent/x.\nrt: /nonexistent/x: No such file or directory\n");
    EXPECT_EQ(error_count, 1);
    EXPECT_EXIT(read_input({"/nonexistent/x", a}, INPUT_ALL_FILES), ExitedWithCode(3),
                "rt: can't open /nonexistent/x\\.\nrt: /nonexistent/x: No such file or directory\n");

    start();  // no file arguments: standard input, one file
    Input in;
    open_input(&in, INPUT_ALL_FILES);
    EXPECT_EQ(in.mode, INPUT_ONE_FILE);
    EXPECT_STREQ(input_name, "(stdin)");
    close_input(&in);
}

TEST(RecordReader, UndecodableInputIsFatal) {
    TempFile bad("a:1\n\nb:2\n\nc:\xff\n"), cut("a:1\n\nb:\xe2\x82");
    EXPECT_EXIT(read_input({bad.path}, INPUT_ALL_FILES), ExitedWithCode(3),
                "rt: code error in Rk-file " + bad.path + "\\(3\\), irrecoverable\\.\n");
    EXPECT_EXIT(read_input({cut.path}, INPUT_ALL_FILES), ExitedWithCode(3),
                "rt: code error in Rk-file " + cut.path + "\\(2\\), irrecoverable\\.\n");
}

// For each record, whether one of its lines holds only a carriage return,
// worked out from the text: NULs dropped, lines grouped by empty lines.
static std::vector<bool> cr_lines_of(std::string text) {
    std::erase(text, '\0');
    std::vector<bool> v;
    bool open = false;
    for (size_t at = 0; at < text.size();) {
        size_t nl = std::min(text.find('\n', at), text.size());
        std::string line = text.substr(at, nl - at);
        at = nl + 1;
        if (!line.empty() && !open) v.push_back(false);
        open = !line.empty();
        if (line == "\r") v.back() = true;
    }
    return v;
}

// The reader notes a line of only a carriage return exactly, at every
// vector level, wherever the line falls: across blocks and chunks, after
// NULs and characters of several bytes, near the end of a small area, from a
// file and from a pipe of small pieces; once until the flag is cleared.
TEST(RecordReader, LinesOfOnlyACarriageReturn) {
    start();
    std::mt19937 rng(33);
    const std::vector<std::string> pieces{"\r", "\n", "\r\n", "\n\r\n", "x:y", "\xc3\xa9", "\0"s, "\r\0"s};
    const int best = simd_level;
    int with_cr = 0;
    for (int round = 0; round < 120; ++round) {
        std::string bytes;
        for (int k = int(rng() % 300); k > 0; --k)
            bytes += rng() % 4 ? pieces[rng() % pieces.size()] : std::string(rng() % 90, 'a');
        std::vector<bool> want = cr_lines_of(bytes);
        for (bool b : want) with_cr += b;
        for (int level = SIMD_SCALAR; level <= best; ++level) {
            for (int way = 0; way < 2; ++way) {
                simd_level = level;
                Area *text, *table;
                small_areas(&text, &table);
                TempFile f(bytes);
                std::unique_ptr<PipeFeed> feed;
                if (way == 1) feed = std::make_unique<PipeFeed>(small_pieces(bytes, rng() % 64 + 1));
                WStream* s = way == 0 ? f.open() : feed->stream;
                std::vector<bool> got;
                CaptureStderr();
                while (area_reset(text), area_reset(table), s->told_cr = false, read_record(s, text, table))
                    got.push_back(s->told_cr);
                std::string notes = GetCapturedStderr();
                if (way == 0) ws_close(s);
                simd_level = best;
                ASSERT_EQ(got, want) << "round " << round << " level " << level << " way " << way;
                ASSERT_EQ(std::count(notes.begin(), notes.end(), '\n'), std::count(got.begin(), got.end(), true));
            }
        }
    }
    EXPECT_GT(with_cr, 100);
}

// A record taken as its bytes is written exactly as the reader's record
// would be, with the same notes, at every vector level, from a file and
// from a pipe of small pieces: the bytes path gives way wherever a byte,
// a line of only CR, a long record or the buffer's end calls for it.
TEST(RecordBytes, WrittenAsTheReadersRecords) {
    start();
    std::mt19937 rng(39);
    const std::vector<std::string> pieces{"\n", "\n\n", "a:b\n", "x", ":", "\xc3\xa9", "\xe2\x82\xac",
                                          "\xf0\x9f\x98\x80", "\r", "\r\n", "\0"s};
    const int best = simd_level;
    int given = 0, read = 0;
    for (int round = 0; round < 60; ++round) {
        std::string bytes;
        while (bytes.size() < 140000)
            bytes += rng() % 5 ? pieces[rng() % pieces.size()] : std::string(rng() % (round % 7 ? 120 : 70000), 'a');
        if (round % 3 == 0) bytes += "z";  // no newline at the end
        for (int level = SIMD_SCALAR; level <= best; ++level) {
            simd_level = level;
            std::string out[2], notes[2];
            for (int way = 0; way < 2; ++way) {
                Area *text, *table;
                small_areas(&text, &table);
                TempFile f(bytes);
                std::unique_ptr<PipeFeed> feed;
                if (round % 2) feed = std::make_unique<PipeFeed>(small_pieces(bytes, rng() % 5000 + 1));
                WStream* s = round % 2 ? feed->stream : f.open();
                CaptureStdout();
                CaptureStderr();
                RecordBytes b;
                for (Field* rec; area_reset(text), area_reset(table),
                                 (rec = way ? read_record_bytes(s, &b, text, table) : read_record(s, text, table)) ||
                                     (way && b.text);) {
                    if (rec) write_record(rec), read += way;
                    else write_record_bytes(&b), ++given;
                }
                out_flush();
                out[way] = GetCapturedStdout();
                notes[way] = GetCapturedStderr();
                if (round % 2 == 0) ws_close(s);
            }
            simd_level = best;
            ASSERT_EQ(out[1], out[0]) << "round " << round << " level " << level;
            ASSERT_EQ(notes[1], notes[0]) << "round " << round << " level " << level;
        }
    }
    EXPECT_GT(given, 1000);
    EXPECT_GT(read, 100);
}

TEST(Writer, RecordsAndFields) {
    start();
    Area *text, *table;
    small_areas(&text, &table);
    WStream* s = TempFile("a:1\n\xc3\xa9:\xe2\x82\xac").open();
    Field* rec = read_record(s, text, table);
    ws_close(s);
    wchar_t one[] = L"x:1\n", two[] = L"y\n";  // fields apart from each other
    Field apart[] = {{one, one + 2, one + 3}, {two, two, two + 1}, {nullptr, nullptr, two + 2}};
    CaptureStdout();
    write_record(rec);
    write_fields(rec);
    write_fields(apart);
    write_fields(apart + 2);  // no fields: nothing at all
    out_flush();
    EXPECT_EQ(GetCapturedStdout(), "a:1\n\xc3\xa9:\xe2\x82\xac\n\na:1\n\xc3\xa9:\xe2\x82\xac\n\nx:1\ny\n\n");
}

// 1 when the upper halves of the vector registers are in use (XGETBV with
// ECX=1, bit 2), 0 when they are clean, -1 when the processor can't tell.
static int upper_state_in_use() {
#if defined(__x86_64__)
    unsigned a, b, c, d;
    if (!__get_cpuid_count(0xD, 1, &a, &b, &c, &d) || !(a & 4)) return -1;
    unsigned lo, hi;
    asm volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(1));
    return int(lo >> 2 & 1);
#else
    return -1;
#endif
}

// The AVX2 kernels leave no dirty upper state behind them: SSE code after
// them would pay for a state change on every switch.
TEST(Vector, UpperStateCleanAfterReadingAndWriting) {
    if (simd_level != SIMD_AVX2 || upper_state_in_use() < 0) GTEST_SKIP() << "no AVX2, or no XGETBV 1";
    start();
    Area *text, *table;
    small_areas(&text, &table);
    std::string ascii, mixed;
    for (int i = 0; i < 300; ++i) ascii += "field" + std::to_string(i) + ":" + std::string(i % 97 + 40, 'a' + i % 26) + "\n";
    for (int i = 0; i < 300; ++i) mixed += "f\xc3\xa9" + std::to_string(i) + ":" + std::string(i % 50, 'x') + "\xe2\x82\xac\n";
    for (const std::string& t : {ascii, mixed}) {
        WStream* s = TempFile(t).open();
        Field* rec = read_record(s, text, table);
        int after_read = upper_state_in_use();
        ASSERT_NE(rec, nullptr);
        CaptureStdout();
        out_write(rec->start, size_t(record_end(rec)->end - rec->start));
        int after_write = upper_state_in_use();
        const unsigned char* p = reinterpret_cast<const unsigned char*>(t.data());
        bool found = find_bytes(p, t.size(), p + t.size() - 9, 9) != nullptr;
        int after_find = upper_state_in_use();
        out_flush();
        EXPECT_TRUE(found);
        EXPECT_EQ(after_find, 0);
        EXPECT_EQ(GetCapturedStdout(), t);
        EXPECT_EQ(after_read, 0);
        EXPECT_EQ(after_write, 0);
        ws_close(s);
        area_reset(text);
        area_reset(table);
    }
}
