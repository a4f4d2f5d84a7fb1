// Rkcat: concatenates Rk-files, optionally numbering the records and naming
// the file each came from.
#include "tool.h"

static const char usage[] =
    "Rkcat [-options] [input-file ..]\n"
    "\tconcatenate Rk-files.\n"
    "\tOptions:\n"
    "\t-n\tnumbering, add seq: field.\n"
    "\t-g key-field-list\tgrouped by numbering.\n"
    "\t-k key-flags\tdefault key-flags for -g option.\n"
    "\t-F\tadd filename: field; seq number (if any) for each input file.\n";

// Everything at file scope: a static inside a function would need a guarded
// initialisation from the C++ runtime library.
static int32_t rsize = 4, tsize = 1, ksize = 1, nsize = 1;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"ksize", &ksize}, {"nsize", &nsize}, {nullptr, nullptr}};
static bool numbering = false, filenames = false;
static const char* group_list = nullptr;
static const char* group_flags = nullptr;

static bool option(int letter) {
    switch (letter) {
    case 'n': numbering = true; return true;
    case 'F': filenames = true; return true;
    case 'g': group_list = opt_arg; return true;
    case 'k': group_flags = opt_arg; return true;
    }
    return false;
}

static const ToolSpec spec = {usage, "nFD:g:k:", settings, option, nullptr};

static Area text, table, keys, names;
static FieldList list;
// The key of the record before, initially an empty key.
static const uint32_t no_key[1] = {0};
static const uint32_t* previous = no_key;

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    if (group_list) {
        tool_area("ksize", &keys);
        area_push_pact(0, relocate_pair, &previous, nullptr, &keys);
    }
    tool_area("nsize", &names);
    if (group_list) tool_key_list(group_list, group_flags, &list, &names);

    // Without groups no field is looked at: records go out as their bytes
    // wherever the reader can give them so.
    int32_t seq = 0;
    auto each = [&seq](Field* rec, const RecordBytes* bytes, const Input& in) {
        ++seq;
        if (group_list) {
            // A new group starts where the key changes; the key of the
            // group before is given back, and so is a repeated key.
            if (next_group(rec, &list, &keys, &names, &previous, [] {})) seq = 1;
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
        if (rec) write_record(rec);
        else write_record_bytes(bytes);
    };
    if (group_list) tool_each_record(&text, &table, [&each](Field* rec, const Input& in) { each(rec, nullptr, in); });
    tool_each_record_bytes(&text, &table, [&each](Field* rec, const RecordBytes& b, const Input& in) { each(rec, &b, in); });
}
