// RktoJson: writes records as JSON Lines, one object per record, or (-a) as
// one top-level array of them. A name that occurs more than once becomes an
// array of its values; a value that is a JSON number as written is that
// number, any other value a string.
#include "json.h"
#include "tool.h"

static const char usage[] =
    "RktoJson [-options] [input-file ..]\n"
    "\tconversion to JSON Lines.\n"
    "\tOptions:\n"
    "\t-a\tone top-level array.\n"
    "\t-A\tevery value in an array.\n"
    "\t-s\tevery value a string.\n"
    "\t-u text\tnames holding text become nested objects.\n";

static int32_t rsize = 4, tsize = 1;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {nullptr, nullptr}};
static JsonWriting writing;
static bool top_array = false;
static const char* unnest = nullptr;

static bool option(int letter) {
    if (letter == 'a') top_array = true;
    else if (letter == 'A') writing.arrays = true;
    else if (letter == 's') writing.strings = true;
    else if (letter == 'u') unnest = opt_arg;
    else return false;
    return true;
}

static const ToolSpec spec = {usage, "aAsu:D:", settings, option, nullptr};

static Area text, table, names;
static bool told = false;  // of names both a value and an object

static void write_object(const Field* rec) {
    if (!json_write_record(rec, writing) && !told) {
        warn(WARN_NOTE, "names that are both a value and an object, from %s(%d) on, are written as given.\n",
             input_name, input_number);
        told = true;
    }
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    tool_area("rsize", &names);
    if (unnest && *unnest) {
        writing.unnest = mbs_to_area(unnest, &names);
        if (!writing.unnest) usage_exit(usage);
        writing.unnest_length = std::wcslen(writing.unnest);
    }
    out_units(OUT_MARKED);
    exit_if_errors(2);
    if (top_array) out_lit("[\n");
    Input in;
    open_input(&in, INPUT_ALL_FILES);
    int32_t n = 0;
    for (; Field* rec = next_record(&in, &text, &table); ++n) {
        if (n > 0 && top_array) out_putwc(L',');
        if (n > 0) out_putwc(L'\n');
        out_mark();
        write_object(rec);
        area_reset(&table);
        area_reset(&text);
    }
    if (n > 0) out_putwc(L'\n');
    if (top_array) out_lit("]\n");
    tool_finish();
}
