// Rksort: a stable sort of records by a key-field list, in memory up to a
// limit and through temporary run files merged sixteen at a time beyond it.
#include <initializer_list>

#include "rksort.h"
#include "tool.h"

static const char usage[] =
    "Rksort [-options] [^]key-field-list [input-file ..]\n"
    "\tsorts Rk-files.\n"
    "\tOptions:\n"
    "\t-k key-flags\tdefault key flags.\n"
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

static bool option(int letter) {
    switch (letter) {
    case 'k': flags = opt_arg; return true;
    case 'T': temp_option = opt_arg; return true;
    }
    return false;
}

static const ToolSpec spec = {usage, "k:D:T:", settings, option, nullptr};

int main(int argc, char** argv) {
    install_handlers();
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

    Input in;
    open_input(&in, INPUT_ALL_FILES);
    area_align(alignof(Entry), &entries);
    while (Field* rec = next_record(&in, &text, &table)) hold(rec);

    if (run_count == 0) {
        write_held();
    } else {
        if (held > 0) write_run();
        for (Area* a : {&table, &entries, &keys}) area_resize(0, a);
        merge_runs();
    }
    tool_finish();
}
