// Rkunbundle: splits a record holding several groups of leaf fields into
// one record per group, each with all the fields that are not leaves.
#include "format.h"
#include "tool.h"

static const char usage[] =
    "Rkunbundle [-options] [^]leaf-field-list [input-file ..]\n"
    "\tunbundles records by specified leaf fields.\n"
    "\tOptions:\n"
    "\t-N\tN-th occurence algorithm (default).\n"
    "\t-S\tSequence break algorithm.\n"
    "\t-L\tLeading field algorithm.\n";

static int32_t rsize = 4, tsize = 1, nsize = 4;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {nullptr, nullptr}};
static int algorithm = GROUP_NTH;
static bool sequence = false, leading = false;

static bool option(int letter) {
    switch (letter) {
    case 'N': return true;
    case 'S': sequence = true; return true;
    case 'L': leading = true; return true;
    }
    return false;
}

static const ToolSpec spec = {usage, "NSLD:", settings, option, nullptr};

static Area text, table, names;
static FieldList list;
// Per-record tables: the group of each field, and the chains of each group.
static int32_t *groups, *first, *next;
static size_t groups_room = 0, first_room = 0, next_room = 0;

// Writes the fields of two chains (each in record order) merged, each run
// of adjacent lines at once.
static void write_merged(const Field* rec, const Field* end, int32_t a, int32_t b) {
    LineRun lines;
    int32_t previous = -2;
    while (a >= 0 || b >= 0) {
        int32_t i;
        if (b < 0 || (a >= 0 && a < b)) i = a, a = next[a];
        else i = b, b = next[b];
        if (i != previous + 1 && previous >= 0) lines.flush(rec[previous + 1].start);
        lines.keep(&rec[i]);
        previous = i;
    }
    if (previous >= 0) lines.flush(&rec[previous + 1] == end ? end->end : rec[previous + 1].start);
    out_putwc(L'\n');
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    tool_area("nsize", &names);
    format_defaults(FORMAT_OUTPUT, "\t", "", &names);
    format_list_read(take_argument(usage), &list, FORMAT_OUTPUT, &names);
    watch_list(&list);
    algorithm = format_group_algorithm(sequence, leading, &list);
    tool_each_record(&text, &table, [](Field* rec, const Input&) {
        size_t n = size_t(record_end(rec) - rec);
        grow_table(groups, groups_room, n + 1);
        grow_table(first, first_room, n + 2);
        grow_table(next, next_room, n + 1);
        int32_t count = format_groups(rec, n, &list, algorithm, groups);
        if (count == 0) {
            write_record(rec);
            return;
        }
        group_chains(groups, n, count, first, next);
        const Field* end = rec + n;
        for (int32_t g = 1; g <= count; ++g) write_merged(rec, end, first[0], first[g]);
    });
}
