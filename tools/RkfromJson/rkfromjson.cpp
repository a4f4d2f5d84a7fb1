// RkfromJson: makes records of JSON text: JSON Lines, any sequence of JSON
// values, or a top-level array. Each object is one record, its members
// fields in order: a string as its text, a number as written, true, false,
// and null as the empty value; an array a field per element, a nested
// object's members named outer.inner.
#include <cstring>

#include "json.h"
#include "tool.h"

static const char usage[] =
    "RkfromJson [-options] [input-file ..]\n"
    "\tmakes Rk-file from JSON files.\n"
    "\tOptions:\n"
    "\t-F\tadd filename: field.\n"
    "\t-s text\tseparator of nested member names (default .).\n"
    "\t-n text\ttext for a newline in a string (default: one field per line).\n";

static Setting settings[] = {{nullptr, nullptr}};
static JsonReading reading;

// A colon in the separator would end a field name too soon, a line break
// in it or in the newline text would begin a field of its own: such a text
// is a bad option.
static bool option(int letter) {
    if (letter == 'F') return reading.filenames = true;
    if (letter == 's') reading.separator = opt_arg;
    else if (letter == 'n') reading.newline = opt_arg;
    else return false;
    return !std::strchr(opt_arg, '\n') && !(letter == 's' && std::strchr(opt_arg, ':'));
}

static const ToolSpec spec = {usage, "Fs:n:D:", settings, option, nullptr};

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    tool_each_stream([](WStream* in, const char* name) { json_convert(in, name, reading); });
}
