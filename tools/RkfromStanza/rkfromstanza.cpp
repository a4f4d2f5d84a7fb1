// RkfromStanza: makes records of stanza files, the paragraphs of
// "Name: value" lines that package indexes, package metadata and mail
// headers are written in. A paragraph ends at an empty line (or a line of
// blanks); in it a line "Name: value" is the field Name:value (one blank
// after the colon dropped), and a line that begins with a blank continues
// the field above as another field of its name (the first blank dropped).
#include "stanza.h"
#include "tool.h"

static const char usage[] =
    "RkfromStanza [-options] [input-file ..]\n"
    "\tmakes Rk-file from stanza files.\n"
    "\tOptions:\n"
    "\t-F\tadd filename: field.\n";

static Setting settings[] = {{nullptr, nullptr}};
static bool filenames = false;

static bool option(int letter) {
    if (letter != 'F') return false;
    filenames = true;
    return true;
}

static const ToolSpec spec = {usage, "FD:", settings, option, nullptr};

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    tool_each_stream([](WStream* in, const char* name) { stanza_convert(in, name, filenames); });
}
