// Record library: the reader's fields and records, records larger than the
// areas, a window of records kept in the areas, the input over the file
// arguments, and the writers.
#include <fcntl.h>

#include <cstring>
#include <deque>
#include <memory>

#include "record.h"
#include "unit_util.h"

using namespace std::string_literals;
using testing::ExitedWithCode;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

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

// Compares the record with its expected lines: each field's line, its value
// pointer (after the first colon, or the start), the closing triple and the
// 0 after the text. Returns what differs.
static std::string differs(const Field* rec, const std::vector<std::wstring>& lines) {
    size_t i = 0;
    for (const Field* f = rec; f->start; ++f, ++i) {
        if (i == lines.size()) return "too many fields";
        if (std::wstring(f->start, f->end + 1) != lines[i] + L'\n') return "line " + std::to_string(i);
        size_t colon = lines[i].find(L':');
        if (f->value != f->start + (colon == std::wstring::npos ? 0 : colon + 1)) return "value " + std::to_string(i);
    }
    const Field* close = rec + i;
    if (i != lines.size()) return "too few fields";
    if (close->value != nullptr || close->end == nullptr || *close->end != 0) return "closing triple";
    return "";
}

// Areas of 1 KB that double when full, like a tool's areas made with -D rsize=1,tsize=1.
static void small_areas(Area** text, Area** table) {
    *text = new_area(1024, "rsize");
    *table = new_area(1024, "tsize");
    area_push_pact(0, area_double, nullptr, nullptr, *text);
    area_push_pact(0, area_double, nullptr, nullptr, *table);
}

// Every record of the text, both areas reset before each.
static std::vector<std::wstring> all_records(const std::string& bytes) {
    Area *text, *table;
    small_areas(&text, &table);
    TempFile f(bytes);
    WStream* s = f.open();
    std::vector<std::wstring> v;
    for (;;) {
        area_reset(text);
        area_reset(table);
        Field* rec = read_record(s, text, table);
        if (rec == nullptr) break;
        Field* close = record_end(rec);
        EXPECT_EQ(*close->end, 0);
        EXPECT_EQ(close->end[-1], L'\n');
        v.push_back(show(rec));
    }
    ws_close(s);
    return v;
}

using Records = std::vector<std::wstring>;

TEST(RecordReader, FieldsOfARecord) {
    start();
    Area *text, *table;
    small_areas(&text, &table);
    TempFile f("x:y:z\n:v\nno colon here\n   \n\ta:\tb\r\nempty:\n::\n\xc3\xa9:\xe2\x82\xac:\xf0\x9f\x98\x80\nlast:1");
    WStream* s = f.open();
    Field* rec = read_record(s, text, table);
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(show(rec), L"[x](y:z) [](v) (no colon here) (   ) [\ta](\tb\r) [empty]() [](:) [\u00e9](\u20ac:\U0001F600) [last](1)");
    EXPECT_EQ(differs(rec, {L"x:y:z", L":v", L"no colon here", L"   ", L"\ta:\tb\r", L"empty:", L"::",
                            L"\u00e9:\u20ac:\U0001F600", L"last:1"}),
              "");
    // Areas reset before the record: its text is one string up to the closing 0.
    EXPECT_EQ(std::wstring(rec->start), L"x:y:z\n:v\nno colon here\n   \n\ta:\tb\r\nempty:\n::\n\u00e9:\u20ac:\U0001F600\nlast:1\n");
    EXPECT_EQ(read_record(s, text, table), nullptr);
    ws_close(s);
}

TEST(RecordReader, SeparatorsAndNuls) {
    start();
    EXPECT_EQ(all_records(""), Records{});
    EXPECT_EQ(all_records("\n\n\n"), Records{});
    EXPECT_EQ(all_records("\0\n\0"s), Records{});
    EXPECT_EQ(all_records("\n\n\na:1\nb:2\n\n\n\nc:3\n\n\n"), (Records{L"[a](1) [b](2)", L"[c](3)"}));
    // A line holding only NULs is empty, so it ends the record.
    EXPECT_EQ(all_records("na\0me:va\0lue\n\0\nnext\0:1\n\0"s), (Records{L"[name](value)", L"[next](1)"}));

    // Many short records, and long lines whose colons and NULs fall past 64 bytes.
    std::string bytes;
    Records want;
    for (int i = 0; i < 40; ++i) {
        bytes += "r:" + std::to_string(i) + (i % 3 ? "\n\n" : "\n\n\n");
        want.push_back(L"[r](" + std::to_wstring(i) + L")");
    }
    std::string name(100, 'n'), value;
    for (int i = 0; i < 300; ++i) value += i % 50 == 49 ? '\0' : char('a' + i % 26);
    bytes += name + ":" + value + ":" + value + "\nk:" + value + "\n" + value + "\n\n";
    std::wstring clean;
    for (char c : value)
        if (c) clean += wchar_t(c);
    want.push_back(L"[" + std::wstring(100, L'n') + L"](" + clean + L":" + clean + L") [k](" + clean + L") (" + clean + L")");
    EXPECT_EQ(all_records(bytes), want);
}

// A record of 400 fields of many lengths, one of them of 100,000 characters,
// beginning with a character of two bytes.
static std::vector<std::wstring> big_lines() {
    std::vector<std::wstring> v{L"\u00e9tiquette:1"};
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
    const std::vector<std::wstring> lines = big_lines();
    std::string bytes;
    for (const std::wstring& l : lines) bytes += utf8(l) + "\n";
    const std::string input = "\n\n" + bytes + "\nz:1";
    // From a file; from a pipe whose first piece ends inside the record's first
    // character, followed by large pieces; from a pipe of small pieces.
    std::vector<std::string> cut_first{"\n\n\xc3"};
    for (const std::string& p : small_pieces(input.substr(3), 5000)) cut_first.push_back(p);
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        Area *text, *table;
        small_areas(&text, &table);
        TempFile f(input);
        std::unique_ptr<PipeFeed> feed;
        if (way > 0) feed = std::make_unique<PipeFeed>(way == 1 ? cut_first : small_pieces(input));
        WStream* s = way == 0 ? f.open() : feed->stream;
        Field* rec = read_record(s, text, table);
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(differs(rec, lines), "");
        EXPECT_STRNE(text->label, "rsize=1");
        int outside = 0;
        for (Field* f = rec; f->start; ++f)
            for (wchar_t* p : {f->start, f->value, f->end})
                outside += p < reinterpret_cast<wchar_t*>(text->base) || p >= reinterpret_cast<wchar_t*>(text->limit);
        EXPECT_EQ(outside, 0);
        EXPECT_GE(reinterpret_cast<char*>(rec), table->base);
        EXPECT_LE(reinterpret_cast<char*>(record_end(rec) + 1), table->limit);
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

// A record begun near the end of a ring is moved to the base when it no longer
// fits before the limit, and the area grows later while it is still read.
TEST(RecordReader, RecordMovedToTheBaseThenGrown) {
    start();
    Area* text = new_area(16384, "rsize");
    Area* table = new_area(1024, "tsize");
    area_push_pact(0, area_double, nullptr, nullptr, text);
    area_push_pact(0, area_double, nullptr, nullptr, table);
    area_alloc(8000, text);
    area_release(area_alloc(7000, text), text);  // live: base+8000 .. base+15000
    std::string value;
    std::wstring wvalue;
    for (int k = 0; k < 12000; ++k) {
        value += k % 4 == 3 ? "\xc3\xa9" : std::string(1, "xyz"[k % 4]);
        wvalue += L"xyz\u00e9"[k % 4];
    }
    std::string rec = "first:" + value + "\nsecond:2\n";
    // 64 bytes fit at the head; 1000 more do not, but fit at the base; 5000
    // more fit nowhere.
    PipeFeed feed({rec.substr(0, 64), rec.substr(64, 1000), rec.substr(1064, 5000), rec.substr(6064)});
    Field* r = read_record(feed.stream, text, table);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(differs(r, {L"first:" + wvalue, L"second:2"}), "");
    EXPECT_EQ(r->start, reinterpret_cast<wchar_t*>(text->base));
    EXPECT_GT(area_size(text), 16384u);
}

// A window of the last records read, kept in the areas while the oldest is
// released as each new record arrives; the pacts keep it valid on growth.
struct Window {
    std::deque<std::pair<int, Field*>> kept;
};

static int grow_window_text(void* w, void*, Area* area) {
    area_double(nullptr, nullptr, area);
    for (auto& [id, rec] : static_cast<Window*>(w)->kept)
        for (Field* f = rec;; ++f) {
            area_relocate_cell(&f->start, area);
            area_relocate_cell(&f->value, area);
            area_relocate_cell(&f->end, area);
            if (f->start == nullptr) break;
        }
    return 0;
}

static int grow_window_table(void* w, void*, Area* area) {
    area_double(nullptr, nullptr, area);
    for (auto& [id, rec] : static_cast<Window*>(w)->kept) area_relocate_cell(&rec, area);
    return 0;
}

// Record i of the window test: 1 to 5 fields of up to 300 characters, a few
// without a name, and a large first field in every 37th record.
static std::vector<std::wstring> window_record(int i) {
    std::vector<std::wstring> v;
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
    std::vector<std::vector<std::wstring>> want;
    std::string bytes;
    for (int i = 0; i < count; ++i) {
        want.push_back(window_record(i));
        for (const std::wstring& l : want.back()) bytes += utf8(l) + "\n";
        bytes += i % 4 == 1 ? "\0\n"s : i % 4 == 2 ? "\n\n\n" : "\n";
    }
    for (int way = 0; way < 2; ++way) {
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
            if (text->head - text->base < last) ++wraps;
            last = text->head - text->base;
            if (w.kept.size() == keep) {
                w.kept.pop_front();
                area_release(w.kept.front().second->start, text);
                area_release(w.kept.front().second, table);
            }
            w.kept.emplace_back(next++, rec);
            for (auto& [id, r] : w.kept)
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

TEST(RecordReader, UndecodableInputIsFatal) {
    start();
    Area *text, *table;
    small_areas(&text, &table);
    TempFile bad("a:1\n\nb:2\n\nc:\xff\n"), cut("a:1\n\nb:\xe2\x82");
    for (const TempFile* f : {&bad, &cut}) {
        std::string number = f == &bad ? "3" : "2";
        EXPECT_EXIT(
            {
                start({f->path});
                Input in;
                open_input(&in, INPUT_ALL_FILES);
                while (next_record(&in, text, table)) area_reset(text);
            },
            ExitedWithCode(3), "rt: code error in Rk-file " + f->path + "\\(" + number + "\\), irrecoverable\\.\n");
    }
}

TEST(Input, FileArguments) {
    TempFile f1("a:1\n\nb:2\n"), f2("\n\nc:3"), piped("s:1\n");
    Area *text, *table;
    small_areas(&text, &table);
    Input in;
    // value@input_name#number/total of the next record
    auto take = [&]() -> std::string {
        area_reset(text);
        area_reset(table);
        Field* r = next_record(&in, text, table);
        if (r == nullptr) return "none";
        return utf8(std::wstring(r->value, r->end)) + "@" + input_name + "#" + std::to_string(in.number) + "/" +
               std::to_string(in.total);
    };

    int saved = dup(0);
    int fd = open(piped.path.c_str(), O_RDONLY);
    dup2(fd, 0);
    close(fd);
    start({f1.path, "-", f2.path});
    open_input(&in, INPUT_ALL_FILES);
    EXPECT_EQ(take(), "1@" + f1.path + "#1/1");
    EXPECT_EQ(take(), "2@" + f1.path + "#2/2");
    EXPECT_EQ(take(), "1@(stdin)#1/3");
    EXPECT_EQ(take(), "3@" + f2.path + "#1/4");
    EXPECT_EQ(take(), "none");
    EXPECT_EQ(in.mode, INPUT_EXHAUSTED);
    EXPECT_EQ(in.total, 4);
    dup2(saved, 0);
    close(saved);

    start({f1.path, f2.path});
    open_input(&in, INPUT_ONE_FILE);
    EXPECT_EQ(take(), "1@" + f1.path + "#1/1");
    EXPECT_EQ(take(), "2@" + f1.path + "#2/2");
    EXPECT_EQ(take(), "none");
    EXPECT_EQ(nargs, 1);
    open_input(&in, INPUT_ONE_FILE);
    EXPECT_EQ(take(), "3@" + f2.path + "#1/1");
    EXPECT_EQ(take(), "none");

    // A later file that can't be opened ends the input with a counted error.
    start({f1.path, "/nonexistent/x", f2.path});
    open_input(&in, INPUT_ALL_FILES);
    CaptureStderr();
    EXPECT_EQ(take(), "1@" + f1.path + "#1/1");
    EXPECT_EQ(take(), "2@" + f1.path + "#2/2");
    EXPECT_EQ(take(), "none");
    EXPECT_EQ(GetCapturedStderr(), "rt: can't open /nonexistent/x.\n");
    EXPECT_EQ(error_count, 1);
    EXPECT_EQ(nargs, 1);

    start();
    open_input(&in, INPUT_ALL_FILES);
    EXPECT_EQ(in.mode, INPUT_ONE_FILE);
    EXPECT_STREQ(input_name, "(stdin)");
    close_input(&in);

    EXPECT_EXIT(
        {
            start({"/nonexistent/x", f1.path});
            open_input(&in, INPUT_ALL_FILES);
        },
        ExitedWithCode(3), "rt: can't open /nonexistent/x\\.\n");
}

TEST(Writer, RecordsAndFields) {
    start();
    Area *text, *table;
    small_areas(&text, &table);
    TempFile f("a:1\n\xc3\xa9:\xe2\x82\xac");
    WStream* s = f.open();
    Field* rec = read_record(s, text, table);
    ws_close(s);
    ASSERT_NE(rec, nullptr);
    wchar_t one[] = L"x:1\n", two[] = L"y\n";
    Field apart[] = {{one, one + 2, one + 3}, {two, two, two + 1}, {nullptr, nullptr, two + 2}};
    CaptureStdout();
    write_record(rec);
    write_fields(rec);
    write_fields(apart);
    write_fields(apart + 2);  // no fields: nothing at all
    out_flush();
    EXPECT_EQ(GetCapturedStdout(), "a:1\n\xc3\xa9:\xe2\x82\xac\n\na:1\n\xc3\xa9:\xe2\x82\xac\n\nx:1\ny\n\n");
}
