// Rkfreq: counts the records of each distinct key, optionally per group of
// consecutive records and per input file, and writes one record per key in
// key order. Beyond a memory limit the counts go to run files, merged when
// the table is written.
#include <cstring>

#include "progress.h"
#include "rkfreq.h"
#include "tool.h"

static const char usage[] =
    "Rkfreq [-options] [^]key-field-list [input-file ..]\n"
    "\tfrequency count of specified fields.\n"
    "\tOptions:\n"
    "\t-m\tmissing value is also counted.\n"
    "\t-p\tadd percent: field.\n"
    "\t-k key-flags\tdefault key flags.\n"
    "\t-g key-field-list\tgroup by fields.\n"
    "\t-T directory\ttmp file directory.\n"
    "\t-D xmem=N\tmax memory for counts (KB).\n";

static int32_t rsize = 4, tsize = 1, nsize = 1, ksize = 1, vsize = 4, xmem = 32768;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize},     {"ksize", &ksize},
                             {"vsize", &vsize}, {"xmem", &xmem},   {"digits", &number_digits}, {nullptr, nullptr}};
static bool missing_too = false, percent = false, per_file = false;
static const char* group_text = nullptr;
static const char* flags_text = nullptr;

static bool option(int letter) {
    switch (letter) {
    case 'm': missing_too = true; return true;
    case 'p': percent = true; return true;
    case 'F': per_file = true; return true;
    case 'g': group_text = opt_arg; return true;
    case 'k': flags_text = opt_arg; return true;
    case 'T': temp_option = opt_arg; return true;
    }
    return false;
}

static const ToolSpec spec = {usage, "mpFg:k:D:T:", settings, option, nullptr};

namespace rkfreq {
FieldList list;
}
using namespace rkfreq;

static Area text, table, names, keys, groups;
static FieldList group_list;
static KeyTree tree;
static uint32_t counted = 0;
// The group key of the records before, initially the empty key.
static const uint32_t no_key[1] = {0};
static const uint32_t* group = no_key;

// The count of a key is a word of vsize right after the key itself, which
// never moves; the tree's leaves hold its offset. Keys met before are found
// by a hash of their words in a table of recent ones and counted without a
// search of the tree: a slot is good for the table of its generation only.
struct Seen {
    uint32_t hash, key, count, generation;
};
enum { SEEN_SLOTS = 4096 };
static Seen seen[SEEN_SLOTS];
static uint32_t generation = 1;

static uint32_t key_hash(const uint32_t* key) {
    uint32_t h = 2166136261u;
    for (const uint32_t* p = key; p < key + key[0] / 4; ++p) h = (h ^ *p) * 16777619u;
    return h;
}

// Counts the key, the newest object of vsize.
static void count(uint32_t* key) {
    uint32_t h = key_hash(key);
    Seen& s = seen[h & (SEEN_SLOTS - 1)];
    if (s.generation == generation && s.hash == h) {
        const uint32_t* old = keytree_key(&tree, s.key);
        if (old[0] == key[0] && std::memcmp(old, key, key[0]) == 0) {
            area_drop(key, &keys);
            ++*keytree_word(&tree, s.count);
            return;
        }
    }
    bool added;
    uint32_t value = keytree_insert(&tree, key, &added);
    if (added) {
        uint32_t* c = static_cast<uint32_t*>(area_alloc(sizeof(uint32_t), &keys));
        *c = 0;
        *keytree_word(&tree, value) = uint32_t(reinterpret_cast<char*>(c) - keys.base);
    }
    s = Seen{h, keytree_key_of(&tree, value), *keytree_word(&tree, value), generation};
    ++*keytree_word(&tree, s.count);
}

// The keys area may grow to key_limit bytes (xmem, or its initial size when
// that is more). A record that needs more still gets it; the counts then go
// to a run once it is counted. When the memory within the limit can't be
// had, the limit comes down to what the area holds, and the record gets
// what can still be had.
static size_t key_limit, key_initial;
static bool spill_due = false;

static int grow_keys(void*, void*, Area* area) {
    size_t s = area_size(area);
    if (s > SIZE_MAX / 2) fatal("can't resize %s\n", area->label);
    if (s < key_limit && area_try_resize(2 * s > key_limit ? key_limit : 2 * s, area)) return 0;
    if (s < key_limit) key_limit = s;
    spill_due = true;
    if (!area_try_resize(2 * s, area)) area_resize(s + s / 8, area);
    return 0;
}

// Empties the tree and its area.
static void empty_tree() {
    tree = keytree_make(&keys, &list);
    area_reset(&keys);
    if (++generation == 0) {  // after 2^32 tables the slots start afresh
        std::memset(seen, 0, sizeof seen);
        generation = 1;
    }
}

// Writes the counts so far as a run and gives the memory back to the limit.
static void spill() {
    write_run(&tree);
    empty_tree();
    if (area_size(&keys) > key_limit) area_resize(key_limit, &keys);
    spill_due = false;
}

static const char* table_file;  // the file of the table being written (-F)

void rkfreq::put_count(const uint32_t* key, uint64_t count) {
    if (per_file) write_filename(table_file);
    if (group_text) print_key(group, &group_list);
    print_key(key, &list);
    out_lit("count:");
    out_int(long(count));
    out_putwc(L'\n');
    if (percent) {
        out_lit("percent:");
        print_number(double(count) * 100 / double(counted));
        out_putwc(L'\n');
    }
    out_putwc(L'\n');
}

// Writes the table of the keys counted so far and empties it: from the tree,
// or, when runs were written, the tree as one more run and the merge of
// them all, in the memory the tree gave back.
static void write_table(const char* file_name) {
    if (counted == 0) return;
    table_file = file_name;
    if (run_count == 0) {
        keytree_each(&tree, [](const uint32_t* key, uint32_t count_at) { put_count(key, *keytree_word(&tree, count_at)); });
    } else {
        if (tree.root != KEYTREE_NONE) write_run(&tree);
        area_reset(&keys);
        area_resize(key_initial, &keys);
        merge_runs(key_limit);
    }
    empty_tree();
    counted = 0;
}

int main(int argc, char** argv) {
    install_handlers("Rkfreq");
    new_stem();
    tool_start(spec, argc, argv);
    set_cleanup(remove_runs);
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    // The names area holds two lists, each with its relocation pact, and
    // the key builder's own while it extends an exclusive list.
    tool_area("nsize", &names, nullptr, 8);
    tool_area("vsize", &keys, grow_keys);
    key_initial = area_size(&keys);
    key_limit = xmem > 0 && size_t(xmem) * 1024 > key_initial ? size_t(xmem) * 1024 : key_initial;
    if (group_text) {
        tool_area("ksize", &groups);
        area_push_pact(0, relocate_pair, &group, nullptr, &groups);
    }
    tool_key_list(take_argument(usage), flags_text, &list, &names);
    if (group_text) tool_key_list(group_text, flags_text, &group_list, &names);
    tree = keytree_make(&keys, &list);

    // The files in turn, each an input of its own for -F.
    exit_if_errors(2);
    progress_start();
    do {
        Input in;
        open_input(&in, INPUT_ONE_FILE);
        while (Field* rec = next_record(&in, &text, &table)) {
            if (group_text) {
                // A new group: the table of the one before goes out.
                next_group(rec, &group_list, &groups, &names, &group, [&in] { write_table(in.name); });
            }
            uint32_t* key = make_key(rec, &list, &keys, &names);
            if (missing_too || !key_is_empty(key)) {
                count(key);
                ++counted;
            } else {
                area_drop(key, &keys);
            }
            if (spill_due) spill();
            if (run_count > 0 && progress_due()) {
                char read[16];
                progress_show("Rkfreq: counting, %s read, %ld runs written", progress_bytes(read, ws_bytes_read),
                              long(run_count));
            }
            area_reset(&table);
            area_reset(&text);
        }
        if (per_file) {
            write_table(in.name);
            if (group_text) {
                group = no_key;
                area_reset(&groups);
            }
        }
    } while (nargs > 0);
    write_table(nullptr);
    tool_finish();
}
