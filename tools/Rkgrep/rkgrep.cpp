// Rkgrep: copies the records in which every regular expression matches a
// field (or, with -m, the record's whole text).
#include <cstdlib>
#include <cwchar>

#include "tool.h"
#include "wregex.h"

static const char usage[] =
    "Rkgrep [-options] expression [input-file ..]\n"
    "Rkgrep [-options] [-e expression ..][-f efilename ..] [input-file ..]\n"
    "\tsearches Rk-records by regular expression match.\n"
    "\t-Options\n"
    "\t-F\tadds filename: field.\n"
    "\t-m\tenables multi field matching.\n"
    "\t-v\toutput records which doesn't match.\n";

namespace {

// Where the expression being compiled or run came from, for the error hook.
const char* place = nullptr;  // "-e", a file name, or null for the operand
int place_number = 0;

// A compiled expression and where it came from, so that an error while
// matching names the expression that failed.
struct Expression {
    wregexp* e;
    const char* place;
    int place_number;
};
Expression* expressions = nullptr;
size_t count = 0;

void add_expression(const wchar_t* text) {
    wregexp* e = wregcomp(text);
    if (e == nullptr) return;
    Expression* grown = static_cast<Expression*>(std::realloc(expressions, sizeof(Expression) * (count + 1)));
    if (grown == nullptr) fatal("can't allocate necessary memory!\n");
    expressions = grown;
    expressions[count++] = Expression{e, place, place_number};
}

wchar_t* convert(const char* text, Area* area) {
    wchar_t* w = mbs_to_area(text, area);
    if (w == nullptr) fatal("code error in the expression argument.\n");
    return w;
}

void compile_file(const char* name, bool whole, Area* area) {
    WStream* s = ws_open(name);
    if (s == nullptr) {
        warn_errno(WARN_ERROR, name, "can't open %s\n", name);
        return;
    }
    const char* saved_name = input_name;
    int32_t saved_number = input_number;
    input_name = name;
    place = name;
    if (whole) {
        input_number = 0;
        place_number = 1;
        wchar_t* text = read_text_file(s, area);
        add_expression(text);
    } else {
        for (int line = 1;; ++line) {
            input_number = line;
            place_number = line;
            wchar_t* text = read_line(nullptr, s, area);
            if (text == nullptr) break;
            add_expression(text);
        }
    }
    ws_close(s);
    input_name = saved_name;
    input_number = saved_number;
}

// Does the expression match one of the fields (or the whole text)? The
// fields lie one after the other in the record's text, and a field can only
// match when it holds the literal that every match contains: the record's
// text is searched for that literal once, and only the fields holding it are
// matched.
bool matches(const Expression& x, Field* rec, bool whole) {
    wregexp* e = x.e;
    place = x.place;
    place_number = x.place_number;
    const wchar_t* end = record_end(rec)->end;
    const wchar_t* at = wreg_find_required(e, rec->start, size_t(end - rec->start));
    if (at == nullptr) return false;
    if (whole) return wregexec(e, rec->start) != 0;
    size_t len = size_t(e->required_length);
    for (Field* f = rec; f->start; ++f) {
        if (at < f->start) {
            at = wreg_find_required(e, f->start, size_t(end - f->start));
            if (at == nullptr) return false;
        }
        if (at + len > f->end) continue;  // not inside this field's text
        wchar_t saved = *f->end;
        *f->end = 0;  // the field's text ends at its newline for the match
        int hit = wregexec(e, f->start);
        *f->end = saved;
        if (hit) return true;
    }
    return false;
}

}  // namespace

void wregerror(const char* message) {
    if (place)
        warn(WARN_ERROR, "regular expression error (%s) in %s(%d).\n", message, place, place_number);
    else
        warn(WARN_ERROR, "regular expression error (%s) in argument.\n", message);
}

static int32_t rsize = 4, tsize = 1, nsize = 4;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {nullptr, nullptr}};
static bool invert = false, whole = false, filenames = false;

// The -e and -f options in their order, compiled once the areas exist.
struct Source {
    int letter;
    const char* arg;
};
static Source* sources = nullptr;
static int given = 0;

static bool option(int letter) {
    switch (letter) {
    case 'v': invert = true; return true;
    case 'm': whole = true; return true;
    case 'F': filenames = true; return true;
    case 'e':
    case 'f': {
        Source* grown = static_cast<Source*>(std::realloc(sources, sizeof(Source) * size_t(given + 1)));
        if (grown == nullptr) fatal("can't allocate necessary memory!\n");
        sources = grown;
        sources[given++] = Source{letter, opt_arg};
        return true;
    }
    }
    return false;
}

static const ToolSpec spec = {usage, "vmFe:f:D:", settings, option, nullptr};

static Area text, table, names;

// Compiles the expressions of the -e and -f options, or else the operand.
static void compile_expressions() {
    if (given == 0) {
        if (nargs == 0) usage_exit(usage);
        place = nullptr;
        add_expression(convert(take_argument(usage), &names));
        return;
    }
    int e_options = 0;
    for (int i = 0; i < given; ++i) {
        if (sources[i].letter == 'e') {
            place = "-e";
            place_number = ++e_options;
            add_expression(convert(sources[i].arg, &names));
        } else {
            compile_file(sources[i].arg, whole, &names);
        }
    }
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    tool_area("nsize", &names);
    compile_expressions();

    tool_each_record(&text, &table, [](Field* rec, const Input& in) {
        bool selected = true;
        for (size_t i = 0; i < count && selected; ++i) selected = matches(expressions[i], rec, whole);
        if (selected != invert) {
            if (filenames) write_filename(in.name);
            write_record(rec);
        }
    });
}
