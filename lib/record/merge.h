// The key-group merge of inputs sorted by one key: each input hands out
// the run of its records that share a key (its group) while it reads one
// record beyond (the read-ahead, which starts the next group); the inputs
// are kept ordered by their group keys, so that the inputs whose groups
// share the smallest key lead the order.
//
// A merge of single records (`single`, for merging sorted inputs into one)
// makes each record a group of its own and lets only the first input of
// the order advance, so that equal keys come out by input, then in each
// input's order, and holds no more than two records of each input.
//
// A record that holds none of the key fields has no key and pairs with no
// record, not even another one without a key. It takes no part in the
// order: the merge hands it to its owner's `keyless` hook the moment it
// reads it and keeps nothing of it. It so comes out ahead of every group
// still to come, as the empty key would; only a group of its own input
// whose first record came before it, and whose end the merge was still
// looking for, goes after it. The order check skips it: the next record
// with a key is compared with the last one before it, so such records may
// stand anywhere in a sorted input. Without a `keyless` hook such a record
// is one like the others, its key the empty key, in the order and the check.
#pragma once

#include <cstdint>

#include "keys.h"
#include "record.h"

struct MergeInput {
    Input in;
    Area text, table;  // rsize, tsize: the records of the group and the read-ahead
    Area group;        // dsize: their pointers, the group's first, the read-ahead last
    Area keys;         // ksize: the group key and the read-ahead's key
    int32_t number;    // the input's place on the command line, from 0
    int32_t size;      // records of the group; 0 once the input is exhausted
    int32_t held;      // pointers in `group`: size, or size + 1 with a read-ahead
    uint32_t* group_key;
    uint32_t* ahead_key;
    Field** records() const { return reinterpret_cast<Field**>(group.base); }
};

// Takes a record without a key of input s as it is read.
using KeylessFn = void (*)(const MergeInput* s, const Field* rec);

struct Merge {
    MergeInput* inputs;
    int32_t count;
    int32_t* order;   // input numbers: non-empty groups by key, then by number
    int32_t run;      // the inputs leading the order with the smallest key
    FieldList* list;  // the key-field list, in the area `names`
    Area* names;
    KeylessFn keyless;      // null: records without a key are merged as the others
    const char* other_way;  // ends the advice after a key sequence error
    bool single;            // groups of one record (false from merge_make)
};

// The number of inputs of a merge over the remaining arguments: one per
// file, at least two (standard input follows a single file).
inline int32_t merge_input_count() { return nargs < 2 ? 2 : nargs; }
// Creates the areas of `count` inputs from the settings rsize, tsize, dsize
// and ksize, without opening them. Fatal when the tables can't be had.
// `other_way` follows the advice to sort the inputs after a key sequence
// error: "" or ", or ..." (a way that needs no sorting).
void merge_make(Merge* m, int32_t count, FieldList* list, Area* names, KeylessFn keyless, const char* other_way);
// Opens the input and reads its first group.
void merge_open_input(Merge* m, MergeInput* s);
// Opens every input in order, reads the first groups and orders the inputs.
void merge_start(Merge* m);
// Drops the groups of the leading run, reads each one's next group and puts
// the inputs in order again.
void merge_advance(Merge* m);
// The records of an input's group.
inline Field** merge_group(const MergeInput* s) { return s->records(); }
// The input at place i of the order.
inline MergeInput* merge_at(const Merge* m, int32_t i) { return &m->inputs[m->order[i]]; }
// Gives back the room of the record and its key, the last objects of
// their areas.
inline void drop_last_record(Field* rec, uint32_t* key, Area* text, Area* table, Area* keys) {
    area_drop(key, keys);
    area_drop(rec, table);
    area_drop(rec->start, text);
}
// Writes the fields of the record that no key took (the record's key was
// built), each line as read.
void write_nonkey_fields(const Field* rec);
