// Rkprint: prints records as tables on pages of a given width and height:
// a header with the file name (or titles), the time stamp and the page
// number; one row per record, one column per field name; columns that do
// not fit the width continue in bands below, each led by the index
// columns; with -g a new page for each group of equal keys, the key shown
// under the header. Records are read ahead only as far as a page can hold.
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>
#include <pthread.h>
#include <time.h>
#include <sys/resource.h>
#include <unistd.h>

#include "pace.h"
#include "rkprint.h"

static const char usage[] =
    "Rkprint [-options] [input-file ..]\n"
    "\tprints records as paged tables.\n"
    "\tOptions:\n"
    "\t-x width\tpage width (default 80).\n"
    "\t-y height\tpage height (default 24).\n"
    "\t-n\tpads each page with newlines instead of a form feed.\n"
    "\t-h title\ttitle line (one per -h).\n"
    "\t-i field-list\tindex fields, shown first in every band.\n"
    "\t-p field-list\tfields to print (and their formats).\n"
    "\t-f field-list\toutput formats of fields.\n"
    "\t-z flags\tdefault format flags.\n"
    "\t-g key-field-list\ta new page for each group.\n"
    "\t-k key-flags\tdefault key flags for -g option.\n";

static int32_t rsize = 32, tsize = 48, nsize = 1, ksize = 1, lsize = 0, wsize = 1;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {"ksize", &ksize},
                             {"lsize", &lsize}, {"wsize", &wsize}, {nullptr, nullptr}};

int32_t page_width = 80, page_height = 24;
bool pad_pages = false;
FieldList format_list, print_list, group_list, index_list;
bool formats_given = false, print_given = false, group_given = false, index_given = false;
int32_t print_count = 0;

static const char *format_text = nullptr, *print_text = nullptr, *group_text = nullptr, *index_text = nullptr;
static const char *flags_text = nullptr, *z_text = "";
static const char* x_text = nullptr;
static const char* y_text = nullptr;
static const char** title_texts = nullptr;
static size_t title_room = 0;

static bool option(int letter) {
    switch (letter) {
    case 'n': pad_pages = true; return true;
    case 'x': x_text = opt_arg; return true;
    case 'y': y_text = opt_arg; return true;
    case 'h':
        grow_table(title_texts, title_room, size_t(title_count) + 1);
        title_texts[title_count++] = opt_arg;
        return true;
    case 'i': index_text = opt_arg; return true;
    case 'p': print_text = opt_arg; return true;
    case 'f': format_text = opt_arg; return true;
    case 'z': z_text = opt_arg; return true;
    case 'g': group_text = opt_arg; return true;
    case 'k': flags_text = opt_arg; return true;
    }
    return false;
}

static ToolSpec make_spec() {
    ToolSpec s{usage, "ng:h:i:k:f:z:p:x:y:D:", settings, option, nullptr};
    s.quiet_unknown = true;
    return s;
}
static const ToolSpec spec = make_spec();

// Engine errors in the format texts of -f and -p.
void wregerror(const char* message) { format_regex_error(message); }

static Area names, keys;

// ------------------------------------------------------------ reading

// Records are read and summarized in batches, each batch with areas of its
// own. A second thread reads ahead while the pages are made, a few batches
// at most; its messages wait in the batch's log until the paging takes the
// record they came with, so that standard error and the exit status are
// those of reading in turn. Without the thread (RK_THREADS=1, or when none
// can be started) the paging reads each record itself when it needs it.
// With it, the paging still reads a batch in turn itself when none is ready
// and the reader is not filling one (it has not woken yet, or waits for a
// processor): the two share the reading rather than one waiting for the
// other.
struct Batch {
    Area text, table;
    Slot* slots = nullptr;  // batch_records of them, once the batch is made
    int32_t count = 0;  // records read into it
    int32_t dropped = 0;
    bool closed = false;  // takes no more records
    bool last = false;    // no record of the file follows
    MessageLog log;
    Batch* next = nullptr;
};
constexpr int32_t batch_records = 64;
constexpr size_t batch_text_bytes = 128 * 1024;  // a batch closes once its text passes this

// Growth of a batch's areas: its records follow.
static int grow_batch_text(void* a, void*, Area* area) {
    Batch* b = static_cast<Batch*>(a);
    area_double(nullptr, nullptr, area);
    for (int32_t i = 0; i < b->count; ++i) relocate_record(b->slots[i].record, area);
    return 0;
}
static int grow_batch_table(void* a, void*, Area* area) {
    Batch* b = static_cast<Batch*>(a);
    area_double(nullptr, nullptr, area);
    for (int32_t i = 0; i < b->count; ++i) area_relocate_cell(&b->slots[i].record, area);
    return 0;
}

// A batch's storage, made when it is first used (by the thread that will
// read into it, whose messages then have its log).
// False when the memory for it can't be had.
static bool make_batch(Batch* b) {
    if (b->slots) return true;
    Slot* slots = static_cast<Slot*>(std::calloc(batch_records, sizeof(Slot)));
    if (slots == nullptr) return false;
    if (!area_try_create_kb(rsize, "rsize", &b->text)) {
        std::free(slots);
        return false;
    }
    if (!area_try_create_kb(tsize, "tsize", &b->table)) {
        area_destroy(&b->text);
        std::free(slots);
        return false;
    }
    area_push_pact(0, grow_batch_text, b, nullptr, &b->text);
    area_push_pact(0, grow_batch_table, b, nullptr, &b->table);
    b->slots = slots;
    return true;
}

static void batch_begin(Batch* b) {
    area_reset(&b->text);
    area_reset(&b->table);
    b->count = b->dropped = 0;
    b->closed = b->last = false;
    b->log.clear();
    b->next = nullptr;
}

// The digits of the number of the record read last, counted on from one
// record to the next (records are numbered one after the other in a file);
// on a cache line of its own, as the reader thread writes it.
static struct alignas(64) {
    int32_t number = 0;
    int32_t length = 0;
    wchar_t digits[12];
} counted;
static void count_record(int32_t number) {
    if (number != counted.number + 1 || counted.number <= 0) {
        counted.length = int32_t(decimal(number, counted.digits));
    } else {
        int32_t i = counted.length - 1;
        while (i >= 0 && counted.digits[i] == L'9') counted.digits[i--] = L'0';
        if (i >= 0) {
            ++counted.digits[i];
        } else {
            std::wmemmove(counted.digits + 1, counted.digits, size_t(counted.length++));
            counted.digits[0] = L'1';
        }
    }
    counted.number = number;
}

// Reads the next record into the batch and summarizes it; closes the batch
// at the end of the input or when it is full.
static void read_into(Batch* b, Input* in) {
    Field* rec = next_record(in, &b->text, &b->table);
    if (rec == nullptr) {
        b->closed = b->last = true;
        return;
    }
    Slot* s = &b->slots[b->count++];
    s->record = rec;
    s->batch = b;
    s->fields = int32_t(record_end(rec) - rec) + 1;
    count_record(in->number);
    std::memcpy(s->number_text, counted.digits, sizeof counted.digits);
    s->number_length = counted.length;
    summarize_record(s);
    s->log_end = b->log.used;
    if (b->count == batch_records || size_t(b->text.head - b->text.base) > batch_text_bytes) b->closed = true;
}

// The batches between the threads: those handed back (free), and those
// read ahead and not yet taken (ready), guarded by one lock.
static pthread_mutex_t batch_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t batch_ready = PTHREAD_COND_INITIALIZER, batch_taken = PTHREAD_COND_INITIALIZER;
static Batch *free_batches = nullptr, *ready_first = nullptr, *ready_last = nullptr;
static std::atomic<int32_t> ready_count = 0;
static size_t ready_bytes = 0;  // of the ready batches' areas
// The reader stops when it is this many batches ahead, or when their
// records take this much room, and goes on when the paging has taken half
// of them (threads that woke each other for every batch would spend their
// time switching). A deeper queue lets either thread go on while the other
// waits for a processor (on a busy host, for milliseconds at a time), but
// past the processor's cache the paging reads what the reader wrote from
// further away: twice 8 batches were slower on a quiet host.
constexpr int32_t ready_limit = 8;
constexpr size_t ready_bytes_limit = 4 << 20;
static bool reader_ahead() { return ready_count >= ready_limit || ready_bytes >= ready_bytes_limit; }
static size_t batch_bytes(const Batch* b) {
    return size_t(b->text.head - b->text.base) + size_t(b->table.head - b->table.base);
}
static bool reader_waits = false, paging_waits = false;
// Who holds the input: the reader thread filling a batch, or the paging
// reading a batch of its own in turn (then the reader waits for it).
static std::atomic<bool> reader_reads = false, paging_reads = false;
// The reader waits awake for the paging to hand the input back: the paging
// then lets it have the input rather than reading on itself.
static std::atomic<bool> reader_spins = false;
static bool paging_read_last = false;  // the paging read the input's end
// The reader is held back: the paging reads every batch in turn.
static std::atomic<bool> reader_paused = false;
static bool threaded = false;
constexpr size_t reader_stack = 512 << 10;
static std::atomic<bool> reader_stopped = false;  // the reader thread found no memory for a batch
static pthread_t reader_thread;
static Batch* reading = nullptr;  // the batch the reader thread fills

// A batch handed back, or a new one (null when there is no memory for it).
static Batch* free_batch() {
    pthread_mutex_lock(&batch_lock);
    Batch* b = free_batches;
    if (b) free_batches = b->next;
    pthread_mutex_unlock(&batch_lock);
    if (b == nullptr) {
        void* room = std::malloc(sizeof(Batch));
        if (room == nullptr) return nullptr;
        b = new (room) Batch;
    }
    return b;
}

static void hand_back(Batch* b) {
    pthread_mutex_lock(&batch_lock);
    b->next = free_batches;
    free_batches = b;
    pthread_mutex_unlock(&batch_lock);
}

static void publish(Batch* b) {
    pthread_mutex_lock(&batch_lock);
    b->next = nullptr;
    if (ready_last) ready_last->next = b; else ready_first = b;
    ready_last = b;
    ++ready_count;
    ready_bytes += batch_bytes(b);
    reader_reads = false;
    // A waiting paging is woken when two batches are there, or the last,
    // or the reader is as far ahead as it goes or held back.
    if (paging_waits && (ready_count >= 2 || b->last || reader_ahead() || reader_paused))
        paging_waits = false, pthread_cond_signal(&batch_ready);
    pthread_mutex_unlock(&batch_lock);
}

// The reader thread's end after a fatal message: its batch goes to the
// paging, which replays the message when it gets there and ends the run.
static void park_reader() {
    reading->closed = reading->last = true;
    publish(reading);
    for (;;) pause();
}

// Seconds from t to now (set).
static double seconds_since(const timespec& t, timespec* now) {
    clock_gettime(CLOCK_MONOTONIC, now);
    return double(now->tv_sec - t.tv_sec) + double(now->tv_nsec - t.tv_nsec) * 1e-9;
}

// Waits awake, for at most `limit` microseconds, until `done()` (read
// without the lock); whether it came. A thread that goes to sleep leaves
// its processor idle, and on a virtual machine an idle processor can take
// the host a millisecond to wake, while the other side mostly has what the
// waiter needs within some tens of microseconds.
template <class Done>
static bool wait_awake(long limit, Done done) {
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (int n = 1;; ++n) {
        if (done()) return true;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#elif defined(__aarch64__)
        asm volatile("yield");
#endif
        timespec now;
        if (n % 64 == 0 && seconds_since(start, &now) * 1e6 > double(limit)) return false;
    }
}
// How long each side waits awake: the reader for the paging to hand the
// input back (a batch read in turn, with pages made between its records),
// the paging for the batch the reader is filling.
constexpr long reader_awake_us = 1000, paging_awake_us = 200;

static void read_batches(Input* in);
// The reader has returned (a reader parked by a fatal message never does).
static std::atomic<bool> reader_returned = false;
static void* read_ahead(void* arg) {
    read_batches(static_cast<Input*>(arg));
    reader_returned = true;
    return nullptr;
}

static void read_batches(Input* in) {
    for (bool last = false; !last;) {
        pthread_mutex_lock(&batch_lock);
        while (!paging_read_last && (reader_ahead() || paging_reads || reader_paused)) {
            if (!reader_ahead() && !reader_paused) {
                reader_spins = true;
                pthread_mutex_unlock(&batch_lock);
                bool handed = wait_awake(reader_awake_us, [] { return !paging_reads; });
                pthread_mutex_lock(&batch_lock);
                if (handed || !paging_reads) continue;
            }
            reader_spins = false;
            reader_waits = true;
            pthread_cond_wait(&batch_taken, &batch_lock);
        }
        reader_spins = false;
        if (paging_read_last) {
            pthread_mutex_unlock(&batch_lock);
            return;
        }
        reader_reads = true;
        pthread_mutex_unlock(&batch_lock);
        Batch* b = reading = free_batch();
        if (b && !make_batch(b)) hand_back(b), b = nullptr;
        if (b == nullptr) {
            // Without memory for reading ahead, the paging goes on reading
            // in turn.
            pthread_mutex_lock(&batch_lock);
            reader_stopped = true;
            reader_reads = false;
            paging_waits = false;
            pthread_cond_signal(&batch_ready);
            pthread_mutex_unlock(&batch_lock);
            return;
        }
        b->log.park = park_reader;
        message_log_begin(&b->log);
        batch_begin(b);
        while (!b->closed) read_into(b, in);
        message_log_begin(nullptr);
        last = b->last;
        publish(b);
    }
}

// Whether reading ahead pays is found by measuring (pace.h), since it
// depends on the machine and on what else it runs: on a virtual machine
// whose host is busy, two threads can wait on each other's processors for
// longer than the second thread saves, and where the two processors share
// no cache, the paging fetching what the reader wrote can cost more than
// the reading itself. The paging times windows of batches; a window starts
// some batches after a change of way, once the queue and the caches have
// settled.
constexpr int32_t pace_window = 64, pace_settle = 8;  // batches
struct Pace {
    timespec start{};  // of the window
    // Batches taken in the window; below 0, the batches before it starts
    // (the first window starts once the reader is ahead and all has settled).
    int32_t taken = -pace_settle - ready_limit;
    PaceChoice choice;
};
static Pace pace;

static void keep_pace() {
    // A window without the reader starts once the batches it read are taken.
    if (pace.taken <= 0 && reader_paused && ready_count > 0) return;
    if (pace.taken < 0) {
        ++pace.taken;
        return;
    }
    if (pace.taken++ == 0) clock_gettime(CLOCK_MONOTONIC, &pace.start);
    if (pace.taken <= pace_window) return;
    timespec now;
    const bool with_reader = !reader_paused;
    const bool next = pace.choice.window_done(with_reader, seconds_since(pace.start, &now) / pace_window);
    pace.start = now;
    pace.taken = 1;
    if (next == with_reader) return;
    pthread_mutex_lock(&batch_lock);
    reader_paused = !next;
    if (next && reader_waits) reader_waits = false, pthread_cond_signal(&batch_taken);
    pthread_mutex_unlock(&batch_lock);
    // The next window starts once the batches read the other way are taken
    // (with the reader, once it has had the time to read as many ahead),
    // and some more have settled.
    pace.taken = -pace_settle - (next ? ready_limit : 0);
}

// Whether the input may keep the reader waiting (a pipe, a terminal). The
// output goes out before every read of such an input that may wait: the
// reader thread marks the place in its batch's log, and the paging writes
// the output out when it gets there, as reading in turn would. And when the
// paging has waited for the reader a while (the input keeps it waiting),
// the pages made so far go out then.
static bool input_may_block = false;
constexpr long paging_flush_ms = 20;

// Whether the run's memory is limited (ulimit -v or -d): then the paging
// reads in turn, since the batches read ahead take room that reading in
// turn would not, and could make a run fail that fits one thread.
static bool memory_limited() {
    for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit r;
        if (getrlimit(resource, &r) == 0 && r.rlim_cur != RLIM_INFINITY) return true;
    }
    return false;
}

static void start_reading(Input* in) {
    const char* t = std::getenv("RK_THREADS");
    threaded = reader_stopped = false;
    reader_reads = paging_reads = reader_spins = reader_paused = false;
    pace = Pace{};
    paging_read_last = false;
    if ((t && std::strcmp(t, "1") == 0) || memory_limited()) return;
#ifdef M_ARENA_MAX
    // One heap for both threads: a heap of the reader's own would take a
    // large reservation of address space, which a memory limit counts.
    mallopt(M_ARENA_MAX, 1);
#endif
    input_may_block = in->stream->may_block;
    // A small stack: the reading needs little, and the memory is the run's.
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, reader_stack);
    reader_returned = false;
    threaded = pthread_create(&reader_thread, &attr, read_ahead, in) == 0;
    pthread_attr_destroy(&attr);
}

static void end_reading() {
    if (threaded) pthread_join(reader_thread, nullptr);
    threaded = false;
}

// At a fatal message of the paging: a reader that has returned is joined.
static void join_returned_reader() {
    if (threaded && reader_returned) pthread_join(reader_thread, nullptr);
}

// The paging's side: the batches whose records it has taken, oldest
// first, and the next record.
static Batch *taken_first = nullptr, *taken_last = nullptr;
static size_t replayed = 0;  // of the newest taken batch's log

// The next record of the paging's own batch; once the batch is closed the
// input goes back to the reader thread.
static void read_own(Batch* b, Input* in) {
    read_into(b, in);
    if (!b->closed || !threaded) return;
    pthread_mutex_lock(&batch_lock);
    paging_reads = false;
    paging_read_last = b->last;
    // A reader held back stays asleep until it may read again, or until
    // the input has ended and it is to return.
    if (reader_waits && (!reader_paused || b->last)) reader_waits = false, pthread_cond_signal(&batch_taken);
    pthread_mutex_unlock(&batch_lock);
}

static Batch* next_batch(Input* in) {
    Batch* b = nullptr;
    bool own = !threaded;
    if (threaded) {
        keep_pace();
        pthread_mutex_lock(&batch_lock);
        bool flushed = false;
        for (bool awake = true; ready_count == 0 && !reader_stopped; awake = false) {
            if (!reader_reads && (!reader_spins || !awake)) {
                // Every record read so far has been taken, and the reader
                // is not reading (nor, awake, about to): the next records
                // are the paging's to read.
                paging_reads = own = true;
                pthread_mutex_unlock(&batch_lock);
                break;
            }
            if (awake) {
                pthread_mutex_unlock(&batch_lock);
                wait_awake(paging_awake_us,
                           [] { return ready_count > 0 || reader_stopped || (!reader_reads && !reader_spins); });
                pthread_mutex_lock(&batch_lock);
                continue;
            }
            paging_waits = true;
            if (input_may_block && !flushed) {
                timespec until;
                clock_gettime(CLOCK_REALTIME, &until);
                until.tv_nsec += paging_flush_ms * 1000000;
                if (until.tv_nsec >= 1000000000) until.tv_sec += 1, until.tv_nsec -= 1000000000;
                if (pthread_cond_timedwait(&batch_ready, &batch_lock, &until) == ETIMEDOUT) {
                    flushed = true;
                    pthread_mutex_unlock(&batch_lock);
                    out_flush_checked();
                    pthread_mutex_lock(&batch_lock);
                }
            } else {
                pthread_cond_wait(&batch_ready, &batch_lock);
            }
        }
        if (!own && ready_count == 0) {
            pthread_mutex_unlock(&batch_lock);
            pthread_join(reader_thread, nullptr);
            threaded = false;
            own = true;
        }
    }
    if (!own) {
        b = ready_first;
        ready_first = b->next;
        if (ready_first == nullptr) ready_last = nullptr;
        --ready_count;
        ready_bytes -= batch_bytes(b);
        if (reader_waits && !reader_paused && ready_count <= ready_limit / 2 && ready_bytes <= ready_bytes_limit / 2)
            reader_waits = false, pthread_cond_signal(&batch_taken);
        pthread_mutex_unlock(&batch_lock);
    } else {
        b = free_batch();
        if (b == nullptr || !make_batch(b)) fatal("can't allocate necessary memory!\n");
        batch_begin(b);
        read_own(b, in);
    }
    b->next = nullptr;
    if (taken_last) taken_last->next = b; else taken_first = b;
    taken_last = b;
    replayed = 0;
    return b;
}

// The next record, or null at the end of the file.
static Slot* take_record(Input* in) {
    static int32_t at = 0;
    Batch* b = taken_last;
    if (b == nullptr || (at == b->count && b->closed)) {
        if (b && b->last) {
            message_log_replay(&b->log, replayed, b->log.used);
            replayed = b->log.used;
            return nullptr;
        }
        b = next_batch(in);
        at = 0;
    } else if (at == b->count) {
        read_own(b, in);  // the open batch of reading in turn
    }
    if (at == b->count) return take_record(in);  // the end of the input closed it
    Slot* s = &b->slots[at++];
    message_log_replay(&b->log, replayed, s->log_end);
    replayed = s->log_end;
    return s;
}

// Hands back the taken batches all of whose records were dropped, but the
// newest, which the next record comes from (or, at the end of the file,
// every batch).
static void hand_back_dropped(bool all) {
    while (taken_first && (all || (taken_first != taken_last && taken_first->dropped == taken_first->count))) {
        Batch* b = taken_first;
        taken_first = b->next;
        if (taken_first == nullptr) taken_last = nullptr;
        hand_back(b);
    }
}

// ------------------------------------------------------------ the queue

// The look-ahead queue: `queued` records from place `head` on, in a ring
// of page_height places.
static Slot** queue = nullptr;
static int32_t slot_count = 0, head = 0, queued = 0;
static int64_t held_entries = 0;  // entries of the queued records' tables
static int64_t cell_bound = 0;
static const uint32_t* current_key = nullptr;

static Slot* queue_at(int32_t i) { return queue[(head + i) % slot_count]; }

// A page size: a decimal number, held to what 16-bit page positions take;
// none at all, zero or below leaves no page.
static int32_t page_size(const char* text, int32_t fallback) {
    if (text == nullptr) return fallback;
    long v = std::strtol(text, nullptr, 10);
    if (v <= 0) fatal("too small page size, stop!\n");
    return v > 32767 ? 32767 : int32_t(v);
}

// Takes records into the queue while a page could still take them.
static bool input_done = false;
static void look_ahead(Input* in) {
    while (!input_done && queued < slot_count - 1) {
        if (print_count > 0 && int64_t(queued) * print_count > cell_bound) return;
        if (print_count == 0 && held_entries - 1 > cell_bound) return;
        Slot* s = take_record(in);
        if (s == nullptr) {
            input_done = true;
            return;
        }
        queue[(head + queued++) % slot_count] = s;
        held_entries += s->fields;
    }
}

// Drops the records the page placed.
static void drop_placed(int32_t placed) {
    for (int32_t i = 0; i < placed; ++i) {
        Slot* s = queue_at(i);
        held_entries -= s->fields;
        ++s->batch->dropped;
    }
    head = (head + placed) % slot_count;
    queued -= placed;
    hand_back_dropped(false);
}

enum { QUEUE_EXHAUSTED = 0, KEY_CHANGED = 1, PAGE_FULL = 2 };
static size_t page_record_room = 0;

// Fills the page from the queue: records as long as the page takes them
// (and, with -g, their key is the page's).
static int fill_page(const uint32_t** next_key) {
    // The key lines of an inclusive list stand under the header; an
    // exclusive list names no fields to show there (its groups still
    // start pages).
    page.header_height = compute_header() + (group_given && group_list.inclusive ? key_line_count : 0);
    // The page must hold the blank line before the first band, its heading
    // and one row.
    if (page.header_height + band_gap + heading_extra + 2 > page_height) fatal("too small page size, stop!\n");
    layout_begin();
    page.placed = 0;
    for (int32_t i = 0; i < queued; ++i) {
        Slot* s = queue_at(i);
        if (group_given && i > 0) {
            uint32_t* key = make_key(s->record, &group_list, &keys, &names);
            if (compare_keys(key, current_key, &group_list) != 0) {
                *next_key = key;
                return KEY_CHANGED;
            }
            area_drop(key, &keys);
        }
        if (page_surely_full(s)) return PAGE_FULL;
        grow_table(page.records, page_record_room, size_t(i) + 1);
        page.records[page.placed++] = s;
        add_record_to_page();
        if (page.height > page_height) {
            if (page.placed > 1) {
                --page.placed;
                layout_roll_back();
            }
            return PAGE_FULL;
        }
        layout_accept();
    }
    return QUEUE_EXHAUSTED;
}

// The titles of -h, converted (a text that does not convert ends the run)
// and shown in display form when they hold what cannot be printed.
static void take_titles() {
    titles = static_cast<Text*>(std::calloc(size_t(title_count) + 1, sizeof(Text)));
    if (titles == nullptr) fatal("can't allocate necessary memory!\n");
    for (int32_t i = 0; i < title_count; ++i) {
        wchar_t* t = mbs_to_area(title_texts[i], scratch_area());
        if (t == nullptr) fatal("code error in the -h option.\n");
        display_form(t, std::wcslen(t), &titles[i]);
        area_reset(scratch_area());
    }
    header_set_titles();
}

static void parse_lists() {
    format_defaults(FORMAT_OUTPUT, "", z_text, &names);
    if (format_text) {
        format_list_read(format_text, &format_list, FORMAT_OUTPUT, &names);
        watch_list(&format_list);
        formats_given = true;
    }
    if (print_text) {
        format_list_read(print_text, &print_list, FORMAT_OUTPUT, &names);
        watch_list(&print_list);
        print_given = true;
        print_count = print_list.inclusive ? print_list.included_count : -print_list.excluded_count;
    }
    if (group_text) {
        tool_key_list(group_text, flags_text, &group_list, &names);
        group_given = true;
    }
    if (index_text) {
        tool_field_list(index_text, &index_list, &names);
        index_given = true;
    }
    if (formats_given && !format_list.inclusive) warn(WARN_ERROR, "exclusinve list is not allowed in -f.\n");
    if (index_given && !index_list.inclusive) warn(WARN_ERROR, "exclusinve list is not allowed in -i.\n");
    if (print_given && print_list.inclusive && print_list.included_count == 0)
        warn(WARN_ERROR, "field-list is required for -p.\n");
    if (group_given && group_list.inclusive && group_list.included_count == 0)
        warn(WARN_ERROR, "field-list is required for -g.\n");
}

static void print_file(Input* in) {
    head = queued = 0;
    held_entries = 0;
    input_done = false;
    header_start_file(in->name);
    start_reading(in);
    if (group_given) {
        area_reset(&keys);
        current_key = nullptr;
    }
    look_ahead(in);
    while (queued > 0) {
        if (group_given && current_key == nullptr) {
            current_key = make_key(queue_at(0)->record, &group_list, &keys, &names);
            build_key_lines(current_key);
        }
        const uint32_t* next_key = nullptr;
        int result = fill_page(&next_key);
        write_page();
        drop_placed(page.placed);
        if (group_given && result == KEY_CHANGED) {
            area_release(next_key, &keys);
            current_key = next_key;
            build_key_lines(current_key);
        } else if (group_given && result == QUEUE_EXHAUSTED) {
            area_reset(&keys);
            current_key = nullptr;
        }
        look_ahead(in);
    }
    hand_back_dropped(true);
    end_reading();
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    out_units(OUT_MARKED);  // a unit is a page
    set_cleanup(join_returned_reader);
    init_character_classes();
    tool_area("nsize", &names, nullptr, 8);
    tool_area("wsize", scratch_area());
    if (group_text) {
        tool_area("ksize", &keys);
        area_push_pact(0, relocate_pair, &current_key, nullptr, &keys);
    }
    page_width = page_size(x_text, 80);
    page_height = page_size(y_text, 24);
    cell_bound = int64_t(page_height) * ((page_width + 1) / 2);
    slot_count = page_height < 2 ? 2 : page_height;  // room for one record at least: a page too low says so
    queue = static_cast<Slot**>(checked_malloc(sizeof(Slot*) * size_t(slot_count)));
    // The layout's area: by default from the most values a page holds
    // (56 bytes each, a quarter of them at once), held to 64 MB at first.
    int64_t kb = lsize > 0 ? lsize : ((cell_bound / 4) * 56 + 1024) / 1024 + 8;
    int32_t saved = pact_capacity[0];
    pact_capacity[0] = 6;
    area_create_kb(int32_t(kb > 65536 ? 65536 : kb), "lsize", &layout_area);
    pact_capacity[0] = saved;
    area_push_pact(0, area_double, nullptr, nullptr, &layout_area);
    area_push_pact(0, relocate_pair, &page.columns, nullptr, &layout_area);
    take_titles();
    parse_lists();
    header_shown = nargs > 0 || title_count > 0;
    layout_lists();
    exit_if_errors(2);
    do {
        // On cache lines of its own: the reader thread counts the records
        // in it, while the paging works on the stack around it.
        alignas(128) Input in;
        open_input(&in, INPUT_ONE_FILE);
        print_file(&in);
    } while (nargs > 0);
    tool_finish();
}
