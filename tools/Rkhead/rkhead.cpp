// Rkhead: copies the first N records of each input file.

#include "record.h"

static const char usage[] =
    "Rkhead [-N] [input-file ..]\n"
    "\tcopies first N (default 1) records to stdout.\n";

int main(int argc, char** argv) {
    runtime_init(argc, argv);
    int32_t rsize = 4, tsize = 1;
    Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {nullptr, nullptr}};
    int32_t count = 0;
    scan_options(settings, usage, &count);

    static Area text, table;
    area_create_doubling(rsize, "rsize", &text);
    area_create_doubling(tsize, "tsize", &table);
    bool show_names = nargs > 1;
    exit_if_errors(2);

    do {
        Input in;
        open_input(&in, INPUT_ONE_FILE);
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
    } while (nargs > 0);
    exit_if_errors(1);
    rk_exit(0);
}
