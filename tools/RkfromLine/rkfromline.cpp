// RkfromLine: makes Rk-records from lines of plain text, each line cut into
// fields by a field-format list.
#include <cstdlib>
#include <cstring>

#include "format.h"
#include "tool.h"

static const char usage[] =
    "RkfromLine [-options] field-format-list [input-file ..]\n"
    "\tmakes Rk-file from input lines.\n"
    "\tOptions:\n"
    "\t-c\tline continuation in effect.\n"
    "\t-n string: newline char substitution string.\n"
    "\t-F\tadd filename: field.\n"
    "\t-t regexp\tfield delimiter.\n"
    "\t-z format-options\tdefault format options.\n";

static int32_t rsize = 4, nsize = 4, wsize = 1;
static Setting settings[] = {{"rsize", &rsize}, {"nsize", &nsize}, {"wsize", &wsize}, {nullptr, nullptr}};

static bool continued = false, with_filename = false;
static const char* newline_text = "";
static const char* t_text = "\t";
static const char* z_text = "";

static bool option(int letter) {
    switch (letter) {
    case 'c': continued = true; return true;
    case 'F': with_filename = true; return true;
    case 'n': newline_text = opt_arg; return true;
    case 't': t_text = opt_arg; return true;
    case 'z': z_text = opt_arg; return true;
    default: return false;
    }
}

static Area text, names, work;
static FieldList list;
static wchar_t* joining = nullptr;  // the -n text, in the names area
static size_t joining_length = 0;

// The continuation: the line's terminator gives way to the -n text and the
// next line of the same input, numbered as it is.
struct Reading {
    WStream* stream;
    wchar_t* line;
};

static bool append_line(void* data, wchar_t** line_start, wchar_t** line_end) {
    Reading* r = static_cast<Reading*>(data);
    Relocated<wchar_t> cell(&r->line, &text);
    area_giveback(sizeof(wchar_t), &text);  // the terminator
    if (joining_length) {
        wchar_t* room = static_cast<wchar_t*>(area_extend(joining_length * sizeof(wchar_t), &r->line, &text));
        std::wmemcpy(room, joining, joining_length);
    }
    ++input_number;
    wchar_t* next = read_line(&r->line, r->stream, &text);
    if (next == nullptr) {
        // No line follows: the line is as it was.
        --input_number;
        area_giveback(joining_length * sizeof(wchar_t), &text);
        *static_cast<wchar_t*>(area_extend(sizeof(wchar_t), &r->line, &text)) = 0;
        return false;
    }
    *line_start = r->line;
    *line_end = next + std::wcslen(next);
    return true;
}

static void read_input(WStream* stream, const char* name) {
    input_name = name ? name : "(stdin)";
    input_number = 1;
    Reading r{stream, nullptr};
    FormatContinuation more{&r, append_line};
    while ((r.line = read_line(nullptr, stream, &text)) != nullptr) {
        const wchar_t* end = r.line + std::wcslen(r.line);
        if (cut_line(r.line, &end, &list, &work, continued ? &more : nullptr) > 0) {
            if (with_filename) write_filename(name);
            out_putwc(L'\n');
        }
        area_reset(&text);
        area_reset(&work);
        ++input_number;
    }
}

static void read_file(const char* name) {
    bool standard = std::strcmp(name, "-") == 0;
    WStream* s = standard ? ws_stdin() : ws_open(name);
    if (s == nullptr) {
        warn_errno(WARN_ERROR, name, "can't open %s.\n", name);
        return;
    }
    read_input(s, standard ? nullptr : name);
    ws_close(s);
}

int main(int argc, char** argv) {
    ToolSpec spec = {usage, "cFn:t:z:D:", settings, option, nullptr};
    tool_start(spec, argc, argv);
    tool_area("rsize", &text);
    tool_area("nsize", &names);
    tool_area("wsize", &work);
    format_defaults(FORMAT_INPUT, t_text, z_text, &names);
    const char* list_text = take_argument(usage);
    if (list_text[0] == '^') usage_exit(usage);
    format_list_read(list_text, &list, FORMAT_INPUT, &names);
    wchar_t* n = mbs_to_area(newline_text, &names);
    if (n == nullptr) {
        warn(WARN_ERROR, "code error in the -n option.\n");
    } else {
        joining_length = std::wcslen(n);
        // A copy outside the area, which may still move.
        static wchar_t* kept = nullptr;
        kept = static_cast<wchar_t*>(checked_malloc((joining_length + 1) * sizeof(wchar_t)));
        std::wmemcpy(kept, n, joining_length + 1);
        joining = kept;
    }
    exit_if_errors(2);
    // The files in turn ("-" and no file at all: standard input); one that
    // can't be opened is counted and skipped.
    if (nargs == 0) read_file("-");
    for (; nargs > 0; ++args, --nargs) read_file(args[0]);
    tool_finish();
}
