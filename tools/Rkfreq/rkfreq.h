// Rkfreq's parts: counting the keys in a tree in memory (rkfreq.cpp) and,
// when the tree reaches the memory limit, its counts written as sorted runs
// and merged at the end of the table (runs.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "keytree.h"
#include "runfiles.h"

namespace rkfreq {

extern FieldList list;  // the key-field list, which orders the keys

// Writes the output record of a key and its count (rkfreq.cpp).
void put_count(const uint32_t* key, uint64_t count);

// Writes the tree's keys with their counts, in the tree's order, as the
// next run (a key block, then its count in eight bytes).
void write_run(const KeyTree* tree);
// Merges the runs in key order to put_count, adding up the counts of equal
// keys (the key written is that of the earliest run), and removes them.
// With more runs than can be open at once, or than `memory` bytes can
// buffer, passes first merge groups of them into new runs.
void merge_runs(size_t memory);

}  // namespace rkfreq
