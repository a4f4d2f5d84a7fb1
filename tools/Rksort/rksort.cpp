// Rksort: a stable sort of records by a key-field list, in memory up to a
// limit and through temporary run files merged sixteen at a time beyond it.
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <algorithm>
#include <initializer_list>
#include <utility>
#include <sys/uio.h>
#include <unistd.h>

#include "record.h"
#include "run_names.h"

static const char usage[] =
    "Rksort [-options] [^]key-field-list [input-file ..]\n"
    "\tsorts Rk-files.\n"
    "\tOptions:\n"
    "\t-k key-flags\tdefault key flags.\n"
    "\t-T directory\ttmp file directory.\n"
    "\t-D xmem=N\tmax memory for sort (KB).\n";

namespace {

// One record held for sorting, with a summary of its key's first part that
// orders two entries whenever their summaries differ (most comparisons), so
// that the whole keys are compared only when the summaries are equal.
struct Entry {
    Field* record;
    uint32_t* key;
    uint64_t first;  // numbers: the first value as ordered bits; text: the first two words
    uint32_t rank;   // numbers: 0 no value, 1 NaN, 2 a number; text: 0
};

Area text, table, entries, keys, names;
FieldList list;
int32_t xmem = 32768;

Entry* sort_table = nullptr;  // the entries, one growing object in `entries`
size_t held = 0;              // entries in the table

// ---------------------------------------------------------------------------
// Run files: <directory><stem>.<suffix>, with consecutive indices from
// first_run. The signal handler reads this state, so it is kept in plain
// static storage, and changes to it happen with the signals blocked.

constexpr int MERGE_WAYS = 16;
constexpr size_t RUN_BUFFER = 1 << 17;  // buffer of each run file
char run_prefix[PATH_MAX + 32];  // directory and stem, empty until chosen
volatile sig_atomic_t first_run = 0;
volatile sig_atomic_t run_count = 0;

void run_name(char* buf, long i) { ::run_name(buf, run_prefix, i); }

void remove_runs() {
    if (!run_prefix[0]) return;
    char name[PATH_MAX + 64];
    for (long i = first_run; i < first_run + run_count; ++i) {
        run_name(name, i);
        unlink(name);
    }
}

sigset_t guarded_signals;
// A closed output pipe ends the sort too, without leaving runs behind.
const int guarded[] = {SIGINT, SIGHUP, SIGTERM, SIGPIPE};

void on_signal(int sig) {
    signal(sig, SIG_DFL);
    remove_runs();
    kill(getpid(), sig);
}

// Keeps the signals out while the run bookkeeping changes.
struct SignalGuard {
    sigset_t old;
    SignalGuard() { sigprocmask(SIG_BLOCK, &guarded_signals, &old); }
    ~SignalGuard() { sigprocmask(SIG_SETMASK, &old, nullptr); }
};

void install_handlers() {
    sigemptyset(&guarded_signals);
    for (int sig : guarded) {
        sigaddset(&guarded_signals, sig);
        struct sigaction old;
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) signal(sig, on_signal);
    }
}

// A stem that names this process's runs: "Rksort" and six characters.
// The characters come from the system's random source, so that others can't
// guess the names; the time and process id stand in when it fails.
void make_stem(char* stem) {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char random[6];
    if (getentropy(random, sizeof random) != 0) {
        unsigned long v = (unsigned long)getpid() * 2654435761UL ^ (unsigned long)time(nullptr) ^ (unsigned long)clock();
        for (unsigned char& r : random) {
            r = (unsigned char)v;
            v = v * 6364136223846793005UL + 1442695040888963407UL;
        }
    }
    std::strcpy(stem, "Rksort");
    for (int i = 0; i < 6; ++i) stem[6 + i] = letters[random[i] % 62];
    stem[12] = 0;
}

const char* temp_option = nullptr;

// Tries a directory for the runs: writable when a file named after the
// stem can be created and removed there.
bool try_directory(const char* dir, const char* stem) {
    if (dir == nullptr || *dir == 0) return false;
    size_t len = std::strlen(dir);
    if (len + 1 + std::strlen(stem) >= PATH_MAX) return false;
    char probe[sizeof run_prefix];
    std::memcpy(probe, dir, len);
    if (dir[len - 1] != '/') probe[len++] = '/';
    std::strcpy(probe + len, stem);
    int fd = open(probe, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    close(fd);
    unlink(probe);
    std::strcpy(run_prefix, probe);
    return true;
}

void choose_directory() {
    char stem[16];
    make_stem(stem);
    if (try_directory(temp_option, stem) || try_directory(std::getenv("TMPDIR"), stem)) return;
    std::snprintf(run_prefix, sizeof run_prefix, "/tmp/%s", stem);
}

// A run file open for writing, with every failure fatal. Records from the
// sort table are gathered in place and written with writev; records copied
// during a merge go through a buffer.
struct RunWriter {
    static constexpr int BATCH = 1020;  // iovecs per writev, three per record
    static char buffer[RUN_BUFFER];     // one run is written at a time
    int fd = -1;
    char name[PATH_MAX + 64];
    size_t used = 0;
    iovec iov[BATCH];
    uint32_t counts[BATCH];
    int niov = 0;

    void create() {
        if (!run_prefix[0]) choose_directory();
        long i = first_run + run_count;
        if (i > LAST_RUN) fatal("tmpfile exhausted (%ld).\n", i);
        run_name(name, i);
        SignalGuard guard;
        // Never follow or overwrite what is already there.
        fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) fatal("can't create tmpfile %s.\n", name);
        run_count = run_count + 1;
    }
    [[noreturn]] void fail() { fatal("can't write tmpfile %s.\n", name); }
    void write_out(const char* p, size_t n) {
        while (n > 0) {
            ssize_t r = ::write(fd, p, n);
            if (r < 0) {
                if (errno == EINTR) continue;
                fail();
            }
            p += r;
            n -= size_t(r);
        }
    }
    void write(const void* p, size_t n) {
        if (used + n > RUN_BUFFER) {
            write_out(buffer, used);
            used = 0;
        }
        if (n > RUN_BUFFER / 2) {
            write_out(static_cast<const char*>(p), n);
            return;
        }
        std::memcpy(buffer + used, p, n);
        used += n;
    }
    // A record whose key and text stay where they are until flush().
    void gather(const uint32_t* key, const wchar_t* chars, uint32_t n) {
        if (niov + 3 > BATCH) flush();
        counts[niov] = n;
        iov[niov] = iovec{const_cast<uint32_t*>(key), key[0]};
        iov[niov + 1] = iovec{&counts[niov], sizeof(uint32_t)};
        iov[niov + 2] = iovec{const_cast<wchar_t*>(chars), size_t(n) * sizeof(wchar_t)};
        niov += 3;
    }
    void flush() {
        iovec* v = iov;
        int left = niov;
        while (left > 0) {
            ssize_t r = writev(fd, v, left);
            if (r < 0) {
                if (errno == EINTR) continue;
                fail();
            }
            for (; left > 0 && size_t(r) >= v->iov_len; ++v, --left) r -= ssize_t(v->iov_len);
            if (left > 0) {
                v->iov_base = static_cast<char*>(v->iov_base) + r;
                v->iov_len -= size_t(r);
            }
        }
        niov = 0;
    }
    void close() {
        flush();
        write_out(buffer, used);
        used = 0;
        if (::close(fd) != 0) fail();
        fd = -1;
    }
};
char RunWriter::buffer[RUN_BUFFER];

// ---------------------------------------------------------------------------
// Sorting in memory

// Records were read into the table area as a ring: of two tables on the same
// side of its head the lower is the earlier; one at or above the head was
// read before the ring wrapped.
bool read_before(const Field* a, const Field* b) {
    const char* h = table.head;
    bool above_a = reinterpret_cast<const char*>(a) >= h;
    bool above_b = reinterpret_cast<const char*>(b) >= h;
    return above_a == above_b ? a < b : above_a;
}

void summarize(Entry& e) {
    e.first = 0;
    e.rank = 0;
    const FieldListEntry* head = list.included;
    const uint32_t* part = e.key + 1;
    if (head == nullptr || e.key[0] <= 4) return;  // no first part: it counts as empty
    if (*head->flags & KEY_NUMERIC) {
        double count, v;
        std::memcpy(&count, part, sizeof count);
        if (count < 1) return;
        std::memcpy(&v, part + 2, sizeof v);
        if (v != v) {
            e.rank = 1;
            return;
        }
        if (v == 0) v = 0;  // -0 and 0 are equal
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        e.first = bits >> 63 ? ~bits : bits | uint64_t(1) << 63;
        e.rank = 2;
    } else {
        e.first = uint64_t(part[0]) << 32 | (part[0] ? part[1] : 0);
    }
}

// Key order, then input order: a total order, so the result is the stable
// sort whatever algorithm does the sorting.
bool entry_before(const Entry& a, const Entry& b) {
    if (a.rank != b.rank || a.first != b.first) {
        bool less = a.rank != b.rank ? a.rank < b.rank : a.first < b.first;
        return (*list.included->flags & KEY_REVERSE) ? !less : less;
    }
    if (int c = compare_keys(a.key, b.key, &list)) return c < 0;
    return a.record != b.record && read_before(a.record, b.record);
}

void sort_held() { std::sort(sort_table, sort_table + held, entry_before); }

// The characters of a record's field lines.
size_t record_length(const Field* rec) { return size_t(record_end(const_cast<Field*>(rec))->end - rec->start); }

// Sorts what is held, writes it as a run and gives the memory back up to the
// end of the last complete record; a record being read stays where it is.
void write_run() {
    RunWriter run;
    run.create();
    Entry last = sort_table[held - 1];
    sort_held();
    static_assert(sizeof(wchar_t) == sizeof(uint32_t));
    for (size_t i = 0; i < held; ++i)
        run.gather(sort_table[i].key, sort_table[i].record->start, uint32_t(record_length(sort_table[i].record)));
    run.close();
    Field* close = record_end(last.record);
    area_release(close->end + 1, &text);
    area_release(close + 1, &table);
    area_release(reinterpret_cast<char*>(last.key) + last.key[0], &keys);
    area_reset(&entries);
    sort_table = nullptr;
    held = 0;
}

// Row-0 pact of the four sort areas: grow while the total stays below the
// limit, else write a run.
int memory_pact(void*, void*, Area* area) {
    long total = long(area_size(&text) / 1024 + area_size(&table) / 1024 + area_size(&entries) / 1024 +
                      area_size(&keys) / 1024);
    if (xmem > total) {
        long cur = long(area_size(area) / 1024);
        long next = total + cur > xmem ? cur + (xmem - total) : 2 * cur;
        area_resize(size_t(next) * 1024, area);
        if (area == &text) {
            for (size_t i = 0; i < held; ++i)
                for (Field* f = sort_table[i].record;; ++f) {
                    area_relocate_cell(&f->start, area);
                    area_relocate_cell(&f->value, area);
                    area_relocate_cell(&f->end, area);
                    if (f->start == nullptr) break;
                }
        } else if (area == &table) {
            for (size_t i = 0; i < held; ++i) area_relocate_cell(&sort_table[i].record, area);
        } else if (area == &entries) {
            area_relocate_cell(&sort_table, area);
        } else {
            for (size_t i = 0; i < held; ++i) area_relocate_cell(&sort_table[i].key, area);
        }
        return 0;
    }
    if (held > 0) {
        write_run();
        return 0;
    }
    fatal("insufficient xmem(%u) at %s(%d).\n", unsigned(xmem), input_name, input_number);
}

// ---------------------------------------------------------------------------
// Merging

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
        if (f == nullptr) fatal("can't open tmpfile %s.\n", name);
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
    // The current record's characters, read into the text area.
    wchar_t* record(uint32_t* n) {
        read(n, sizeof *n);
        size_t bytes = size_t(*n) * sizeof(wchar_t);
        if (area_size(&text) < bytes) area_resize(bytes, &text);
        read(text.base, bytes);
        return reinterpret_cast<wchar_t*>(text.base);
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
        wchar_t* chars = r.record(&n);
        if (to) {
            to->write(&n, sizeof n);
            to->write(chars, size_t(n) * sizeof(wchar_t));
        } else {
            out_write(chars, n);
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

// Removes runs first .. first+k-1, which have been merged into a later run.
void drop_runs(int k) {
    char name[PATH_MAX + 64];
    SignalGuard guard;
    for (int i = 0; i < k; ++i) {
        run_name(name, first_run);
        unlink(name);
        first_run = first_run + 1;
        run_count = run_count - 1;
    }
}

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
                char from[PATH_MAX + 64], to[PATH_MAX + 64];
                SignalGuard guard;
                run_name(from, first_run);
                run_name(to, first_run + run_count);
                if (std::rename(from, to) != 0) fatal("can't rename tmpfile %s.\n", from);
                first_run = first_run + 1;
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
    SignalGuard guard;
    remove_runs();
    run_count = 0;
}

}  // namespace

int main(int argc, char** argv) {
    install_handlers();
    runtime_init(argc, argv);
    set_cleanup(remove_runs);
    int32_t rsize = 128, tsize = 48, dsize = 4, nsize = 1, ksize = 18, msize = 1;
    Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"dsize", &dsize}, {"nsize", &nsize},
                          {"ksize", &ksize}, {"msize", &msize}, {"xmem", &xmem},   {nullptr, nullptr}};
    const char* flags = nullptr;
    int letter;
    while (opt_next("k:D:T:", &letter)) {
        switch (letter) {
        case 'k': flags = opt_arg; break;
        case 'T': temp_option = opt_arg; break;
        case 'D': settings_apply(settings, const_cast<char*>(opt_arg)); break;
        default: usage_exit(usage);
        }
    }
    opt_shift();

    area_create_kb(rsize, "rsize", &text);
    area_create_kb(tsize, "tsize", &table);
    area_create_kb(dsize, "dsize", &entries);
    area_create_kb(ksize, "ksize", &keys);
    for (Area* a : {&text, &table, &entries, &keys}) area_push_pact(0, memory_pact, nullptr, nullptr, a);
    area_create_doubling(nsize, "nsize", &names);
    area_push_pact(0, field_list_relocate_pact, &list, nullptr, &names);
    field_list_parse(take_argument(usage), &list, &names);
    if (flags) key_default_flags(flags, &names);
    key_list_resolve(&list, &names);
    exit_if_errors(2);

    Input in;
    open_input(&in, INPUT_ALL_FILES);
    area_align(alignof(Entry), &entries);
    while (Field* rec = next_record(&in, &text, &table)) {
        // A pact may write a run while the key or the entry is being made:
        // this record and its key lie after everything the run takes, so
        // they stay where they are.
        uint32_t* key = make_key(rec, &list, &keys, &names);
        area_extend(sizeof(Entry), &sort_table, &entries);
        Entry& e = sort_table[held++];
        e.record = rec;
        e.key = key;
        summarize(e);
    }

    if (run_count == 0) {
        sort_held();
        for (size_t i = 0; i < held; ++i) write_record(sort_table[i].record);
    } else {
        if (held > 0) write_run();
        area_resize(0, &table);
        area_resize(0, &entries);
        area_resize(0, &keys);
        merge_runs(msize);
    }
    exit_if_errors(1);
    rk_exit(0);
}
