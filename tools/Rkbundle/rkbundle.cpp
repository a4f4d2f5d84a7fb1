// Rkbundle: bundles each run of adjacent records of equal key into one
// record: the run's first record whole, then the fields of the others that
// are not key fields. It holds one key, never a run of records.
#include "merge.h"
#include "tool.h"

static const char usage[] =
    "Rkbundle [-options] [^]key-field-list [input-file ..]\n"
    "\tbundles same key records into one record.\n"
    "\tOptions:\n"
    "\t-k key-flags\tdefault key flags.\n";

static int32_t rsize = 4, tsize = 1, nsize = 4, ksize = 4;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {"ksize", &ksize},
                             {nullptr, nullptr}};
static const char* flags_text = nullptr;

static bool option(int letter) {
    if (letter != 'k') return false;
    flags_text = opt_arg;
    return true;
}

static const ToolSpec spec = {usage, "k:D:", settings, option, nullptr};

static Area text, table, names, keys;
static FieldList list;
// The key of the run's first record; null before the first record.
static const uint32_t* run_key = nullptr;

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    tool_area("nsize", &names);
    tool_area("ksize", &keys);
    area_push_pact(0, relocate_pair, &run_key, nullptr, &keys);
    tool_key_list(take_argument(usage), flags_text, &list, &names);
    exit_if_errors(2);
    Input in;
    open_input(&in, INPUT_ALL_FILES);
    while (Field* rec = next_record(&in, &text, &table)) {
        uint32_t* key = make_key(rec, &list, &keys, &names);
        if (run_key && compare_keys(key, run_key, &list) == 0) {
            area_drop(key, &keys);
            write_nonkey_fields(rec);
        } else {
            if (run_key) out_putwc(L'\n');
            write_record_text(rec);
            area_release(key, &keys);
            run_key = key;
        }
        area_reset(&table);
        area_reset(&text);
    }
    if (run_key) out_putwc(L'\n');
    tool_finish();
}
