// Rkcat: concatenates Rk-files, optionally numbering the records and naming
// the file each came from.
#include "record.h"

static const char usage[] =
    "Rkcat [-options] [input-file ..]\n"
    "\tconcatenate Rk-files.\n"
    "\tOptions:\n"
    "\t-n\tnumbering, add seq: field.\n"
    "\t-g key-field-list\tgrouped by numbering.\n"
    "\t-k key-flags\tdefault key-flags for -g option.\n"
    "\t-F\tadd filename: field; seq number (if any) for each input file.\n";

int main(int argc, char** argv) {
    runtime_init(argc, argv);
    int32_t rsize = 4, tsize = 1, ksize = 1, nsize = 1;
    Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"ksize", &ksize}, {"nsize", &nsize}, {nullptr, nullptr}};
    bool numbering = false, filenames = false;
    int letter;
    while (opt_next("nFD:", &letter)) {
        switch (letter) {
        case 'n': numbering = true; break;
        case 'F': filenames = true; break;
        case 'D': settings_apply(settings, const_cast<char*>(opt_arg)); break;
        default: usage_exit(usage);
        }
    }
    opt_shift();
    exit_if_errors(2);

    static Area text, table;
    area_create_doubling(rsize, "rsize", &text);
    area_create_doubling(tsize, "tsize", &table);

    Input in;
    open_input(&in, INPUT_ALL_FILES);
    int32_t seq = 0;
    while (Field* rec = next_record(&in, &text, &table)) {
        ++seq;
        if (filenames) {
            if (in.name) {
                out_str("filename:");
                out_str(in.name);
                out_putwc(L'\n');
            }
            if (in.number == 1) seq = 1;
        }
        if (numbering) {
            out_str("seq:");
            out_int(seq);
            out_putwc(L'\n');
        }
        write_record(rec);
        area_reset(&table);
        area_reset(&text);
    }
    exit_if_errors(1);
    rk_exit(0);
}
