// Rkhead: copies the first N records of each input file.
#include "tool.h"

static const char usage[] =
    "Rkhead [-N] [input-file ..]\n"
    "\tcopies first N (default 1) records to stdout.\n";

static int32_t rsize = 4, tsize = 1;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {nullptr, nullptr}};
static int32_t count = 0;
static const ToolSpec spec = {usage, "0123456789D:", settings, nullptr, &count};

static Area text, table;

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    bool show_names = nargs > 1;

    tool_each_file([show_names](Input& in) {
        int32_t left = count ? count : 1;
        while (Field* rec = next_record(&in, &text, &table)) {
            if (left == 0) {
                close_input(&in);
                break;
            }
            if (show_names) write_filename(in.name);
            write_record(rec);
            area_reset(&table);
            area_reset(&text);
            --left;
        }
        area_reset(&table);
        area_reset(&text);
    });
}
