// Rksort's parts: the sort table in memory (table.cpp), its records in the
// run files (runs.cpp), the merge of the runs (merge.cpp), and the main
// routine (rksort.cpp).
#pragma once

#include <climits>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <sys/types.h>

#include "keys.h"
#include "record.h"
#include "runfiles.h"

namespace rksort {

// The areas of the sort and the key list (rksort.cpp).
extern Area text, table, entries, keys, names;
extern FieldList list;
extern int32_t xmem;   // the memory limit of the sort, in KB
extern int32_t msize;  // the first room of a run's key in a merge, in KB

// ---------------------------------------------------------------------------
// The sort table (table.cpp)

// One record held for sorting, with a summary of its key's first part that
// orders two entries whenever their summaries differ (most comparisons), so
// that the whole keys are compared only when the summaries are equal.
struct Entry {
    Field* record;
    uint32_t* key;
    uint64_t first;  // numbers: the first value as ordered bits; text: the first two words
    uint32_t rank;   // numbers: 0 no value, 1 NaN, 2 a number; text: 0
};

// Sets the summary of the entry's key.
void summarize(Entry& e);
// The order of two entries' keys: negative, 0 or positive.
int compare_entry_keys(const Entry& a, const Entry& b);

extern Entry* sort_table;  // the entries, one growing object in `entries`
extern size_t held;        // entries in the table

// Adds the record just read, with its key, to the table. A pact may write a
// run while the key or the entry is made.
void hold(Field* rec);
// Sorts what is held and writes it to standard output.
void write_held();
// Sorts what is held, writes it as a run and gives the memory back.
void write_run();
// Row-0 pact of the four sort areas: grow within the limit, else write a run.
int memory_pact(void*, void*, Area* area);

// ---------------------------------------------------------------------------
// Run files (runfiles.h, named Rksort<stem>) and their records (runs.cpp)

constexpr int MERGE_WAYS = 16;

// A record in a run is its key block, the number of bytes of its text and
// the text in the locale's encoding, as it stood in the input: a run takes
// about the room of the input, and the final merge copies the bytes to the
// output as they are.
struct RunWriter : ::RunWriter {
    // A record from the sort table: its key, its byte count and its text.
    void put_record(const uint32_t* key, const wchar_t* chars, size_t n);
};

// ---------------------------------------------------------------------------
// Merging (merge.cpp)

// The files the process may have open, at most `want`: its soft limit,
// raised toward the hard one when it is below `want`.
size_t open_files(size_t want);
// How many runs one merge reads at once: the descriptors and the memory
// limit decide when it is first asked.
int merge_ways();
// Merges the runs, merge_ways at a time, until one merge writes the output.
void merge_runs();

}  // namespace rksort
