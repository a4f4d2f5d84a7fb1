// Field lists, key-field lists, key building and comparison: the order of
// keys must be consistent (reflexive, antisymmetric, transitive).
#include "fuzz_common.h"
#include "keys.h"

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
    return 0;
}
