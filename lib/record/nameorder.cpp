// The merged order of names. Whether a name lies after the cursor is told
// by labels that grow along the list (spread anew when two neighbours leave
// no room between them, around the place), so that a record costs a hash lookup per name
// however long the list is.
#include "nameorder.h"

#include <cstdlib>
#include <cstring>

#include "fieldlist.h"
#include "runtime.h"

using Node = NameOrder::Node;
using Slot = NameOrder::Slot;

static uint32_t hash_name(const wchar_t* name, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; ++i) h = (h ^ uint32_t(name[i])) * 16777619u;
    return h;
}

static bool same_name(const NameOrder* o, int32_t node, const wchar_t* name, size_t n) {
    const Node& d = o->nodes[node];
    return d.length == n && same_text(d.name, name, n);
}

static Slot* find_slot(NameOrder* o, uint32_t h, const wchar_t* name, size_t n) {
    for (size_t i = h & o->slot_mask;; i = (i + 1) & o->slot_mask) {
        Slot* s = &o->slots[i];
        if (s->generation != o->generation) return s;
        if (s->hash == h && same_name(o, s->node, name, n)) return s;
    }
}

static void grow_slots(NameOrder* o) {
    Slot* old = o->slots;
    size_t old_size = old ? o->slot_mask + 1 : 0;
    size_t size = old_size ? 2 * old_size : 64;
    o->slots = static_cast<Slot*>(checked_malloc(size * sizeof(Slot)));
    std::memset(o->slots, 0, size * sizeof(Slot));
    o->slot_mask = size - 1;
    for (size_t i = 0; i < old_size; ++i) {
        if (old[i].generation != o->generation) continue;
        size_t j = old[i].hash & o->slot_mask;
        while (o->slots[j].generation == o->generation) j = (j + 1) & o->slot_mask;
        o->slots[j] = old[i];
    }
    std::free(old);
}

void name_order_clear(NameOrder* o) {
    o->count = 0;
    while (NameOrder::NameBlock* b = o->names) {
        o->names = b->next;
        b->next = o->spare;
        o->spare = b;
    }
    o->first = o->cursor = -1;
    if (++o->generation == 0) {  // after 2^32 clearings the slots start afresh
        if (o->slots) std::memset(o->slots, 0, (o->slot_mask + 1) * sizeof(Slot));
        o->generation = 1;
    }
}

// Labels lie below this bound.
static const uint64_t LABEL_END = uint64_t(1) << 62;

// Gives the node, just linked right after a neighbour whose label leaves no
// room, and the nodes around it new labels spread evenly: over the smallest
// aligned range of labels around the neighbour's (2, 4, 8, ... labels wide)
// whose nodes are few enough for its width (at most (2/1.4)^i nodes in a
// range of 2^i). A run of insertions at one place then relabels O(log n)
// nodes each, on the average, however long the list is.
static void make_room(NameOrder* o, int32_t node) {
    Node* nodes = o->nodes;
    int32_t prev = nodes[node].prev;
    uint64_t anchor = prev >= 0 ? nodes[prev].label : 0;
    int32_t from = prev >= 0 ? prev : node, to = node;
    uint64_t inside = prev >= 0 ? 2 : 1;
    double limit = 1;
    for (int i = 1; i <= 62; ++i) {
        limit *= 2 / 1.4;
        uint64_t size = uint64_t(1) << i, low = anchor & ~(size - 1), high = low + (size - 1);
        for (int32_t p; (p = nodes[from].prev) >= 0 && nodes[p].label >= low; from = p) ++inside;
        for (int32_t n; (n = nodes[to].next) >= 0 && nodes[n].label <= high; to = n) ++inside;
        if (double(inside) <= limit && inside < size) {
            uint64_t step = size / (inside + 1), label = low;
            for (int32_t k = from;; k = nodes[k].next) {
                nodes[k].label = label += step;
                if (k == to) return;
            }
        }
    }
    uint64_t step = LABEL_END / (uint64_t(o->count) + 1), label = 0;  // the whole list, evenly
    for (int32_t k = o->first; k >= 0; k = nodes[k].next) nodes[k].label = label += step;
}

static void link_after_cursor(NameOrder* o, int32_t node) {
    Node* nodes = o->nodes;
    int32_t c = o->cursor, next = c >= 0 ? nodes[c].next : o->first;
    uint64_t low = c >= 0 ? nodes[c].label : 0, high = next >= 0 ? nodes[next].label : LABEL_END;
    nodes[node].prev = c;
    nodes[node].next = next;
    if (c >= 0) nodes[c].next = node; else o->first = node;
    if (next >= 0) nodes[next].prev = node;
    if (high - low >= 2) nodes[node].label = low + (high - low) / 2;
    else make_room(o, node);
}

static void unlink(NameOrder* o, int32_t node) {
    Node& d = o->nodes[node];
    if (d.prev >= 0) o->nodes[d.prev].next = d.next; else o->first = d.next;
    if (d.next >= 0) o->nodes[d.next].prev = d.prev;
}

// A copy of the name in the current block, or in a new one (a spare one
// when it is large enough).
static const wchar_t* copy_name(NameOrder* o, const wchar_t* name, size_t n) {
    using Block = NameOrder::NameBlock;
    Block* b = o->names;
    if (!b || b->room - b->used < n + 1) {
        Block** spare = &o->spare;
        while (*spare && (*spare)->room < n + 1) spare = &(*spare)->next;
        if (*spare) {
            b = *spare;
            *spare = b->next;
        } else {
            size_t room = n + 1 > 16384 ? n + 1 : 16384;
            b = static_cast<Block*>(checked_malloc(sizeof(Block) + room * sizeof(wchar_t)));
            b->room = room;
        }
        b->used = 0;
        b->next = o->names;
        o->names = b;
    }
    wchar_t* copy = b->text + b->used;
    std::wmemcpy(copy, name, n);
    copy[n] = 0;
    b->used += n + 1;
    return copy;
}

static int32_t new_node(NameOrder* o, uint32_t h, const wchar_t* name, size_t n) {
    int32_t node = o->count++;
    grow_table(o->nodes, o->node_room, size_t(o->count));
    o->nodes[node] = Node{-1, -1, 0, 0, copy_name(o, name, n), uint32_t(n), h};
    if (!o->slots || size_t(o->count) * 2 > o->slot_mask + 1) grow_slots(o);
    *find_slot(o, h, name, n) = Slot{o->generation, h, node};
    return node;
}

int32_t name_order_find(NameOrder* o, const wchar_t* name, size_t n) {
    if (!o->slots) return -1;
    Slot* s = find_slot(o, hash_name(name, n), name, n);
    return s->generation == o->generation ? s->node : -1;
}

int32_t name_order_take(NameOrder* o, const wchar_t* name, size_t n, int* mark) {
    // Records mostly repeat the order of the records before: try the name
    // right after the cursor first.
    int32_t expected = o->cursor >= 0 ? o->nodes[o->cursor].next : o->first;
    int32_t node;
    if (expected >= 0 && o->nodes[expected].record != o->record && same_name(o, expected, name, n)) {
        node = expected;
        *mark = NAME_STAYED;
    } else {
        uint32_t h = hash_name(name, n);
        Slot* s = o->slots ? find_slot(o, h, name, n) : nullptr;
        if (!s || s->generation != o->generation) {
            node = new_node(o, h, name, n);
            link_after_cursor(o, node);
            *mark = NAME_NEW;
        } else {
            node = s->node;
            if (o->nodes[node].record == o->record) {
                *mark = NAME_MET;
                return node;
            }
            *mark = NAME_STAYED;
            if (o->cursor >= 0 && o->nodes[node].label < o->nodes[o->cursor].label) {
                unlink(o, node);
                link_after_cursor(o, node);
                *mark = NAME_MOVED;
            }
        }
    }
    o->nodes[node].record = o->record;
    o->cursor = node;
    return node;
}
