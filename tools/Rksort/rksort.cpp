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
// Run files: <directory>Rksort<stem>.<suffix>, with consecutive indices from
// first_run. Each run records the six characters of its stem: all runs share
// one unless a name was found taken, which gives the next runs a fresh one,
// so that nobody who can write the directory can stop the sort by creating
// the names it will use. The signal handler reads this state, so it is kept
// in plain static storage, and changes to it happen with the signals blocked.

constexpr int MERGE_WAYS = 16;
constexpr size_t RUN_BUFFER = 1 << 17;  // buffer of each run file
constexpr int STEM = 6;
constexpr int NAME_TRIES = 100;  // fresh stems tried before a name counts as unobtainable
char run_dir[PATH_MAX];          // the directory, ending in '/'; empty until chosen
char run_stems[LAST_RUN + 1][STEM];
char stem[STEM];                 // the stem of the next run
volatile sig_atomic_t first_run = 0;
volatile sig_atomic_t run_count = 0;

// "<directory>Rksort<stem>" into buf; plain character operations only, so
// that the signal handler may call it.
char* put_prefix(char* buf, const char* stem_chars) {
    char* o = buf;
    for (const char* p = run_dir; *p; ++p) *o++ = *p;
    for (const char* p = "Rksort"; *p; ++p) *o++ = *p;
    for (int i = 0; i < STEM; ++i) *o++ = stem_chars[i];
    *o = 0;
    return o;
}

void run_name(char* buf, long i) {
    char prefix[sizeof run_dir + 16];
    put_prefix(prefix, run_stems[i]);
    ::run_name(buf, prefix, i);
}

void remove_runs() {
    if (!run_dir[0]) return;
    char name[PATH_MAX + 64];
    for (long i = first_run; i < first_run + run_count; ++i) {
        run_name(name, i);
        unlink(name);
    }
}

sigset_t guarded_signals;

void on_signal(int sig) {
    signal(sig, SIG_DFL);
    remove_runs();
    kill(getpid(), sig);  // delivered when the handler returns
}

// Keeps the signals out while the run bookkeeping changes.
struct SignalGuard {
    sigset_t old;
    SignalGuard() { sigprocmask(SIG_BLOCK, &guarded_signals, &old); }
    ~SignalGuard() { sigprocmask(SIG_SETMASK, &old, nullptr); }
};

// Every signal that ends a process by default, other than a fault of the
// program itself, removes the runs first (a closed output pipe too). A file
// size limit is ignored, so that the write fails and the sort ends with its
// message and removes the runs. A signal ignored at start stays ignored.
void install_handlers() {
    static const int ending[] = {SIGINT,  SIGHUP,  SIGTERM,   SIGPIPE, SIGQUIT, SIGXCPU, SIGUSR1,
                                 SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGPOLL, SIGPWR};
    sigemptyset(&guarded_signals);
    auto guard = [](int sig) {
        struct sigaction old;
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) return;
        sigaddset(&guarded_signals, sig);
    };
    for (int sig : ending) guard(sig);
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) guard(sig);
    struct sigaction act = {};
    act.sa_handler = on_signal;
    act.sa_mask = guarded_signals;  // one handler at a time
    for (int sig = 1; sig < NSIG; ++sig)
        if (sigismember(&guarded_signals, sig) == 1) sigaction(sig, &act, nullptr);
    signal(SIGXFSZ, SIG_IGN);
}

// A fresh stem for the runs: six characters from the system's random source,
// so that others can't guess the names; the time and process id stand in
// when it fails.
void new_stem() {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static unsigned long fallback = 0;
    unsigned char random[STEM];
    if (getentropy(random, sizeof random) != 0) {
        fallback ^= (unsigned long)getpid() * 2654435761UL ^ (unsigned long)time(nullptr) ^ (unsigned long)clock();
        for (unsigned char& r : random) {
            fallback = fallback * 6364136223846793005UL + 1442695040888963407UL;
            r = (unsigned char)(fallback >> 33);
        }
    }
    for (int i = 0; i < STEM; ++i) stem[i] = letters[random[i] % 62];
}

const char* temp_option = nullptr;

// Tries a directory for the runs: usable when a file named after the stem
// can be created and removed there.
bool try_directory(const char* dir) {
    if (dir == nullptr || *dir == 0) return false;
    size_t len = std::strlen(dir);
    if (len + 2 >= sizeof run_dir || len + 16 + 6 >= PATH_MAX) return false;
    std::memcpy(run_dir, dir, len);
    if (dir[len - 1] != '/') run_dir[len++] = '/';
    run_dir[len] = 0;
    for (int tries = 0; tries < NAME_TRIES; ++tries) {
        char probe[PATH_MAX + 16];
        put_prefix(probe, stem);
        SignalGuard guard;  // no signal ends the sort while the probe exists
        int fd = open(probe, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            close(fd);
            unlink(probe);
            return true;
        }
        if (errno != EEXIST) break;
        new_stem();
    }
    run_dir[0] = 0;
    return false;
}

void choose_directory() {
    if (try_directory(temp_option) || try_directory(std::getenv("TMPDIR"))) return;
    std::strcpy(run_dir, "/tmp/");
}

// Gives run i the current stem and tries `make` on its name; a name that
// is taken gives the stem up for a fresh one. Returns make's result (a file
// descriptor or 0), negative when it failed.
template <typename Make>
int claim_name(long i, char* name, Make make) {
    for (int tries = 0;; ++tries) {
        SignalGuard guard;
        std::memcpy(run_stems[i], stem, STEM);
        run_name(name, i);
        int r = make(name);
        if (r >= 0 || errno != EEXIST || tries == NAME_TRIES) return r;
        new_stem();
    }
}

// Moves a run's file to a new name that must not exist yet.
int rename_fresh(const char* from, const char* to) {
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // A file system without that kind of rename: a link can't replace either.
    if (link(from, to) != 0) return errno == EEXIST ? -1 : rename(from, to);
    unlink(from);
    return 0;
}

// A run file open for writing, with every failure fatal, written through a
// buffer. A record in a run is its key block, the number of bytes of its
// text and the text in the locale's encoding, as it stood in the input: a
// run takes about the room of the input, and the final merge copies the
// bytes to the output as they are.
struct RunWriter {
    static char buffer[RUN_BUFFER];  // one run is written at a time
    int fd = -1;
    char name[PATH_MAX + 64];
    size_t used = 0;     // bytes in the buffer
    off_t written = 0;   // bytes in the file before them

    void create() {
        if (!run_dir[0]) choose_directory();
        long i = first_run + run_count;
        if (i > LAST_RUN) fatal("tmpfile exhausted (%ld).\n", i);
        // Never follow or overwrite what is already there.
        fd = claim_name(i, name, [this](const char* n) {
            int f = open(n, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (f >= 0) run_count = run_count + 1;  // signals are still blocked
            return f;
        });
        if (fd < 0) fatal("can't create tmpfile %s.\n", name);
    }
    [[noreturn]] void fail() { fatal("can't write tmpfile %s.\n", name); }
    void write_out(const char* p, size_t n) {
        written += off_t(n);
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
    void flush() {
        write_out(buffer, used);
        used = 0;
    }
    void write(const void* p, size_t n) {
        // A large piece goes out by itself, after what the buffer holds.
        if (used + n > RUN_BUFFER || n > RUN_BUFFER / 2) flush();
        if (n > RUN_BUFFER / 2) {
            write_out(static_cast<const char*>(p), n);
            return;
        }
        std::memcpy(buffer + used, p, n);
        used += n;
    }
    // A record from the sort table: its key, then its characters encoded
    // straight into the buffer behind their byte count, which is filled in
    // afterwards (in the file itself when a long text went out before it).
    void put_record(const uint32_t* key, const wchar_t* chars, size_t n) {
        write(key, key[0]);
        if (used + sizeof(uint32_t) + n * MB_CUR_MAX + MB_LEN_MAX > RUN_BUFFER) flush();
        off_t count_at = written + off_t(used);
        used += sizeof(uint32_t);
        uint32_t bytes = 0;
        for (;;) {
            size_t taken;
            size_t b = encode_text(chars, n, buffer + used, RUN_BUFFER - used, &taken);
            used += b;
            bytes += uint32_t(b);
            chars += taken;
            n -= taken;
            if (n == 0) break;
            flush();
        }
        if (count_at >= written) {
            std::memcpy(buffer + (count_at - written), &bytes, sizeof bytes);
        } else {
            while (pwrite(fd, &bytes, sizeof bytes, count_at) != ssize_t(sizeof bytes))
                if (errno != EINTR) fail();
        }
    }
    void close() {
        flush();
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
    for (size_t i = 0; i < held; ++i)
        run.put_record(sort_table[i].key, sort_table[i].record->start, record_length(sort_table[i].record));
    run.close();
    Field* close = record_end(last.record);
    area_release(close->end + 1, &text);
    area_release(close + 1, &table);
    area_release(reinterpret_cast<char*>(last.key) + last.key[0], &keys);
    area_reset(&entries);
    // What is left is at most the record being read or keyed, the object at
    // each area's head. When that object went round to the base, nothing
    // lives between the released place and the end of the area any more.
    for (Area* a : {&text, &table, &keys})
        if (a->head <= a->tail) a->tail = a->limit;
    sort_table = nullptr;
    held = 0;
}

// Translates what the sort keeps in an area after the area was resized.
void relocate_held(Area* area) {
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
}

Area* const sort_areas[] = {&text, &table, &entries, &keys};

size_t total_size() {
    size_t total = 0;
    for (const Area* a : sort_areas) total += area_size(a);
    return total;
}

bool area_empty(const Area* a) { return a->head == a->base && a->tail == a->limit; }

// Bytes in use in an area.
size_t live_bytes(const Area* a) {
    size_t free = area_empty(a)            ? area_size(a)
                  : a->tail < a->head ? size_t(a->limit - a->head) + size_t(a->tail - a->base)
                                      : size_t(a->tail - a->head);
    return area_size(a) - free;
}

// Set when a record was given memory beyond the limit (see memory_pact).
bool borrowed = false;

// Row-0 pact of the four sort areas: grow while the total stays within the
// limit, else write a run. With nothing held but the record being read or
// keyed, its own needs decide: the other areas give back what they don't
// use, and the area may grow as long as the record's parts together stay
// within the limit; the total may then exceed the limit until the record is
// held and its areas shrink again (settle).
int memory_pact(void*, void*, Area* area) {
    size_t limit = xmem > 0 ? size_t(xmem) * 1024 : 0;
    size_t total = total_size();
    size_t size = area_size(area);
    if (total < limit) {
        // Doubling (from 1 KB at least), up to the limit.
        size_t next = size < 512 ? 1024 : 2 * size;
        if (total - size + next > limit) next = limit - (total - size);
        if (next > size && area_try_resize(next, area)) {
            relocate_held(area);
            return 0;
        }
    }
    if (held > 0) {  // also when the process can get no more memory
        write_run();
        return 0;
    }
    // An empty area holds nothing that a pointer could refer to.
    for (Area* a : sort_areas)
        if (a != area && area_empty(a) && area_size(a) > 1024) area_resize(1024, a);
    size_t others = 0;
    for (const Area* a : sort_areas)
        if (a != area) others += live_bytes(a);
    size = area_size(area);
    size_t room = limit > others ? limit - others : 0;  // the most this area may have for the record
    if (room > size) {
        area_resize(2 * size < room ? 2 * size : room, area);
        if (total_size() > limit) borrowed = true;
        return 0;
    }
    fatal("insufficient xmem(%u) at %s(%d).\n", unsigned(xmem), input_name, input_number);
}

// Moves an area's one live object to the area's base and shrinks the area
// to it; returns the object's new place.
char* settle_area(Area* a, const void* object, size_t length) {
    std::memmove(a->base, object, length);
    a->tail = a->base;
    a->head = a->base + length;
    area_resize(length, a);
    return a->base;
}

// After a record that was given memory beyond the limit: it is the one
// record held, so its text, table, entry and key move to the bases of their
// areas, which shrink to what it uses and grow again from there.
void settle() {
    borrowed = false;
    Entry& e = sort_table[0];
    Field* rec = e.record;
    Field* close = record_end(rec);
    uintptr_t from = reinterpret_cast<uintptr_t>(rec->start);
    size_t length = size_t(close->end + 1 - rec->start) * sizeof(wchar_t);
    char* to = settle_area(&text, rec->start, length);
    for (Field* f = rec; f <= close; ++f)
        for (wchar_t** p : {&f->start, &f->value, &f->end})
            if (*p) *p = reinterpret_cast<wchar_t*>(to + (reinterpret_cast<uintptr_t>(*p) - from));
    e.record = reinterpret_cast<Field*>(settle_area(&table, rec, size_t(close + 1 - rec) * sizeof(Field)));
    e.key = reinterpret_cast<uint32_t*>(settle_area(&keys, e.key, e.key[0]));
    sort_table = reinterpret_cast<Entry*>(settle_area(&entries, sort_table, sizeof(Entry)));
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
                run_name(from, first_run);
                long i = first_run + run_count;
                if (i > LAST_RUN) fatal("tmpfile exhausted (%ld).\n", i);
                int r = claim_name(i, to, [&from](const char* n) {
                    int moved = rename_fresh(from, n);
                    if (moved == 0) first_run = first_run + 1;  // signals are still blocked
                    return moved;
                });
                if (r != 0) fatal("can't rename tmpfile %s.\n", from);
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
    new_stem();
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
        if (borrowed) settle();
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
