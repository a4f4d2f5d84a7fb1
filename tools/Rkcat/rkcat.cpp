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

// At file scope: a static inside a function would need a guarded
// initialisation from the C++ runtime library.
static FieldList list;

int main(int argc, char** argv) {
    runtime_init(argc, argv);
    int32_t rsize = 4, tsize = 1, ksize = 1, nsize = 1;
    Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"ksize", &ksize}, {"nsize", &nsize}, {nullptr, nullptr}};
    bool numbering = false, filenames = false;
    const char* group_list = nullptr;
    const char* group_flags = nullptr;
    int letter;
    while (opt_next("nFD:g:k:", &letter)) {
        switch (letter) {
        case 'n': numbering = true; break;
        case 'F': filenames = true; break;
        case 'g': group_list = opt_arg; break;
        case 'k': group_flags = opt_arg; break;
        case 'D': settings_apply(settings, const_cast<char*>(opt_arg)); break;
        default: usage_exit(usage);
        }
    }
    opt_shift();

    static Area text, table, keys, names;
    // The key of the record before, initially an empty key.
    static const uint32_t no_key[1] = {0};
    static const uint32_t* previous = no_key;
    area_create_doubling(rsize, "rsize", &text);
    area_create_doubling(tsize, "tsize", &table);
    if (group_list) {
        area_create_doubling(ksize, "ksize", &keys);
        area_push_pact(0, relocate_pair, &previous, nullptr, &keys);
    }
    area_create_doubling(nsize, "nsize", &names);
    area_push_pact(0, field_list_relocate_pact, &list, nullptr, &names);
    if (group_list) {
        field_list_parse(group_list, &list, &names);
        if (group_flags) key_default_flags(group_flags, &names);
        key_list_resolve(&list, &names);
    }
    exit_if_errors(2);

    Input in;
    open_input(&in, INPUT_ALL_FILES);
    int32_t seq = 0;
    while (Field* rec = next_record(&in, &text, &table)) {
        ++seq;
        if (group_list) {
            // A new group starts where the key changes; the key of the
            // group before is given back, and so is a repeated key.
            uint32_t* key = make_key(rec, &list, &keys, &names);
            if (compare_keys(key, previous, &list) != 0) {
                seq = 1;
                area_release(key, &keys);
                previous = key;
            } else {
                keys.head = reinterpret_cast<char*>(key);
            }
        }
        if (filenames) {
            write_filename(in.name);
            if (in.number == 1) seq = 1;
        }
        if (numbering) {
            out_lit("seq:");
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
