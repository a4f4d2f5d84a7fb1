// The field writer: lines built from fields by output formats, and its
// messages.
#include <string>
#include <vector>

#include "format.h"
#include "output.h"
#include "record.h"
#include "unit_util.h"

using namespace testing::internal;

namespace {

// Parses the list with -t and -z and writes one line of the fields (each
// "name:value"), the i-th with the format of the i-th entry. Returns the
// line, the messages (of parsing and writing) and the count of errors,
// joined by '#'.
std::string write_line(const char* list_text, const char* t, const char* z, const std::vector<std::string>& fields) {
    static FieldList* lists = new FieldList[100]();
    static int used = 0;
    FieldList* list = &lists[used++];
    Area *names = new_area(256), *work = new_area(64);
    area_push_pact(0, area_double, nullptr, nullptr, names);
    area_push_pact(0, area_double, nullptr, nullptr, work);
    error_count = 0;
    CaptureStderr();
    format_defaults(FORMAT_OUTPUT, t, z, names);
    format_list_read(list_text, list, FORMAT_OUTPUT, names);
    input_name = "in", input_number = 3;
    CaptureStdout();
    line_begin();
    const FieldListEntry* e = list->included;
    for (const std::string& f : fields) {
        std::wstring w(f.size() + 1, L'\0');
        w.resize(std::mbstowcs(w.data(), f.c_str(), w.size()));
        Field field{w.data(), w.data() + w.find(L':') + 1, w.data() + w.size()};
        write_field(&field, e ? e->format : nullptr, work);
        e = e ? e->next : nullptr;
    }
    out_flush();
    std::string line = GetCapturedStdout();
    return line + "#" + GetCapturedStderr() + "#" + std::to_string(error_count);
}

}  // namespace

TEST(FormatWrite, Lines) {
    start();
    struct {
        const char *list, *t, *z;
        std::vector<std::string> fields;
        std::string line;
    } rows[] = {
        {"a:(5)", ",", "", {"a:abcdefg"}, "abcde"},
        {"a:(5)r", ",", "", {"a:abcdefg"}, "cdefg"},
        {"a:(5)r,b:(3)", ",", "", {"a:ab", "b:c"}, "   abc  "},
        {"a:(4)lr", ",", "", {"a:ab"}, "ab  "},
        {"a:(3),b:-6", ",", "", {"a:ab", "b:xyzuvw"}, "ab xyzu"},
        {"a,b", "\t", "", {"a:x", "b:y"}, "x\ty"},
        {"a:/;\\ /,b,c", "|", "", {"a:x", "b:y", "c:z"}, "x; y|z"},
        {"a:(2),b", "|", "", {"a:x", "b:y"}, "x y"},
        {"a:(2),b:5(2)", ",", "", {"a:ab", "b:cd"}, "ab   cd"},
        {"a,b:+2", ";", "", {"a:x", "b:y"}, "x;  y"},
        {"a:q,b", ",", "", {"a:say \"hi\"", "b:z"}, "\"say \"\"hi\"\"\",z"},
        {"a:qx", ",", "", {R"(a:a"b\"c\\d\e\)"}, R"("a\"b\\\"c\\\d\e\\")"},
        {"a:Q", ",", "", {"a:it's"}, "'it's'"},
        {"a:b,b", ",", "", {"a:a,b\\c", "b:d"}, "a\\,b\\\\c,d"},
        {"a:/;\\ /b", ",", "", {"a:x; y;z"}, "x\\; y;z"},
        {"a:n,b", ",", "q", {"a:x", "b:y"}, "x,\"y\""},
        {"a:f,b:(4)f", ",", "", {"a:v", "b:xyz"}, "a:v,b:xy"},
        {"a::%5.2f,b:(6)r:%.1f", ",", "", {"a:3.14159", "b:2.75"}, " 3.14,   2.8"},
        {"a::%d,b::%d,c::%d,d::%d", ",", "", {"a:2.9", "b:-2.9", "c:abc", "d:1e10"}, "2,-2,0,10000000000"},
        {"a::%x,b::%c,c::%u,d::[%c]", ",", "", {"a:255", "b:65", "c:-1", "d:0"}, "ff,A,18446744073709551615,[]"},
        {"a::[%s],b::%lc", ",", "", {"a:h\xc3\xa9", "b:233"}, "[h\xc3\xa9],\xc3\xa9"},
        {"a::100%%,b::%d%%", ",", "", {"a:7", "b:50"}, "100%,50%"},
        {"a::%300d", ",", "", {"a:7"}, std::string(299, ' ') + "7"},
        // A conversion without a class gives the format's own text.
        {"a::%hd,b::%k%%,c::%a", "|", "", {"a:5", "b:x", "c:1"}, "%hd|%k%|%a"},
    };
    for (const auto& row : rows) EXPECT_EQ(write_line(row.list, row.t, row.z, row.fields), row.line + "##0") << row.list;
}

// Messages name the field's own name and the input's place; the line is
// still written.
TEST(FormatWrite, Messages) {
    start();
    const std::string over = "rt: field b start position over at in(3).\n";
    const std::string past = "rt: field b current position exceeds end position at in(3).\n";
    auto cfmt = [](const char* name) { return std::string("rt: cfmt conversion error in the field ") + name + ".\n"; };
    struct {
        const char* list;
        std::vector<std::string> fields;
        std::string result;
    } rows[] = {
        {"x:(12),y:10(3)", {"x:abc", "b:xyz"}, "abc         xyz#" + over + "#1"},
        {"x:(6),y:-5", {"x:ab", "b:cd"}, "ab    #" + past + "#1"},
        {"x:(2),y:4(2),z:2-3", {"x:ab", "y:cd", "b:e"}, "ab  cd#" + over + past + "#2"},
        {"x:(6),y:6-6", {"x:ab", "b:cd"}, "ab    c##0"},
        // A conversion that fails or whose result does not decode loses
        // what it could not give, and says so.
        {"a::<%99999999999d>,b::<%c>", {"a:1", "b:233"}, ",<>#rt: field a cfmt conversion failed at in(3).\n"
                                                          "rt: field b cfmt conversion failed at in(3).\n#2"},
        // An integer conversion of a value beyond 64 bits, or not a number,
        // is no clamped number but a failed conversion.
        {"a::%d,b::%ld,c::%x,d::%d", {"a:1e19", "b:nan", "c:-1e19", "d:-9223372036854775808"},
         ",,,-9223372036854775808#rt: field a cfmt conversion failed at in(3).\n"
         "rt: field b cfmt conversion failed at in(3).\nrt: field c cfmt conversion failed at in(3).\n#3"},
        // An integer text is converted exactly in all 64 bits, not through
        // the 53 of a double.
        {"a::%d,b::%x,c::%u", {"a:9223372036854775807", "b: -9007199254740993 ", "c:9223372036854775808"},
         "9223372036854775807,ffdfffffffffffff,#rt: field c cfmt conversion failed at in(3).\n#1"},
        // Formats that would read more than the value are errors of the list
        // (and never given to printf).
        {"a::%d-%d,b::%ls,c::%*d,d::%n,e::%.*f,f::%S", {"a:5", "b:x", "c:1", "d:2", "e:3", "f:4"},
         "%d-%d,%ls,%*d,%n,%.*f,%S#" + cfmt("a") + cfmt("b") + cfmt("c") + cfmt("d") + cfmt("e") + cfmt("f") + "#6"},
    };
    for (const auto& row : rows) EXPECT_EQ(write_line(row.list, ",", "", row.fields), row.result) << row.list;
}
