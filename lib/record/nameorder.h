// The merged order of the field names of several records: one list that
// keeps the order of each record's names as far as the records agree.
// Records are merged one after the other; for each distinct name of a
// record in the order of its first field, with a cursor that starts before
// the first name of the list: a name found after the cursor stays, one
// found before it moves right after it, a new one is inserted right after
// it; then the name becomes the cursor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>

enum { NAME_MET = 0, NAME_STAYED = 1, NAME_MOVED = 2, NAME_NEW = 3 };

struct NameOrder {
    struct Node {
        int32_t prev, next;  // -1 for none
        uint64_t label;      // grows along the list
        uint64_t record;     // the record that met it last
        const wchar_t* name;  // its copy, 0-terminated, in a block of `names`
        uint32_t length, hash;
    };
    Node* nodes = nullptr;
    size_t node_room = 0;
    int32_t count = 0;  // nodes are numbered from 0 in the order they were made
    // The copies of the names, in blocks that never move until the order is
    // cleared (then they are used again).
    struct NameBlock {
        NameBlock* next;
        size_t room, used;
        wchar_t text[1];
    };
    NameBlock* names = nullptr;  // the block being filled; the full ones follow
    NameBlock* spare = nullptr;  // blocks left by clearing
    // Names to nodes: open addressing, slots good for their generation only.
    struct Slot {
        uint32_t generation, hash;
        int32_t node;
    };
    Slot* slots = nullptr;
    size_t slot_mask = 0;
    uint32_t generation = 1;
    int32_t first = -1, cursor = -1;
    uint64_t record = 0;
};

// Forgets every name (the nodes are numbered from 0 again).
void name_order_clear(NameOrder* order);
// Starts the next record: the cursor goes before the first name.
inline void name_order_next_record(NameOrder* order) {
    order->cursor = -1;
    ++order->record;
}
// The node of a name of the current record (length characters, the name
// is copied), placed by the rule above; *mark tells how: NAME_STAYED,
// NAME_MOVED or NAME_NEW, or NAME_MET for a name the record had before
// (which stays where it is and leaves the cursor alone).
int32_t name_order_take(NameOrder* order, const wchar_t* name, size_t length, int* mark);
// The name of a node, 0-terminated; it stays in place until the order is
// cleared.
inline const wchar_t* name_order_name(const NameOrder* order, int32_t node) { return order->nodes[node].name; }
// The node of a name, or -1 when the order has none; changes nothing.
int32_t name_order_find(NameOrder* order, const wchar_t* name, size_t length);
