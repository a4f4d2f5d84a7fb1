// Rksort: a stable sort of records by a key-field list, in memory up to a
// limit and through temporary run files merged beyond it; or a merge of
// inputs sorted already (-m).
#include <initializer_list>

#include "merge.h"
#include "progress.h"
#include "rksort.h"
#include "tool.h"

static const char usage[] =
    "Rksort [-options] [^]key-field-list [input-file ..]\n"
    "\tsorts Rk-files.\n"
    "\tOptions:\n"
    "\t-k key-flags\tdefault key flags.\n"
    "\t-m\t\tmerge sorted input-files.\n"
    "\t-T directory\ttmp file directory.\n"
    "\t-D xmem=N\tmax memory for sort (KB).\n";

namespace rksort {
Area text, table, entries, keys, names;
FieldList list;
int32_t xmem = 32768;
int32_t msize = 1;
}  // namespace rksort

using namespace rksort;

static int32_t rsize = 128, tsize = 48, dsize = 4, nsize = 1, ksize = 18;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"dsize", &dsize}, {"nsize", &nsize},
                             {"ksize", &ksize}, {"msize", &msize}, {"xmem", &xmem},   {nullptr, nullptr}};
static const char* flags = nullptr;
static bool merging = false;

static bool option(int letter) {
    switch (letter) {
    case 'k': flags = opt_arg; return true;
    case 'T': temp_option = opt_arg; return true;
    case 'm': merging = true; return true;
    }
    return false;
}

static const ToolSpec spec = {usage, "k:mD:T:", settings, option, nullptr};

// -m: each input is sorted by the list already. One record at a time goes
// out, the first by key, then by input, so that the result is the sort of
// all the inputs one after the other; a record without a key field is one
// like the others, with the empty key, as in the sort.
static void merge_sorted() {
    int32_t count = nargs > 0 ? nargs : 1;
    open_files(size_t(count) + 16);
    Merge m;
    merge_make(&m, count, &list, &names, nullptr, ", or sort them together without -m");
    m.single = true;
    merge_start(&m);
    while (m.run > 0) {
        write_record(merge_group(merge_at(&m, 0))[0]);
        merge_advance(&m);
    }
    tool_finish();
}

int main(int argc, char** argv) {
    install_handlers("Rksort");
    new_stem();
    tool_start(spec, argc, argv);
    set_cleanup(remove_runs);
    tool_area("rsize", &text, memory_pact);
    tool_area("tsize", &table, memory_pact);
    tool_area("dsize", &entries, memory_pact);
    tool_area("ksize", &keys, memory_pact);
    tool_area("nsize", &names);
    tool_key_list(take_argument(usage), flags, &list, &names);
    exit_if_errors(2);
    if (merging) merge_sorted();

    Input in;
    open_input(&in, INPUT_ALL_FILES);
    area_align(alignof(Entry), &entries);
    progress_start();
    while (Field* rec = next_record(&in, &text, &table)) {
        hold(rec);
        if (progress_due()) {
            char read[16];
            progress_show("Rksort: reading, %s read, %ld runs written", progress_bytes(read, ws_bytes_read),
                          long(run_count));
        }
    }

    if (run_count == 0) {
        progress_erase();
        write_held();
    } else {
        if (held > 0) write_run();
        for (Area* a : {&text, &table, &entries, &keys}) area_resize(0, a);
        merge_runs();
    }
    tool_finish();
}
