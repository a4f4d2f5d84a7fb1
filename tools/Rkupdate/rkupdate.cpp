// Rkupdate: applies update files to a master file, all sorted by one key:
// of every key the records of the last file that has it are written, in
// place of those of the files before; with -d the last file lists keys
// whose records are written by nobody.
#include "merge.h"
#include "tool.h"

static const char usage[] =
    "Rkupdate [-options] [^]key-field-list input-file [update-file ..]\n"
    "\tupdates input file by update-file[s].\n"
    "\t\tInput and update files must be sorted by key-field-list order.\n"
    "\tOptions:\n"
    "\t-d the last update-file contains records to be deleted.\n"
    "\t-k keyflags\tdefault key flags.\n";

// vsize is accepted for the command lines of the join; it sizes nothing.
static int32_t rsize = 4, tsize = 1, dsize = 1, ksize = 1, vsize = 1, nsize = 1;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"dsize", &dsize}, {"ksize", &ksize},
                             {"vsize", &vsize}, {"nsize", &nsize}, {nullptr, nullptr}};
static bool deleting = false;
static const char* flags_text = nullptr;

static bool option(int letter) {
    switch (letter) {
    case 'd': deleting = true; return true;
    case 'k': flags_text = opt_arg; return true;
    }
    return false;
}

static const ToolSpec spec = {usage, "dk:D:", settings, option, nullptr};

static Area names;
static FieldList list;

// A master record without a key is copied; an update or deletion without
// one says nothing to apply.
static void keyless(const MergeInput* s, const Field* rec) {
    if (s->number == 0) write_record(rec);
    else warn(WARN_ERROR, "record without key in %s(%d), not applied.\n", input_name, input_number);
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    tool_area("nsize", &names);
    tool_key_list(take_argument(usage), flags_text, &list, &names);
    if (nargs == 0) usage_exit(usage);
    exit_if_errors(2);
    Merge m;
    merge_make(&m, merge_input_count(), &list, &names, keyless, "");
    merge_start(&m);
    while (m.run > 0) {
        // Equal keys are ordered by input number: the last of the run wins.
        const MergeInput* last = merge_at(&m, m.run - 1);
        if (!deleting || last->number != m.count - 1)
            for (int32_t i = 0; i < last->size; ++i) write_record(merge_group(last)[i]);
        merge_advance(&m);
    }
    tool_finish();
}
