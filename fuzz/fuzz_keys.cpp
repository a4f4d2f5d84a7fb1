// Field lists, key-field lists, key building and comparison: the order of
// keys must be consistent (reflexive, antisymmetric, transitive); and the
// key tree must give back the distinct keys of the records in the order of
// a sort of the same keys, with their counts, and find each key of the
// records (inserted or not) exactly when a linear search finds it.
#include "fuzz_common.h"
#include "keys.h"
#include "keytree.h"

static int sign(int c) { return (c > 0) - (c < 0); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_start();
    std::vector<std::string> parts = split_parts(data, size, 3);
    const std::string& records = parts[2];
    if (!valid_text(reinterpret_cast<const uint8_t*>(records.data()), records.size())) return 0;
    static Area text, table, keys, names;
    static FieldList list;
    static bool made = false;
    if (!made) {
        area_create_kb(1024, "rsize", &text);
        area_create_kb(1024, "tsize", &table);
        area_create_kb(4096, "ksize", &keys);
        area_create_doubling(1, "nsize", &names);
        area_push_pact(0, field_list_relocate_pact, &list, nullptr, &names);
        made = true;
    }
    area_reset(&text);
    area_reset(&table);
    area_reset(&keys);
    area_reset(&names);
    default_key_flags = 0;
    field_list_parse(parts[0].c_str(), &list, &names);
    if (!parts[1].empty()) key_default_flags(parts[1].c_str(), &names);
    key_list_resolve(&list, &names);
    error_count = 0;

    // Every entry's name ends in its colon.
    for (FieldListEntry* e : {list.included, list.excluded})
        for (; e; e = e->next)
            if (e->length == 0 || e->name[e->length - 1] != L':') __builtin_trap();

    WStream* s = ws_memory(records.data(), records.size());
    std::vector<uint32_t*> made_keys;
    while (made_keys.size() < 12) {
        Field* rec = read_record(s, &text, &table);
        if (rec == nullptr) break;
        made_keys.push_back(make_key(rec, &list, &keys, &names));
    }
    ws_close(s);
    size_t n = made_keys.size();
    for (size_t i = 0; i < n; ++i) {
        if (compare_keys(made_keys[i], made_keys[i], &list) != 0) __builtin_trap();
        for (size_t j = 0; j < n; ++j) {
            int ij = sign(compare_keys(made_keys[i], made_keys[j], &list));
            if (ij != -sign(compare_keys(made_keys[j], made_keys[i], &list))) __builtin_trap();
            for (size_t k = 0; k < n; ++k) {
                int jk = sign(compare_keys(made_keys[j], made_keys[k], &list));
                int ik = sign(compare_keys(made_keys[i], made_keys[k], &list));
                if (ij <= 0 && jk <= 0 && ik > 0) __builtin_trap();
                if (ij == 0 && jk == 0 && ik != 0) __builtin_trap();
            }
        }
    }
    // The tree, over areas that start small and grow under it: the keys in
    // the nodes' area on odd sizes, in an area of their own on even ones.
    static Area tree_area, tree_keys;
    area_create_doubling(1, "vsize", &tree_area);
    area_create_doubling(1, "ksize", &tree_keys);
    Area* key_home = size % 2 ? &tree_area : &tree_keys;
    area_reset(&text);
    area_reset(&table);
    KeyTree tree = keytree_make(&tree_area, key_home, &list);
    std::vector<uint32_t*> sorted;  // the keys again, sorted by insertion, with their counts
    std::vector<uint32_t> counts;
    s = ws_memory(records.data(), records.size());
    size_t inserted = 0;
    while (inserted < 200) {
        Field* rec = read_record(s, &text, &table);
        if (rec == nullptr) break;
        uint32_t* key = make_key(rec, &list, &keys, &names);
        // The same key, copied to the tree's area as its newest object.
        uint32_t* copy = static_cast<uint32_t*>(area_alloc(key[0], key_home));
        std::memcpy(copy, key, key[0]);
        bool added;
        uint32_t value = keytree_insert(&tree, copy, &added);
        ++*keytree_word(&tree, value);
        ++inserted;
        size_t at = 0;
        while (at < sorted.size() && compare_keys(sorted[at], key, &list) < 0) ++at;
        bool there = at < sorted.size() && compare_keys(sorted[at], key, &list) == 0;
        if (there != !added) __builtin_trap();
        if (there) {
            ++counts[at];
        } else {
            sorted.insert(sorted.begin() + long(at), key);
            counts.insert(counts.begin() + long(at), 1);
        }
    }
    ws_close(s);
    size_t i = 0;
    keytree_each(&tree, [&](const uint32_t* key, uint32_t count) {
        if (i >= sorted.size() || compare_keys(key, sorted[i], &list) != 0 || count != counts[i]) __builtin_trap();
        ++i;
    });
    if (i != sorted.size()) __builtin_trap();
    // Lookups of the keys of the first 400 records, the last 200 of which
    // were not inserted.
    s = ws_memory(records.data(), records.size());
    for (int looked = 0; looked < 400; ++looked) {
        Field* rec = read_record(s, &text, &table);
        if (rec == nullptr) break;
        uint32_t* key = make_key(rec, &list, &keys, &names);
        size_t at = 0;
        while (at < sorted.size() && compare_keys(sorted[at], key, &list) != 0) ++at;
        uint32_t value = keytree_find(&tree, key);
        if ((value == KEYTREE_NONE) != (at == sorted.size())) __builtin_trap();
        if (value != KEYTREE_NONE && *keytree_word(&tree, value) != counts[at]) __builtin_trap();
    }
    ws_close(s);
    area_destroy(&tree_area);
    area_destroy(&tree_keys);
    return 0;
}
