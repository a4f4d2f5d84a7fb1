// Key trees: the distinct keys of a key-field list in a B+ tree of fan-out
// 8 built in a storage area, the keys in the same area or in one of their
// own. Every key lies in a leaf with a 32-bit value of the caller's (a
// count, a chain); leaves are chained in key order. Nodes and keys are
// referred to by their offsets from their area's base, so the tree needs no
// translation when an area grows (only allocations at the head are made in
// them; the areas must have no pact on row 1).
#pragma once

#include <cstddef>
#include <cstdint>

#include "keys.h"

struct KeyTreeEntry {
    uint32_t key;    // offset of the key
    uint32_t value;  // leaf: the caller's value; inner node: the child right of the key
};

struct KeyTreeNode {
    int16_t leaf;  // 1 for a leaf, 0 for an inner node
    int16_t size;  // entries in use, at most 8
    uint32_t link;  // leaf: the next leaf (KEYTREE_NONE at the last); inner node: the child left of the first entry
    KeyTreeEntry entries[8];
};

enum : uint32_t { KEYTREE_NONE = UINT32_MAX };

struct KeyTree {
    Area* area;             // the nodes
    Area* keys;             // the keys: `area` itself or an area of their own
    const FieldList* list;  // orders the keys (compare_keys)
    uint32_t root;          // KEYTREE_NONE while empty
};

// An empty tree over `area` (the areas themselves are the caller's to reset).
inline KeyTree keytree_make(Area* area, const FieldList* list) { return KeyTree{area, area, list, KEYTREE_NONE}; }
inline KeyTree keytree_make(Area* area, Area* keys, const FieldList* list) {
    return KeyTree{area, keys, list, KEYTREE_NONE};
}
// Looks the key up, inserting it with the value 0 when it is not there.
// `key` must be the newest object of the keys' area: a new key stays where
// it is (*added is set), a key already there is given back to the area.
// Returns the offset of the key's value word (valid until the next
// insertion).
uint32_t keytree_insert(KeyTree* tree, uint32_t* key, bool* added);
// The offset of the value word of a key equal to `key` (which may lie
// anywhere), or KEYTREE_NONE when the tree has none.
uint32_t keytree_find(const KeyTree* tree, const uint32_t* key);
// The offset of the key whose value word lies at `value` (as returned by
// keytree_insert).
inline uint32_t keytree_key_of(const KeyTree* tree, uint32_t value) {
    return *reinterpret_cast<const uint32_t*>(tree->area->base + value - offsetof(KeyTreeEntry, value));
}
// The word at an offset of the tree's area.
inline uint32_t* keytree_word(const KeyTree* tree, uint32_t offset) {
    return reinterpret_cast<uint32_t*>(tree->area->base + offset);
}
// The key at an offset of the keys' area.
inline uint32_t* keytree_key(const KeyTree* tree, uint32_t offset) {
    return reinterpret_cast<uint32_t*>(tree->keys->base + offset);
}
// The leftmost leaf, KEYTREE_NONE for an empty tree.
uint32_t keytree_first_leaf(const KeyTree* tree);
inline const KeyTreeNode* keytree_node(const KeyTree* tree, uint32_t offset) {
    return reinterpret_cast<const KeyTreeNode*>(tree->area->base + offset);
}
// Calls fn(key, value) for every key in order.
template <typename Fn>
void keytree_each(const KeyTree* tree, Fn fn) {
    for (uint32_t at = keytree_first_leaf(tree); at != KEYTREE_NONE;) {
        const KeyTreeNode* n = keytree_node(tree, at);
        for (int i = 0; i < n->size; ++i) fn(keytree_key(tree, n->entries[i].key), n->entries[i].value);
        at = keytree_node(tree, at)->link;
    }
}
