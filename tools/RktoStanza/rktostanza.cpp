// RktoStanza: writes records as stanza files, each record a paragraph of
// "Name: value" lines and an empty line after it. A field of the same name
// as the field just before it is written as a continuation line: a blank
// and its value.
#include "tool.h"

static const char usage[] =
    "RktoStanza [-options] [input-file ..]\n"
    "\tconversion to stanza format.\n"
    "\tOptions:\n";

static int32_t rsize = 4, tsize = 1;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {nullptr, nullptr}};

static bool option(int) { return false; }

static const ToolSpec spec = {usage, "D:", settings, option, nullptr};

static Area text, table;
static bool told = false;  // of fields that can't be read back, for this input file
static const char* told_of = nullptr;

static bool is_blank(wchar_t c) { return c == L' ' || c == L'\t'; }

// A field without a name, or with a blank at the start of its name, would
// read back as another line, and a carriage return at the end of a value
// as part of the line end: written as they are, and counted as an error
// once per input file.
static void check_field(const Field* f, const Input& in) {
    bool cr_end = f->end > f->value && f->end[-1] == L'\r';
    if (field_has_name(f) && !is_blank(f->start[0]) && !cr_end) return;
    if (told && told_of == in.name) return;
    warn(WARN_ERROR,
         "fields without a name, beginning with a blank or ending with a carriage return, from %s(%d) on, can't be "
         "read back.\n",
         input_name, input_number);
    told = true;
    told_of = in.name;
}

// A field without a name has none in common with the field before it, not
// even the empty name.
static bool same_name(const Field* a, const Field* b) {
    size_t n = field_name_length(a);
    return field_has_name(a) && field_has_name(b) && n == field_name_length(b) &&
           std::wmemcmp(a->start, b->start, n) == 0;
}

// A value of blanks alone (or none) as a continuation would make an empty
// line, which ends the paragraph.
static bool continues(const Field* f) {
    for (const wchar_t* c = f->value; c < f->end; ++c)
        if (!is_blank(*c)) return true;
    return false;
}

static void write_field(const Field* f, const Field* before, const Input& in) {
    check_field(f, in);
    if (before && same_name(before, f) && continues(f)) {
        out_putwc(L' ');
    } else if (field_has_name(f)) {
        out_write(f->start, size_t(f->value - f->start));
        if (f->value == f->end) {
            out_putwc(L'\n');
            return;
        }
        out_putwc(L' ');
    }
    out_write(f->value, size_t(f->end - f->value) + 1);
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    tool_each_record(&text, &table, [](Field* rec, const Input& in) {
        for (const Field* f = rec; f->start; ++f) write_field(f, f == rec ? nullptr : f - 1, in);
        out_putwc(L'\n');
    });
}
