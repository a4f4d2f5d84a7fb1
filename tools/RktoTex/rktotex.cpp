// RktoTex: writes each field as a call of the TeX macro of its name, with
// the characters special to TeX escaped in the value; a record ends with an
// empty line or an end-of-record macro.
#include "tool.h"

static const char usage[] =
    "RktoTex [-options] [input-file ..]\n"
    "\tconversion to TeX format.\n"
    "\tOptions:\n"
    "\t-b [^]field-list\tfields to be {}ed.\n"
    "\t-n [^]field-list\tdon't apply special character escape.\n"
    "\t-r macro-name\tend-of-record macro.\n";

static int32_t rsize = 4, tsize = 1, nsize = 4;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {nullptr, nullptr}};
static const char* brace_text = nullptr;
static const char* raw_text = nullptr;
static const char* end_macro = nullptr;

static bool option(int letter) {
    switch (letter) {
    case 'b': brace_text = opt_arg; return true;
    case 'n': raw_text = opt_arg; return true;
    case 'r': end_macro = opt_arg; return true;
    }
    return false;
}

static const ToolSpec spec = {usage, "b:n:r:D:", settings, option, nullptr};

static Area text, table, names;
static FieldList braced, raw;

// What each character special to TeX is written as; 0 for the others.
static const char* escape(wchar_t c) {
    switch (c) {
    case L'#': return "\\#";
    case L'$': return "\\$";
    case L'%': return "\\%";
    case L'&': return "\\&";
    case L'<': return "$<$";
    case L'>': return "$>$";
    case L'\\': return "$\\backslash$";
    case L'^': return "\\char94 ";
    case L'_': return "\\_";
    case L'{': return "$\\{$";
    case L'}': return "$\\}$";
    case L'~': return "\\char126 ";
    case L'|': return "$|$";
    }
    return nullptr;
}

// Writes the value, each run of plain characters at once.
static void write_escaped(const wchar_t* p, const wchar_t* end) {
    const wchar_t* plain = p;
    for (; p < end; ++p) {
        // Every special character is ASCII punctuation.
        if (uint32_t(*p) >= 0x80 || *p < L'#') continue;
        const char* e = escape(*p);
        if (e == nullptr) continue;
        out_write(plain, size_t(p - plain));
        out_str(e);
        plain = p + 1;
    }
    out_write(plain, size_t(end - plain));
}

static bool in_list(const FieldList* list, const char* given, const Field* f) {
    return given && field_list_match(list, f->start, field_name_key(f), nullptr, nullptr) != 0;
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    out_units(OUT_MARKED);  // a unit is a record's lines
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    tool_area("nsize", &names, nullptr, 6);  // two lists and their pacts
    if (brace_text) tool_field_list(brace_text, &braced, &names);
    if (raw_text) tool_field_list(raw_text, &raw, &names);

    tool_each_record(&text, &table, [](Field* rec, const Input&) {
        for (const Field* f = rec; f->start; ++f) {
            // A field without a name (or with an empty one) is its value
            // alone: there is no macro to give braces to.
            bool named = field_name_length(f) > 0;
            bool brace = named && in_list(&braced, brace_text, f);
            if (named) {
                out_putwc(L'\\');
                out_write(f->start, field_name_length(f));
                out_putwc(brace ? L'{' : L' ');
            }
            if (in_list(&raw, raw_text, f)) out_write(f->value, field_value_length(f));
            else write_escaped(f->value, f->end);
            if (brace) out_putwc(L'}');
            out_putwc(L'\n');
        }
        if (end_macro) {
            out_putwc(L'\\');
            out_str(end_macro);
            out_putwc(L'\n');
        } else {
            out_putwc(L'\n');
        }
        out_mark();
    });
}
