// Field-format texts: what each one sets, the checks of both directions and
// their messages, the defaults of -t and -z, and the class of a cfmt.
#include <algorithm>
#include <random>
#include <cstring>
#include <string>
#include <vector>

#include "format.h"
#include "unit_util.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

// The formats of a list, shown one per entry as
// start_kind start end_kind end options repeat [text] {cfmt class size};
// and the messages of parsing it.
struct Result {
    std::string formats, messages;
};

// A list with its formats, as a program builds it from -t, -z and its
// argument (lists and areas stay for the whole run).
FieldList* build_list(int direction, const char* list_text, const char* t, const char* z) {
    static FieldList* lists = new FieldList[600]();
    static int used = 0;
    FieldList* list = &lists[used++];
    Area* names = new_area(256);
    area_push_pact(0, area_double, nullptr, nullptr, names);
    format_defaults(direction, t, z, names);
    format_list_read(list_text, list, direction, names);
    return list;
}

Result parse(int direction, const char* list_text, const char* t = ",", const char* z = "") {
    error_count = 0;
    CaptureStderr();
    FieldList* list = build_list(direction, list_text, t, z);
    Result r{"", GetCapturedStderr()};
    for (FieldListEntry* e = list->included; e; e = e->next) {
        const FieldFormat* f = e->format ? e->format : &default_format;
        char buf[200];
        std::snprintf(buf, sizeof buf, "%d %d %d %d %x %d", f->start_kind, f->start, f->end_kind, f->end, unsigned(f->options),
                      int(f->repeat));
        r.formats += buf;
        if (f->text) r.formats += " [" + std::string(f->text, f->text + std::wcslen(f->text)) + "]";
        if (direction == FORMAT_INPUT && e->format && e->format->regex && e->format->regex != default_format.regex)
            r.formats += " re";
        if (f->cfmt) r.formats += std::string(" {") + f->cfmt + " " + std::to_string(f->cfmt_class) + " " +
                                  (f->cfmt_size ? std::string(1, f->cfmt_size) : "-") + "}";
        r.formats += ";";
    }
    return r;
}

}  // namespace

// Each part of a format text, alone and together; the option letters
// replace those of -z (n clears them); numbers stay at the largest value.
// Formats: start kind, start, end kind, end, options (hex), repeat.
TEST(Format, SyntaxOfAText) {
    start();
    struct {
        int direction;
        const char* z;
        const char* list;
        const char* formats;
    } rows[] = {
        {FORMAT_OUTPUT, "", "a:0-9", "1 0 0 9 0 0;"},
        {FORMAT_OUTPUT, "", "a:10(5)r", "1 10 1 5 2 0;"},
        {FORMAT_OUTPUT, "", "a:+2/;/b*", "2 2 2 0 10 1 [;];"},
        {FORMAT_OUTPUT, "", "a:(8):%d", "0 0 1 8 0 0 {%d 1 -};"},
        {FORMAT_OUTPUT, "", "a:(),b", "0 0 1 0 0 0;0 0 2 0 0 0 [,];"},
        {FORMAT_OUTPUT, "", "a:x", "0 0 2 0 20 0 [,];"},
        {FORMAT_OUTPUT, "", "a:/x\\/y\\\\z\\.w", "0 0 2 0 0 0 [x/y\\z\\.w];"},
        {FORMAT_OUTPUT, "qb", "a:lr,b:n,c:*", "0 0 2 0 1 0 [,];0 0 2 0 0 0 [,];0 0 2 0 14 1 [,];"},
        {FORMAT_OUTPUT, "qb", "a:99999999999", "1 2147483647 2 0 14 0 [,];"},
        {FORMAT_INPUT, "", "a:@[0-9]+@*", "0 0 3 0 0 1 re;"},
        {FORMAT_INPUT, "", "a:5(2)q:%lf", "1 5 1 2 4 0 {%lf 3 l};"},
    };
    for (const auto& row : rows) {
        Result r = parse(row.direction, row.list, ",", row.z);
        EXPECT_EQ(r.formats, row.formats) << row.list;
        EXPECT_EQ(r.messages, "") << row.list;
    }
}

// The messages of the syntax, the checks of each direction and the
// defaults; each is a counted error and parsing goes on.
TEST(Format, Messages) {
    start();
    struct {
        int direction;
        const char* t;
        const char* z;
        const char* list;
        const char* messages;
    } rows[] = {
        {FORMAT_OUTPUT, ",", "", "a:s", "format syntax error in the field a at 's'.\n"},
        {FORMAT_OUTPUT, ",", "", "a:qs,b:+", "format syntax error in the field a at 's'.\nformat syntax error in the field b at ''.\n"},
        {FORMAT_OUTPUT, ",", "", "a:(3,b:-x,c:/", "format syntax error in the field a at ''.\nformat syntax error in the field b at 'x'.\nformat syntax error in the field c at ''.\n"},
        {FORMAT_OUTPUT, ",", "", "a:*q,b:(2):", "format syntax error in the field a at 'q'.\nformat syntax error in the field b at ''.\n"},
        {FORMAT_INPUT, ",", "", "a:**,b:/x/q**", "format syntax error in the field a at '*'.\nformat syntax error in the field b at '*'.\n"},
        {FORMAT_OUTPUT, ",", "", "a:9-3", "start > end error in the field a.\n"},
        {FORMAT_OUTPUT, ",", "", "a:@x@,b:f:%s", "pattern is not allowed in output format in the field a.\ncfmt is not allowed with f option in the field b.\n"},
        {FORMAT_INPUT, ",", "", "a:-5*,b:()*", "end position and * conflicts in the format of the field a.\nzero length field repeats in the field b.\n"},
        {FORMAT_INPUT, ",", "", "a:/x*/,b:@(@", "format delimiter or pattern matches null in the field a.\nregular expression error (unmatched ()) in -t parameter or format.\n"},
        {FORMAT_INPUT, "a*", "", "a", "-t delimiter matches null string.\n"},
        {FORMAT_OUTPUT, ",", "qy", "a", "-z option error 'y'.\n"},
        {FORMAT_OUTPUT, "\xff", "", "a", "code error in the -t option.\n"},
    };
    for (const auto& row : rows) {
        Result r = parse(row.direction, row.list, row.t, row.z);
        std::string want;
        for (const char* m = row.messages; *m;) {
            const char* nl = std::strchr(m, '\n');
            want += "rt: " + std::string(m, size_t(nl - m + 1));
            m = nl + 1;
        }
        EXPECT_EQ(r.messages, want) << row.list;
        EXPECT_EQ(error_count, int(std::count(want.begin(), want.end(), '\n'))) << row.list;
    }
}

// The class of the first conversion, in both directions.
TEST(Format, ClassOfACfmt) {
    struct {
        int direction;
        const char* cfmt;
        int cls;
        char size;
    } rows[] = {
        {FORMAT_INPUT, "%*d%lu", CFMT_UNSIGNED, 'l'}, {FORMAT_INPUT, "x%%%5hd", CFMT_SIGNED, 'h'},
        {FORMAT_INPUT, "%[a-z]", CFMT_TEXT, 0},       {FORMAT_INPUT, "%ws", CFMT_TEXT, 'l'},
        {FORMAT_INPUT, "%C", CFMT_CHARACTER, 'l'},    {FORMAT_INPUT, "%X", CFMT_NONE, 0},
        {FORMAT_OUTPUT, "%-08.3f", CFMT_FLOATING, 0}, {FORMAT_OUTPUT, "%*d", CFMT_SIGNED, 0},
        {FORMAT_OUTPUT, "%.*s", CFMT_SIGNED, 0},      {FORMAT_OUTPUT, "%%%lu", CFMT_UNSIGNED, 'l'},
        {FORMAT_OUTPUT, "%p", CFMT_SIGNED, 0},        {FORMAT_OUTPUT, "%hd", CFMT_NONE, 0},
        {FORMAT_OUTPUT, "plain", CFMT_NONE, 0},
    };
    for (const auto& row : rows) {
        char size = 'z';
        EXPECT_EQ(cfmt_class(row.cfmt, row.direction, &size), row.cls) << row.cfmt;
        EXPECT_EQ(size, row.size) << row.cfmt;
    }
}

namespace {

std::string cut_output;
long capture_output(const char* bytes, size_t n) {
    cut_output.append(bytes, n);
    return long(n);
}

// The fields cut from `line` by the list, as "name:value|..." , and the
// messages.
// What cut_line writes for the line, the newlines shown as '|'; checks the
// count it returns.
std::string run_cut(const wchar_t* line, size_t length, const FieldList* list, const FormatContinuation* more) {
    Area* work = new_area(64);
    area_push_pact(0, area_double, nullptr, nullptr, work);
    const wchar_t* end = line + length;
    cut_output.clear();
    out_redirect(capture_output);
    int n = cut_line(line, &end, list, work, more);
    out_flush();
    out_redirect(nullptr);
    EXPECT_EQ(n, int(std::count(cut_output.begin(), cut_output.end(), '\n')));
    std::string shown = cut_output;
    std::replace(shown.begin(), shown.end(), '\n', '|');
    return shown;
}

Result cut(const char* list_text, const char* line, const char* t, const char* z = "") {
    error_count = 0;
    input_name = "in";
    input_number = 7;
    CaptureStderr();
    FieldList* list = build_list(FORMAT_INPUT, list_text, t, z);
    std::wstring w;
    for (const char* p = line; *p; ++p) w.push_back(wchar_t(static_cast<unsigned char>(*p)));
    std::string fields = run_cut(w.data(), w.size(), list, nullptr);
    return Result{fields, GetCapturedStderr()};
}

}  // namespace

// Lines cut by lists: delimiters (repeatable or not, the last empty field),
// fixed fields with trimming, quotes and escapes, repeats, skip entries,
// patterns and cfmt conversions; and the cutter's messages.
TEST(Format, CuttingLines) {
    start();
    struct {
        const char* t;
        const char* list;
        const char* line;
        const char* fields;
        const char* messages;
    } rows[] = {
        {"\t", "x,y", "a,b", "x:a,b|", ""},
        {",", "x,y,z", "1,2", "x:1|y:2|", ""},
        {",", "a:*", "a,,b,", "a:a|a:|a:b|a:|", ""},
        {" +", "a:*", "  a  b  ", "a:a|a:b|", ""},
        {"", "a,b", "", "a:|", ""},
        {"\t", "a", "", "", ""},
        {",", "a:0-4", "abc", "a:abc|", "field a truncated by the end of line at in(7).\n"},
        {",", "a:5(2)", "abcde", "", "field a start position exceeds the end of line at in(7).\n"},
        {",", "a:(3)l,b:(3)r,c:(3)l", "ab  cd   ", "a:ab|b:cd|c:|", ""},
        {",", "a:/\\,/q,b", "\"x,y\",z", "a:x,y|b:z|", ""},
        {",", "a:qx", "\"a\\\"b\"", "a:a\"b|", ""},
        {",", "a:q", "\"a\"\"b\"", "a:a\"b|", ""},
        {",", "a:Q,b:b", "'p,q',r\\,s", "a:p,q|b:r,s|", ""},
        {",", ":(3),a", "abcdef", "a:def|", ""},
        {",", "a:@[0-9]+@*", "x1y22z", "a:x1|a:y22|", ""},
        {",", "a:f", "k:v", "k:v|", ""},
        {",", "a::%d,b::%d,c::%d%d", "12abc,abc,1 2", "a:12|b:|c:|", "field c cfmt has more than one % at in(7).\n"},
        {",", "a::%lf,b::%c,c::%5s", "2.50,A,abcdefgh", "a:2.5|b:65|c:abcde|", ""},
        {",", "a:0/\\,/*", "x,y", "a:x|", ""},
        {",", "a:+0()*", "xyz", "", "zero length field repeats in the field a.\nfield a end position is smaller than the start at in(7).\n"},
    };
    for (const auto& row : rows) {
        Result r = cut(row.list, row.line, row.t);
        EXPECT_EQ(r.formats, row.fields) << row.list << " on " << row.line;
        std::string want;
        for (const char* m = row.messages; *m;) {
            const char* nl = std::strchr(m, '\n');
            want += "rt: " + std::string(m, size_t(nl - m + 1));
            m = nl + 1;
        }
        EXPECT_EQ(r.messages, want) << row.list << " on " << row.line;
    }
}

namespace {

// Lines joined by a continuation as a line reader would: the joining text,
// then the next line, in a buffer that moves as it grows.
struct Joiner {
    std::vector<std::wstring> rest;
    std::wstring text, join;
    static bool append(void* data, wchar_t** start, wchar_t** end) {
        Joiner* j = static_cast<Joiner*>(data);
        if (j->rest.empty()) return false;
        j->text += j->join + j->rest.front();
        j->rest.erase(j->rest.begin());
        j->text.reserve(j->text.size() * 2);  // the line moves
        *start = j->text.data();
        *end = j->text.data() + j->text.size();
        return true;
    }
};

}  // namespace

// A quoted section or an escape open at the line end goes on in the next
// line; on the last line the field ends with what was read.
TEST(Format, Continuation) {
    start();
    struct {
        const char* list;
        std::vector<std::wstring> lines;
        const char* fields;
    } rows[] = {
        {"a:q,b", {L"\"x", L"y\",z"}, "a:x y|b:z|"},
        {"a:b", {L"p\\", L"q"}, "a:p q|"},
        {"a:q", {L"\"open"}, "a:open|"},
        {"a:Q,b:Q", {L"'1", L"2", L"3',4"}, "a:1 2 3|b:4|"},
    };
    for (const auto& row : rows) {
        FieldList* list = build_list(FORMAT_INPUT, row.list, ",", "");
        Joiner j{{row.lines.begin() + 1, row.lines.end()}, row.lines[0], L" "};
        FormatContinuation more{&j, Joiner::append};
        EXPECT_EQ(run_cut(j.text.data(), j.text.size(), list, &more), row.fields) << row.list;
    }
}

// A delimiter of one plain character takes the cutter's quick path; the
// same character as a bracket expression takes the general one. Both cut
// every line alike (lists with repeats, skips, fixed fields and a quoted
// entry mixed in), also where values run to the line end or end empty.
TEST(Format, QuickDelimiterAsGeneral) {
    start();
    std::mt19937 rng(99);
    // Each entry names its delimiter D, so that the defaults play no part.
    const std::string lists[] = {"a:/D/,b:/D/,c:/D/", "a:/D/*", "a:/D/,:(2),b:/D/*", "a:/D/q,b:/D/,c:/D/*",
                                 "a:+1/D/,b:3(2),c:/D/", "a:/D/f,b:/D/*"};
    const wchar_t alphabet[] = L",,ab \"\x00e9:";
    int compared = 0;
    for (const std::string& list : lists) {
        auto with = [&](const char* d) {
            std::string text = list;
            for (size_t at; (at = text.find('D')) != std::string::npos;) text.replace(at, 1, d);
            return build_list(FORMAT_INPUT, text.c_str(), "", "");
        };
        FieldList *quick = with("\\,"), *general = with("[\\,]");  // commas escaped for the list
        auto plain = [](const FieldList* l) {
            int n = 0;
            for (const FieldListEntry* e = l->included; e; e = e->next) n += e->format->plain_delimiter != 0;
            return n;
        };
        ASSERT_GT(plain(quick), 0) << list;
        ASSERT_EQ(plain(general), 0) << list;
        for (int i = 0; i < 500; ++i) {
            std::wstring line;
            for (int n = int(rng() % 12); n > 0; --n) line.push_back(alphabet[rng() % (sizeof alphabet / sizeof(wchar_t) - 1)]);
            CaptureStderr();
            std::string a = run_cut(line.data(), line.size(), quick, nullptr);
            a += GetCapturedStderr();
            CaptureStderr();
            std::string b = run_cut(line.data(), line.size(), general, nullptr);
            b += GetCapturedStderr();
            EXPECT_EQ(a, b) << list;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 3000);
}
