// Rkfreq's runs: the counts of a full tree written out in the tree's order,
// and their merge, which adds up the counts of equal keys.
#include <new>
#include <sys/resource.h>
#include <unistd.h>

#include "progress.h"
#include "rkfreq.h"

namespace rkfreq {

namespace {

constexpr size_t READ_BUFFER = 1 << 16;
constexpr long MIN_WAYS = 16;
// Descriptors kept for the standard streams, the input and the run written.
constexpr long OTHER_FILES = 8;

// A run being read: its current key and that key's count.
struct CountReader : RunReader {
    uint64_t count;
    void next() {
        next_key();
        if (key) read(&count, sizeof count);
    }
};

CountReader* readers = nullptr;
Area* key_areas = nullptr;
int ways = 0;
// The readers not yet exhausted, as a heap: the least key first, and of
// equal keys the earlier run.
int* heap = nullptr;
int live = 0;

bool before(int a, int b) {
    int c = compare_keys(readers[a].key, readers[b].key, &list);
    return c < 0 || (c == 0 && a < b);
}

void sift_down(int i) {
    for (;;) {
        int least = i;
        for (int c = 2 * i + 1; c <= 2 * i + 2 && c < live; ++c)
            if (before(heap[c], heap[least])) least = c;
        if (least == i) return;
        int t = heap[i];
        heap[i] = heap[least];
        heap[least] = t;
        i = least;
    }
}

void push(int r) {
    int i = live++;
    for (; i > 0 && before(r, heap[(i - 1) / 2]); i = (i - 1) / 2) heap[i] = heap[(i - 1) / 2];
    heap[i] = r;
}

void pop() {
    heap[0] = heap[--live];
    sift_down(0);
}

void put_run_count(RunWriter* run, const uint32_t* key, uint64_t count) {
    run->write(key, key[0]);
    run->write(&count, sizeof count);
}

// Merges runs first .. first+k-1 into `to`, or to the output when `to` is
// null. The least key leaves the heap, so that its reader keeps it while
// the counts of the equal keys of later runs are added to it.
void merge(long first, int k, RunWriter* to) {
    bool show = to || !isatty(1);  // not between the lines of a table on the terminal
    live = 0;
    for (int r = 0; r < k; ++r) {
        readers[r].open(first + r, &key_areas[r], READ_BUFFER);
        if (readers[r].key) {
            readers[r].read(&readers[r].count, sizeof readers[r].count);
            push(r);
        }
    }
    while (live > 0) {
        CountReader& least = readers[heap[0]];
        int at = heap[0];
        pop();
        uint64_t sum = least.count;
        while (live > 0 && compare_keys(readers[heap[0]].key, least.key, &list) == 0) {
            CountReader& same = readers[heap[0]];
            sum += same.count;
            same.next();
            if (same.key) sift_down(0);
            else pop();
        }
        if (to) put_run_count(to, least.key, sum);
        else put_count(least.key, sum);
        if (show && progress_due()) progress_show("Rkfreq: merging %d runs", k);
        least.next();
        if (least.key) push(at);
    }
}

// As many runs as `memory` buffers, sixteen at least, and no more than can
// be open at once (but two).
void choose_ways(size_t memory) {
    if (ways) return;
    long w = long(memory / (READ_BUFFER + 2048));
    if (w < MIN_WAYS) w = MIN_WAYS;
    struct rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY && long(files.rlim_cur) - OTHER_FILES < w)
        w = long(files.rlim_cur) - OTHER_FILES;
    ways = int(w < 2 ? 2 : w);
    readers = static_cast<CountReader*>(checked_malloc(sizeof(CountReader) * size_t(ways)));
    key_areas = static_cast<Area*>(checked_malloc(sizeof(Area) * size_t(ways)));
    heap = static_cast<int*>(checked_malloc(sizeof(int) * size_t(ways)));
    for (int r = 0; r < ways; ++r) {
        ::new (&readers[r]) CountReader();
        area_create_kb(1, "merge", &key_areas[r]);
    }
}

}  // namespace

void write_run(const KeyTree* tree) {
    RunWriter run;
    run.create();
    keytree_each(tree, [tree, &run](const uint32_t* key, uint32_t count_at) {
        put_run_count(&run, key, *keytree_word(tree, count_at));
    });
    run.close();
}

void merge_runs(size_t memory) {
    choose_ways(memory);
    merge_in_passes<RunWriter>(ways, merge);
}

}  // namespace rkfreq
