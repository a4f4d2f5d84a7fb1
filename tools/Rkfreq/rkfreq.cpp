// Rkfreq: counts the records of each distinct key, optionally per group of
// consecutive records and per input file, and writes one record per key in
// key order.
#include <cstring>

#include "keytree.h"
#include "tool.h"

static const char usage[] =
    "Rkfreq [-options] [^]key-field-list [input-file ..]\n"
    "\tfrequency count of specified fields.\n"
    "\tOptions:\n"
    "\t-m\tmissing value is also counted.\n"
    "\t-p\tadd percent: field.\n"
    "\t-k key-flags\tdefault key flags.\n"
    "\t-g key-field-list\tgroup by fields.\n";

static int32_t rsize = 4, tsize = 1, nsize = 1, ksize = 1, vsize = 4;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize},
                             {"ksize", &ksize}, {"vsize", &vsize}, {"digits", &number_digits}, {nullptr, nullptr}};
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
    }
    return false;
}

static const ToolSpec spec = {usage, "mpFg:k:D:", settings, option, nullptr};

static Area text, table, names, keys, groups;
static FieldList list, group_list;
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

// Writes the table of the keys counted so far and empties it.
static void write_table(const char* file_name) {
    if (counted == 0) return;
    keytree_each(&tree, [file_name](const uint32_t* key, uint32_t count_at) {
        uint32_t count = *keytree_word(&tree, count_at);
        if (per_file) write_filename(file_name);
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
    });
    tree = keytree_make(&keys, &list);
    area_reset(&keys);
    counted = 0;
    if (++generation == 0) {  // after 2^32 tables the slots start afresh
        std::memset(seen, 0, sizeof seen);
        generation = 1;
    }
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    // The names area holds two lists, each with its relocation pact, and
    // the key builder's own while it extends an exclusive list.
    tool_area("nsize", &names, nullptr, 8);
    tool_area("vsize", &keys);
    if (group_text) {
        tool_area("ksize", &groups);
        area_push_pact(0, relocate_pair, &group, nullptr, &groups);
    }
    tool_key_list(take_argument(usage), flags_text, &list, &names);
    if (group_text) tool_key_list(group_text, flags_text, &group_list, &names);
    tree = keytree_make(&keys, &list);

    // The files in turn, each an input of its own for -F.
    exit_if_errors(2);
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
