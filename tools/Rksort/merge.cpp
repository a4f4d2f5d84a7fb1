// Rksort's merge of the run files, sixteen at a time, the last pass to the
// output.
#include <cstdio>
#include <cstring>
#include <utility>

#include "rksort.h"

namespace rksort {

namespace {

Area key_areas[MERGE_WAYS];

// One run being read: its current key lives in its own area.
struct RunReader {
    FILE* f = nullptr;
    char name[PATH_MAX + 64];
    Area* area;
    uint32_t* key = nullptr;  // null when the run is exhausted

    void read(void* p, size_t n) {
        if (std::fread(p, 1, n, f) != n) fatal("tmpfile %s is truncated.\n", name);
    }
    void open(long i, Area* a) {
        area = a;
        run_name(name, i);
        f = std::fopen(name, "rbe");
        if (f == nullptr) warn_errno(WARN_FATAL, name, "can't open tmpfile %s.\n", name);
        std::setvbuf(f, nullptr, _IOFBF, RUN_BUFFER);
        next_key();
    }
    void next_key() {
        uint32_t length;
        size_t got = std::fread(&length, 1, sizeof length, f);
        if (got == 0 && std::feof(f)) {
            std::fclose(f);
            f = nullptr;
            key = nullptr;
            return;
        }
        if (got != sizeof length || length < sizeof length || length % 4) fatal("tmpfile %s is truncated.\n", name);
        if (area_size(area) < length) area_resize(length, area);
        area_reset(area);
        key = static_cast<uint32_t*>(area_alloc(length, area));
        key[0] = length;
        read(key + 1, length - sizeof length);
    }
    // The current record's text, n bytes read into the text area.
    const char* record(uint32_t* n) {
        read(n, sizeof *n);
        if (area_size(&text) < *n) area_resize(*n, &text);
        read(text.base, *n);
        return text.base;
    }
};

RunReader readers[MERGE_WAYS];

bool run_before(int a, int b) {
    int c = compare_keys(readers[a].key, readers[b].key, &list);
    return c < 0 || (c == 0 && a < b);
}

// Merges runs first .. first+k-1 into `to`, or to standard output when `to`
// is null.
void merge(long first, int k, RunWriter* to) {
    int order[MERGE_WAYS];
    int live = 0;
    for (int r = 0; r < k; ++r) {
        readers[r].open(first + r, &key_areas[r]);
        if (readers[r].key) order[live++] = r;
    }
    for (int gap = live / 2; gap > 0; gap /= 2)  // Shell sort of the first keys
        for (int i = gap; i < live; ++i)
            for (int j = i; j >= gap && run_before(order[j], order[j - gap]); j -= gap) std::swap(order[j], order[j - gap]);
    while (live > 0) {
        RunReader& r = readers[order[0]];
        uint32_t n;
        if (to) to->write(r.key, r.key[0]);
        const char* bytes = r.record(&n);
        if (to) {
            to->write(&n, sizeof n);
            to->write(bytes, n);
        } else {
            out_bytes(bytes, n);
            out_putwc(L'\n');
        }
        r.next_key();
        if (r.key == nullptr) {
            std::memmove(order, order + 1, sizeof(int) * size_t(--live));
            continue;
        }
        // Move the run now first to its place among the others.
        int moving = order[0];
        int lo = 1, hi = live;
        while (lo < hi) {
            int mid = (lo + hi) / 2;
            if (run_before(order[mid], moving))
                lo = mid + 1;
            else
                hi = mid;
        }
        std::memmove(order, order + 1, sizeof(int) * size_t(lo - 1));
        order[lo - 1] = moving;
    }
}

}  // namespace

void merge_runs(int32_t msize) {
    for (Area& a : key_areas) {
        area_create_kb(msize, "msize", &a);
        area_push_pact(0, [](void*, void*, Area*) { return 1; }, nullptr, nullptr, &a);
    }
    while (run_count > MERGE_WAYS) {
        long end = first_run + run_count;  // the runs of this pass
        while (first_run < end) {
            int k = int(end - first_run < MERGE_WAYS ? end - first_run : long(MERGE_WAYS));
            if (k == 1) {
                rename_run_to_end();
                continue;
            }
            RunWriter run;
            run.create();
            merge(first_run, k, &run);
            run.close();
            drop_runs(k);
        }
    }
    merge(first_run, int(run_count), nullptr);
    remove_all_runs();
}

}  // namespace rksort
