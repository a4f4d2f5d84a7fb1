// Run files: their names, the directory they go to, the signals that
// remove them, and writing them.
//
// Each run records the six characters of its stem: all runs share one
// unless a name was found taken, which gives the next runs a fresh one, so
// that nobody who can write the directory can stop the program by creating
// the names it will use. The signal handler reads this state, so it is kept in
// plain static storage, and changes to it happen with the signals blocked.
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "cmdline.h"
#include "progress.h"
#include "runfiles.h"

volatile sig_atomic_t first_run = 0;
volatile sig_atomic_t run_count = 0;
const char* temp_option = nullptr;

namespace {

constexpr int STEM = 6;
constexpr int NAME_TRIES = 100;  // fresh stems tried before a name counts as unobtainable
char run_dir[PATH_MAX];          // the directory, ending in '/'; empty until chosen
char run_stems[LAST_RUN + 1][STEM];
char stem[STEM];                 // the stem of the next run
const char* program = "";        // the start of the names

// "<directory><program><stem>" into buf; plain character operations only, so
// that the signal handler may call it.
char* put_prefix(char* buf, const char* stem_chars) {
    char* o = buf;
    for (const char* p = run_dir; *p; ++p) *o++ = *p;
    for (const char* p = program; *p; ++p) *o++ = *p;
    for (int i = 0; i < STEM; ++i) *o++ = stem_chars[i];
    *o = 0;
    return o;
}

}  // namespace

void run_name(char* buf, long i) {
    char prefix[sizeof run_dir + 32];
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

namespace {

sigset_t guarded_signals;

void on_signal(int sig) {
    signal(sig, SIG_DFL);
    remove_runs();
    progress_erase();  // one write(2): safe in a handler
    kill(getpid(), sig);  // delivered when the handler returns
}

// Keeps the signals out while the run bookkeeping changes.
struct SignalGuard {
    sigset_t old;
    SignalGuard() { sigprocmask(SIG_BLOCK, &guarded_signals, &old); }
    ~SignalGuard() { sigprocmask(SIG_SETMASK, &old, nullptr); }
};

}  // namespace

// Every signal that ends a process by default, other than a fault of the
// program itself, removes the runs first (a closed output pipe too). A file
// size limit is ignored, so that the write fails and the program ends with
// its message and removes the runs. A signal ignored at start stays ignored.
void install_handlers(const char* name) {
    program = name;
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

namespace {

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
        SignalGuard guard;  // no signal ends the program while the probe exists
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


}  // namespace

char RunWriter::buffer[RUN_BUFFER];

void RunWriter::create() {
    if (!run_dir[0]) choose_directory();
    long i = first_run + run_count;
    if (i > LAST_RUN) fatal("tmpfile exhausted (%ld).\n", i);
    // Never follow or overwrite what is already there.
    fd = claim_name(i, name, [](const char* n) {
        int f = open(n, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (f >= 0) run_count = run_count + 1;  // signals are still blocked
        return f;
    });
    if (fd < 0) warn_errno(WARN_FATAL, name, "can't create tmpfile %s.\n", name);
}
void RunWriter::fail() { fatal("can't write tmpfile %s.\n", name); }
void RunWriter::write_out(const char* p, size_t n) {
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
void RunWriter::flush() {
    write_out(buffer, used);
    used = 0;
}
void RunWriter::write(const void* p, size_t n) {
    // A large piece goes out by itself, after what the buffer holds.
    if (used + n > RUN_BUFFER || n > RUN_BUFFER / 2) flush();
    if (n > RUN_BUFFER / 2) {
        write_out(static_cast<const char*>(p), n);
        return;
    }
    std::memcpy(buffer + used, p, n);
    used += n;
}
void RunWriter::close() {
    flush();
    if (::close(fd) != 0) fail();
    fd = -1;
}

void rename_run_to_end() {
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
}

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

void remove_all_runs() {
    SignalGuard guard;
    remove_runs();
    run_count = 0;
    first_run = 0;  // the indices are free again for a later merge
}

void RunReader::read(void* p, size_t n) {
    if (std::fread(p, 1, n, f) != n) fatal("tmpfile %s is truncated.\n", name);
}
void RunReader::open(long i, Area* a, size_t buffer) {
    area = a;
    run_name(name, i);
    f = std::fopen(name, "rbe");
    if (f == nullptr) warn_errno(WARN_FATAL, name, "can't open tmpfile %s.\n", name);
    std::setvbuf(f, nullptr, _IOFBF, buffer);
    next_key();
}
void RunReader::next_key() {
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
