// Rkgrep: copies the records in which every regular expression matches a
// field (or, with -m, the record's whole text).
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "tool.h"
#include "wregex.h"

static const char usage[] =
    "Rkgrep [-options] expression [input-file ..]\n"
    "Rkgrep [-options] [-e expression ..][-f efilename ..] [input-file ..]\n"
    "\tsearches Rk-records by regular expression match.\n"
    "\t-Options\n"
    "\t-F\tadds filename: field.\n"
    "\t-i\tignores case distinctions.\n"
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
    // The literal every match holds, in the bytes of the locale's encoding,
    // for a search of a record's bytes; null when there is none to search.
    const unsigned char* literal;
    size_t literal_length;
};
Expression* expressions = nullptr;
size_t count = 0;
bool fold = false;   // -i: expressions and records are matched in lower case
bool whole = false;  // -m
Area text, table, names;

// The expression's literal in bytes, when it has one and each of its
// characters has a form in the encoding.
unsigned char* literal_bytes(const wregexp* e, size_t* length) {
    if (e->required_length == 0) return nullptr;
    char* bytes = static_cast<char*>(checked_malloc(size_t(e->required_length) * MB_LEN_MAX));
    size_t n = 0;
    for (int i = 0; i < e->required_length; ++i) {
        int k = encode_char(wchar_t(e->required_text[i]), bytes + n);
        if (k <= 0) {
            std::free(bytes);
            return nullptr;
        }
        n += size_t(k);
    }
    *length = n;
    return reinterpret_cast<unsigned char*>(bytes);
}

void add_expression(const wchar_t* text) {
    wregexp* e = wregcomp_case(text, fold);
    if (e == nullptr) return;
    Expression* grown = static_cast<Expression*>(std::realloc(expressions, sizeof(Expression) * (count + 1)));
    if (grown == nullptr) fatal("can't allocate necessary memory!\n");
    expressions = grown;
    size_t length = 0;
    unsigned char* literal = literal_bytes(e, &length);
    expressions[count++] = Expression{e, place, place_number, literal, length};
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
// matched. The text matched is the record's, or its copy in lower case
// `shift` characters away.
bool matches(const Expression& x, Field* rec, bool whole, ptrdiff_t shift) {
    wregexp* e = x.e;
    wchar_t* start = rec->start + shift;
    const wchar_t* end = record_end(rec)->end + shift;
    const wchar_t* at = wreg_find_required(e, start, size_t(end - start));
    if (at == nullptr) return false;
    if (whole) return wregexec(e, start) != 0;
    size_t len = size_t(e->required_length);
    for (Field* f = rec; f->start; ++f) {
        wchar_t* field = f->start + shift;
        wchar_t* field_end = f->end + shift;
        if (at < field) {
            at = wreg_find_required(e, field, size_t(end - field));
            if (at == nullptr) return false;
        }
        if (at + len > field_end) continue;  // not inside this field's text
        wchar_t saved = *field_end;
        *field_end = 0;  // the field's text ends at its newline for the match
        int hit = wregexec(e, field);
        *field_end = saved;
        if (hit) return true;
    }
    return false;
}

// matches for a record given as its bytes: the lines that hold the literal
// are widened and matched one by one. With -m, or without a literal to
// search, the record is widened into *rec (once) and matched as such.
bool matches_bytes(const Expression& x, const RecordBytes& b, Field** rec) {
    const unsigned char* start = b.text;
    const unsigned char* end = start + b.length;
    const unsigned char* at = start;
    if (x.literal) {
        at = find_bytes(start, b.length, x.literal, x.literal_length);
        if (at == nullptr) return false;
    }
    if (whole || x.literal == nullptr) {
        if (*rec == nullptr) *rec = widen_record(&b, &text, &table);
        return matches(x, *rec, whole, 0);
    }
    while (at) {
        const void* before = memrchr(start, '\n', size_t(at - start));
        const unsigned char* line = before ? static_cast<const unsigned char*>(before) + 1 : start;
        const unsigned char* nl = static_cast<const unsigned char*>(std::memchr(at, '\n', size_t(end - at)));
        if (at + x.literal_length > nl) {  // across a line's end: no field holds it here
            ++at;
        } else {
            size_t n;
            wchar_t* wide = widen_known(line, size_t(nl - line), &n);
            if (wregexec_until(x.e, wide, wide + n)) return true;
            at = nl + 1;
        }
        at = find_bytes(at, size_t(end - at), x.literal, x.literal_length);
    }
    return false;
}

// The record's text in lower case, zero-terminated, in a buffer kept from
// record to record: how far it lies from the record's text.
ptrdiff_t fold_record(Field* rec) {
    static wchar_t* folded = nullptr;
    static size_t room = 0;
    const wchar_t* end = record_end(rec)->end;
    size_t n = size_t(end - rec->start) + 1;
    grow_table(folded, room, n);
    wreg_fold(folded, rec->start, end);
    folded[n - 1] = 0;
    return folded - rec->start;
}

// The engine's error hook: names the -e or -f source of the pattern.
void report_regex_error(const char* message) {
    if (place)
        warn(WARN_ERROR, "regular expression error (%s) in %s(%d).\n", message, place, place_number);
    else
        warn(WARN_ERROR, "regular expression error (%s) in argument.\n", message);
}

}  // namespace

static int32_t rsize = 4, tsize = 1, nsize = 4;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {nullptr, nullptr}};
static bool invert = false, filenames = false;

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
    case 'i': fold = true; return true;
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

static const ToolSpec spec = {usage, "vmFie:f:D:", settings, option, nullptr};

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
    wreg_error = report_regex_error;
    compile_expressions();

    // A record comes as its bytes wherever the reader can give it so, when
    // an expression has a literal to look for in them: it is widened only
    // where an expression needs its characters. Otherwise every record is
    // read, which costs less than taking its bytes first.
    auto each = [](Field* rec, const RecordBytes* bytes, const Input& in) {
        bool selected = true;
        ptrdiff_t shift = fold && rec && rec->start ? fold_record(rec) : 0;
        for (size_t i = 0; i < count && selected; ++i) {
            const Expression& x = expressions[i];
            place = x.place;
            place_number = x.place_number;
            selected = rec ? matches(x, rec, whole, shift) : matches_bytes(x, *bytes, &rec);
        }
        if (selected != invert) {
            if (filenames) write_filename(in.name);
            if (rec) write_record(rec);
            else write_record_bytes(bytes);
        }
    };
    bool literal = false;
    for (size_t i = 0; i < count; ++i) literal |= expressions[i].literal != nullptr;
    if (literal && !fold)
        tool_each_record_bytes(&text, &table, [&each](Field* rec, const RecordBytes& b, const Input& in) { each(rec, &b, in); });
    tool_each_record(&text, &table, [&each](Field* rec, const Input& in) { each(rec, nullptr, in); });
}
