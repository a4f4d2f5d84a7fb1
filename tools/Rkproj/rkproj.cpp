// Rkproj: keeps the fields of each record that a field list selects.
#include "record.h"

static const char usage[] =
    "Rkproj [^]field-list [input-file ..]\n"
    "\toutputs specified fields.\n";

int main(int argc, char** argv) {
    runtime_init(argc, argv);
    int32_t rsize = 4, tsize = 1, nsize = 4;
    Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {nullptr, nullptr}};
    scan_options(settings, usage);

    static Area text, table, names;
    static FieldList list;
    area_create_doubling(rsize, "rsize", &text);
    area_create_doubling(tsize, "tsize", &table);
    area_create_doubling(nsize, "nsize", &names);
    area_push_pact(0, field_list_relocate_pact, &list, nullptr, &names);
    field_list_parse(take_argument(usage), &list, &names);
    exit_if_errors(2);

    Input in;
    open_input(&in, INPUT_ALL_FILES);
    while (Field* rec = next_record(&in, &text, &table)) {
        bool any = false;
        for (const Field* f = rec; f->start; ++f)
            if (field_list_match(&list, f->start, field_name_key(f), nullptr, nullptr)) {
                write_field(f);
                any = true;
            }
        if (any) out_putwc(L'\n');
        area_reset(&table);
        area_reset(&text);
    }
    exit_if_errors(1);
    rk_exit(0);
}
