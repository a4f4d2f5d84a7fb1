// Field-format texts: what each one sets, the checks of both directions and
// their messages, the defaults of -t and -z, and the class of a cfmt.
#include <algorithm>
#include <cstring>
#include <string>

#include "format.h"
#include "unit_util.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

void wregerror(const char* message) { format_regex_error(message); }

namespace {

// The formats of a list, shown one per entry as
// start_kind start end_kind end options repeat [text] {cfmt class size};
// and the messages of parsing it.
struct Result {
    std::string formats, messages;
};

Result parse(int direction, const char* list_text, const char* t = ",", const char* z = "") {
    static FieldList* lists = new FieldList[400]();
    static int used = 0;
    FieldList* list = &lists[used++];
    Area* names = new_area(256);
    area_push_pact(0, area_double, nullptr, nullptr, names);
    area_push_pact(0, format_list_relocate_pact, list, nullptr, names);
    error_count = 0;
    CaptureStderr();
    format_defaults(direction, t, z, names);
    field_list_parse(list_text, list, names);
    format_list_parse(list, direction, names);
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
        {FORMAT_OUTPUT, ",", "", "a:qs,b:+", "format syntax error in the field a at 's'.\nformat syntax error in the field b at '@0'.\n"},
        {FORMAT_OUTPUT, ",", "", "a:(3,b:-x,c:/", "format syntax error in the field a at '@0'.\nformat syntax error in the field b at 'x'.\nformat syntax error in the field c at '@0'.\n"},
        {FORMAT_OUTPUT, ",", "", "a:*q,b:(2):", "format syntax error in the field a at 'q'.\nformat syntax error in the field b at '@0'.\n"},
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
        // "@0" stands for the character of code 0 (the end of the text).
        for (size_t at; (at = want.find("@0")) != std::string::npos;) {
            want[at] = '\0';
            want.erase(at + 1, 1);
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
