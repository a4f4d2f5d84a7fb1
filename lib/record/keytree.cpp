// The key tree's insertion: a descent by binary search, splits of full
// nodes on the way back up (a leaf keeps 4 of 9 entries and passes the new
// leaf's first key up; an inner node keeps 4, passes the 5th up and gives
// the last 4 to the new node) and a new root when the root splits.
#include <cstring>

#include "keytree.h"

namespace {

KeyTreeNode* node(const KeyTree* t, uint32_t at) { return reinterpret_cast<KeyTreeNode*>(t->area->base + at); }

uint32_t offset_of(const KeyTree* t, const void* p) { return uint32_t(static_cast<const char*>(p) - t->area->base); }

const uint32_t* key_at(const KeyTree* t, uint32_t offset) {
    return reinterpret_cast<const uint32_t*>(t->keys->base + offset);
}

// A new node at the area's head (which may move the area).
uint32_t new_node(KeyTree* t, int16_t leaf) {
    area_align(alignof(KeyTreeNode), t->area);
    auto* n = static_cast<KeyTreeNode*>(area_alloc(sizeof(KeyTreeNode), t->area));
    // The offsets are 32-bit words: an area beyond them can't hold a tree.
    if (size_t(t->area->head - t->area->base) > UINT32_MAX) fatal("can't resize %s\n", t->area->label);
    n->leaf = leaf;
    n->size = 0;
    n->link = KEYTREE_NONE;
    return offset_of(t, n);
}

// The number of entries of n whose key is at most `key`; *equal tells
// whether the last of them equals it.
int position(const KeyTree* t, const KeyTreeNode* n, const uint32_t* k, bool* equal) {
    int low = 0, high = n->size;  // the answer lies in [low, high]
    *equal = false;
    while (low < high) {
        int mid = (low + high) / 2;
        int c = compare_keys(key_at(t, n->entries[mid].key), k, t->list);
        if (c == 0) {
            *equal = true;
            return mid + 1;
        }
        if (c < 0) low = mid + 1;
        else high = mid;
    }
    return low;
}

// What a split passes up: the separator and the new node right of it.
struct Split {
    bool happened;
    KeyTreeEntry up;
};

// Puts e at index `at` of the node at `at_node`, which has room.
void place(KeyTree* t, uint32_t at_node, int at, KeyTreeEntry e) {
    KeyTreeNode* n = node(t, at_node);
    std::memmove(&n->entries[at + 1], &n->entries[at], sizeof(KeyTreeEntry) * size_t(n->size - at));
    n->entries[at] = e;
    ++n->size;
}

// Puts e at index `at` of the full node at `full`: of the nine entries the
// first 4 stay; a leaf gives the last 5 to a new leaf chained after it and
// passes that leaf's first key up, an inner node passes the 5th up (its
// child becomes the new node's link) and gives the last 4 to the new node.
Split split(KeyTree* t, uint32_t full, int at, KeyTreeEntry e) {
    KeyTreeEntry nine[9];
    {
        KeyTreeNode* n = node(t, full);
        std::memcpy(nine, n->entries, sizeof(KeyTreeEntry) * size_t(at));
        nine[at] = e;
        std::memcpy(nine + at + 1, n->entries + at, sizeof(KeyTreeEntry) * size_t(8 - at));
    }
    bool leaf = node(t, full)->leaf;
    uint32_t fresh = new_node(t, int16_t(leaf));  // the area may move here
    KeyTreeNode* n = node(t, full);
    KeyTreeNode* m = node(t, fresh);
    std::memcpy(n->entries, nine, sizeof(KeyTreeEntry) * 4);
    n->size = 4;
    if (leaf) {
        std::memcpy(m->entries, nine + 4, sizeof(KeyTreeEntry) * 5);
        m->size = 5;
        m->link = n->link;
        n->link = fresh;
        return Split{true, KeyTreeEntry{m->entries[0].key, fresh}};
    }
    m->link = nine[4].value;
    std::memcpy(m->entries, nine + 5, sizeof(KeyTreeEntry) * 4);
    m->size = 4;
    return Split{true, KeyTreeEntry{nine[4].key, fresh}};
}

// Inserts below the node at `at_node`; *value is set to the offset of the
// key's value word, *added when the key is new.
Split insert(KeyTree* t, uint32_t at_node, uint32_t key, uint32_t* value, bool* added) {
    bool equal;
    KeyTreeNode* n = node(t, at_node);
    int p = position(t, n, key_at(t, key), &equal);
    if (n->leaf) {
        if (equal) {
            *value = offset_of(t, &n->entries[p - 1].value);
            return Split{false, {}};
        }
        *added = true;
        KeyTreeEntry e{key, 0};
        Split s{false, {}};
        if (n->size < 8) {
            place(t, at_node, p, e);
        } else {
            s = split(t, at_node, p, e);
        }
        // Where the new entry ended up.
        bool ignored;
        uint32_t holder = at_node;
        if (s.happened && p >= 4) holder = s.up.value;
        KeyTreeNode* h = node(t, holder);
        int q = position(t, h, key_at(t, key), &ignored);
        *value = offset_of(t, &h->entries[q - 1].value);
        return s;
    }
    uint32_t child = p == 0 ? n->link : n->entries[p - 1].value;
    Split below = insert(t, child, key, value, added);
    if (!below.happened) return Split{false, {}};
    // The value's word moves with a split of this node only if it lay in
    // it, and it lies in a leaf: its offset stays good.
    if (node(t, at_node)->size < 8) {
        place(t, at_node, p, below.up);
        return Split{false, {}};
    }
    return split(t, at_node, p, below.up);
}

}  // namespace

uint32_t keytree_insert(KeyTree* t, uint32_t* key, bool* added) {
    *added = false;
    // The keys' offsets are 32-bit words too.
    if (size_t(reinterpret_cast<char*>(key) - t->keys->base) > UINT32_MAX) fatal("can't resize %s\n", t->keys->label);
    uint32_t k = uint32_t(reinterpret_cast<char*>(key) - t->keys->base);
    uint32_t value = 0;
    if (t->root == KEYTREE_NONE) {
        t->root = new_node(t, 1);
        place(t, t->root, 0, KeyTreeEntry{k, 0});
        *added = true;
        return offset_of(t, &node(t, t->root)->entries[0].value);
    }
    Split s = insert(t, t->root, k, &value, added);
    if (s.happened) {
        uint32_t root = new_node(t, 0);
        KeyTreeNode* r = node(t, root);
        r->link = t->root;
        r->entries[0] = s.up;
        r->size = 1;
        t->root = root;
    }
    if (!*added) area_drop(key_at(t, k), t->keys);
    return value;
}

uint32_t keytree_first_leaf(const KeyTree* t) {
    uint32_t at = t->root;
    while (at != KEYTREE_NONE && !keytree_node(t, at)->leaf) at = keytree_node(t, at)->link;
    return at;
}

uint32_t keytree_find(const KeyTree* t, const uint32_t* key) {
    uint32_t at = t->root;
    if (at == KEYTREE_NONE) return KEYTREE_NONE;
    for (;;) {
        const KeyTreeNode* n = keytree_node(t, at);
        bool equal;
        int p = position(t, n, key, &equal);
        if (n->leaf) return equal ? offset_of(t, &n->entries[p - 1].value) : KEYTREE_NONE;
        at = p == 0 ? n->link : n->entries[p - 1].value;
    }
}
