// Run files: the temporary files of a program that spills sorted data to
// disk and merges it back (Rksort's runs, Rkfreq's counts). A run is named
// <directory><program><stem>.<suffix>: the directory is the -T option's, else
// TMPDIR, else /tmp/; the stem six random characters; the suffix counts the
// runs: three digits for 0-999, a letter and two digits for 1000-3599, three
// letters for 3600-21175. The runs in existence have consecutive indices
// from first_run; every signal that ends the process removes them first.
#pragma once

#include <climits>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sys/types.h>

#include "area.h"

constexpr long LAST_RUN = 21175;
constexpr size_t RUN_BUFFER = 1 << 17;  // the write buffer, and Rksort's read buffers

extern volatile sig_atomic_t first_run;
extern volatile sig_atomic_t run_count;
extern const char* temp_option;  // the -T directory, or null

// Writes the name of run i (at most LAST_RUN) into buf, which holds the
// prefix and five more bytes. Only plain character operations are used, so
// that a signal handler may call it.
inline void run_name(char* buf, const char* prefix, long i) {
    char* o = buf;
    for (const char* p = prefix; *p; ++p) *o++ = *p;
    *o++ = '.';
    if (i < 1000) {
        *o++ = char('0' + i / 100);
        *o++ = char('0' + i / 10 % 10);
        *o++ = char('0' + i % 10);
    } else if (i < 3600) {
        *o++ = char('a' + (i - 1000) / 100);
        *o++ = char('0' + (i - 1000) % 100 / 10);
        *o++ = char('0' + (i - 1000) % 10);
    } else {
        long v = i - 3600;
        *o++ = char('a' + v / 676);
        *o++ = char('a' + v / 26 % 26);
        *o++ = char('a' + v % 26);
    }
    *o = 0;
}

// Before anything else: handlers that remove the runs on every signal that
// ends the process; `program` (a literal of at most 8 characters) starts
// the runs' names.
void install_handlers(const char* program);
// A fresh stem for the runs to come (also the first one, at start).
void new_stem();
// Removes every run file there is (the clean-up hook; signal-safe).
void remove_runs();
// The name of run i into buf (PATH_MAX + 64 bytes).
void run_name(char* buf, long i);
// Gives run first_run the next free index by renaming its file.
void rename_run_to_end();
// Removes runs first_run .. first_run+k-1, merged into a later run.
void drop_runs(int k);
// Removes the remaining runs, which have been merged to the output; the
// next run is run 0 again.
void remove_all_runs();

// A run file open for writing, with every failure fatal ("can't write
// tmpfile %s."), written through a buffer shared by all writers: one run is
// written at a time.
struct RunWriter {
    static char buffer[RUN_BUFFER];
    int fd = -1;
    char name[PATH_MAX + 64];
    size_t used = 0;    // bytes in the buffer
    off_t written = 0;  // bytes in the file before them

    // Creates the next run's file under a name nobody else holds.
    void create();
    [[noreturn]] void fail();
    void write_out(const char* p, size_t n);
    void flush();
    void write(const void* p, size_t n);
    void close();
};

// Merges the runs `ways` at a time into new runs, pass after pass, until
// one merge of them all is left, which goes to merge(first, k, nullptr);
// then removes them. merge(first, k, to) merges runs first .. first+k-1.
template <typename Writer, typename Merge>
void merge_in_passes(int ways, Merge merge) {
    while (run_count > ways) {
        long end = first_run + run_count;  // the runs of this pass
        while (first_run < end) {
            int k = int(end - first_run < ways ? end - first_run : long(ways));
            if (k == 1) {
                rename_run_to_end();
                continue;
            }
            Writer run;
            run.create();
            merge(first_run, k, &run);
            run.close();
            drop_runs(k);
        }
    }
    merge(first_run, int(run_count), static_cast<Writer*>(nullptr));
    remove_all_runs();
}

// A run file open for reading whose records start with a key block (its
// length in bytes, then the rest of its words); a short file is fatal
// ("tmpfile %s is truncated."). The current key lives in an area of the
// reader's own, resized to the longest key.
struct RunReader {
    FILE* f = nullptr;
    char name[PATH_MAX + 64];
    Area* area;
    uint32_t* key = nullptr;  // null when the run is exhausted

    // Opens run i, read through a buffer of `buffer` bytes, with its first key.
    void open(long i, Area* a, size_t buffer = RUN_BUFFER);
    // Reads exactly n bytes of the current record.
    void read(void* p, size_t n);
    // The next record's key; at the end of the run closes it and clears key.
    void next_key();
};
