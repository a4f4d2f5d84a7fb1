// Start-up, option scanning, -D settings, diagnostics and exit status.
#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <fcntl.h>
#include <unistd.h>

#include "internal.h"
#include "progress.h"
#include "runtime.h"

const char* progname = "";
const char* locale_name = nullptr;
char decimal_point = '.';
char** args = nullptr;
int32_t nargs = 0;
int32_t opt_index = 0;
const char* opt_pos = nullptr;
const char* opt_arg = "";
int32_t error_count = 0;
const char* input_name = nullptr;
int32_t input_number = 0;
char* setting_value = nullptr;

static void (*cleanup_hook)() = nullptr;

// Letters of the option string without and with an argument.
static char flag_letters[64];
static char arg_letters[64];



// A standard descriptor that is closed at start would be handed to the first
// file the program opens, and "-" or the output would then reach that file.
// Each closed one is opened on /dev/null in the direction that makes its use
// fail: reading standard input is then a read error, and writing standard
// output "can't write!".
static void guard_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        int got = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (got < 0) _exit(3);  // nothing safe is left to do, nor a place to say so
        if (got != fd) {
            dup2(got, fd);
            close(got);
        }
    }
}

void runtime_init(int argc, char** argv) {
    guard_standard_descriptors();
    // Past a file size limit a write fails (and is reported) rather than
    // ending the program before it can cut its output back to whole records.
    signal(SIGXFSZ, SIG_IGN);
    locale_name = setlocale(LC_ALL, "");
    progname = argc > 0 ? argv[0] : "";
    args = argc > 0 ? argv + 1 : argv;
    nargs = argc > 0 ? argc - 1 : 0;
    error_count = 0;
    cleanup_hook = nullptr;
    input_name = nullptr;
    input_number = 0;
    const struct lconv* lc = localeconv();
    decimal_point = lc && lc->decimal_point && lc->decimal_point[0] ? lc->decimal_point[0] : '.';
    detect_ascii_compatible();
    opt_rewind();
}

void opt_rewind() {
    opt_index = 0;
    opt_pos = nargs > 0 ? args[0] : nullptr;
    opt_arg = "";
}

static void split_options(const char* options) {
    size_t nf = 0, na = 0;
    for (const char* p = options; *p; ++p) {
        if (*p == ':') continue;
        if (p[1] == ':') {
            if (na + 1 < sizeof arg_letters) arg_letters[na++] = *p;
        } else if (nf + 1 < sizeof flag_letters) {
            flag_letters[nf++] = *p;
        }
    }
    flag_letters[nf] = 0;
    arg_letters[na] = 0;
}

static bool is_flag(char c) { return c != 0 && std::strchr(flag_letters, c) != nullptr; }
static bool is_arg_letter(char c) { return c != 0 && std::strchr(arg_letters, c) != nullptr; }

int opt_next(const char* options, int* letter) {
    if (opt_index >= nargs) return 0;
    const char* a = args[opt_index];
    if (opt_index == 0 && opt_pos == a) split_options(options);
    opt_arg = "";

    if (opt_pos != a) {  // inside a cluster of flags checked as a whole
        *letter = static_cast<unsigned char>(*opt_pos++);
        if (*opt_pos == 0) {
            ++opt_index;
            opt_pos = opt_index < nargs ? args[opt_index] : nullptr;
        }
        return 1;
    }
    if (a[0] != '-' || a[1] == 0) return 0;
    if (a[1] == '-' && a[2] == 0) {
        ++opt_index;
        opt_pos = opt_index < nargs ? args[opt_index] : nullptr;
        return 0;
    }
    bool all_flags = true;
    for (const char* p = a + 1; *p; ++p)
        if (!is_flag(*p)) {
            all_flags = false;
            break;
        }
    if (all_flags) {
        *letter = static_cast<unsigned char>(a[1]);
        if (a[2] != 0) {
            opt_pos = a + 2;
        } else {
            ++opt_index;
            opt_pos = opt_index < nargs ? args[opt_index] : nullptr;
        }
        return 1;
    }
    if (is_arg_letter(a[1])) {
        *letter = static_cast<unsigned char>(a[1]);
        if (a[2] != 0) {
            opt_arg = a + 2;
        } else if (opt_index + 1 < nargs) {
            opt_arg = args[++opt_index];
        }
        ++opt_index;
        opt_pos = opt_index < nargs ? args[opt_index] : nullptr;
        return 1;
    }
    *letter = '?';
    opt_arg = a;
    ++opt_index;
    opt_pos = opt_index < nargs ? args[opt_index] : nullptr;
    return 1;
}

void opt_shift() {
    args += opt_index;
    nargs -= opt_index;
    opt_index = 0;
    opt_pos = nargs > 0 ? args[0] : nullptr;
}

// -D items are separated by commas and/or white space; an item is a name,
// optionally followed by '=' and a value. After '=' blanks are skipped and
// the value runs to the next comma or white space.
static bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

char* settings_next(char* arg) {
    static char* last_arg = nullptr;
    static char* cursor = nullptr;
    if (arg == nullptr || arg != last_arg) {
        last_arg = arg;
        cursor = arg;
    }
    if (cursor == nullptr) return nullptr;
    for (;;) {
        while (is_space(*cursor) || *cursor == ',') ++cursor;
        if (*cursor == 0) return nullptr;
        char* name = cursor;
        while (*cursor && !is_space(*cursor) && *cursor != '=' && *cursor != ',') ++cursor;
        char* name_end = cursor;
        while (is_space(*cursor)) ++cursor;
        static char empty[] = "";
        setting_value = empty;
        if (*cursor == '=') {
            ++cursor;
            while (is_space(*cursor)) ++cursor;
            setting_value = cursor;
            while (*cursor && !is_space(*cursor) && *cursor != ',') ++cursor;
            if (*cursor) *cursor++ = 0;
        } else if (*cursor == ',') {
            ++cursor;
        }
        // A value without a name is reported as its item ("=5"), so that
        // the setting the user meant is not dropped without a word.
        if (name == name_end && *name_end == '=') return name;
        *name_end = 0;
        if (*name) return name;
    }
}

void settings_set(Setting* table, const char* name, int32_t value) {
    for (Setting* s = table; s->name; ++s)
        if (std::strcmp(s->name, name) == 0) {
            *s->value = value;
            return;
        }
    warn(WARN_ERROR, "-D %s is unknown.\n", name);
}

void settings_apply(Setting* table, char* arg) {
    settings_next(nullptr);  // a new argument, even at an address used before
    while (char* name = settings_next(arg)) {
        long v = std::strtol(setting_value, nullptr, 10);
        if (v > INT32_MAX) v = INT32_MAX;
        if (v < INT32_MIN) v = INT32_MIN;
        settings_set(table, name, static_cast<int32_t>(v));
    }
}

void set_cleanup(void (*fn)()) { cleanup_hook = fn; }

// The hook runs at most once, even when its own exit path fails again.
static void run_cleanup() {
    void (*hook)() = cleanup_hook;
    cleanup_hook = nullptr;
    if (hook) hook();
}

// A closed pipe ends the program the way it ends any Unix filter.
static void die_of_broken_pipe() {
    progress_erase();
    run_cleanup();
    signal(SIGPIPE, SIG_DFL);
    raise(SIGPIPE);
    _exit(3);
}

static bool output_failed = false;

[[noreturn]] static void fatal_exit() {
    // Whole units only: what the program was writing when it stopped is
    // left out.
    if (!output_failed && !out_flush_units() && errno == EPIPE) die_of_broken_pipe();
    run_cleanup();
    std::exit(3);
}

static int vmessage(const char* format, va_list ap) {
    progress_erase();
    std::fprintf(stderr, "%s: ", progname);
    return std::vfprintf(stderr, format, ap);
}

// What a message of the level does after it was written.
static void settle(int level) {
    if (level == WARN_FATAL) fatal_exit();
    if (level == WARN_ERROR) ++error_count;
}

int warn(int level, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = vmessage(format, ap);
    va_end(ap);
    settle(level);
    return n;
}

int warn_errno(int level, const char* name, const char* format, ...) {
    const char* reason = std::strerror(errno);
    va_list ap;
    va_start(ap, format);
    int n = vmessage(format, ap);
    va_end(ap);
    warn(WARN_NOTE, "%s: %s\n", name, reason);
    settle(level);
    return n;
}

void fatal(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    vmessage(format, ap);
    va_end(ap);
    fatal_exit();
}

static void locale_advice(const unsigned char* byte) {
    if (byte == nullptr || *byte < 0x80) return;
    const char* codeset = nl_langinfo(CODESET);
    if (codeset == nullptr || (std::strcmp(codeset, "ANSI_X3.4-1968") != 0 && std::strcmp(codeset, "ASCII") != 0 &&
                               std::strcmp(codeset, "US-ASCII") != 0))
        return;
    const char* name = setlocale(LC_CTYPE, nullptr);
    warn(WARN_NOTE, "the locale \"%s\" reads ASCII only; for UTF-8 data set LC_ALL=C.UTF-8.\n", name ? name : "C");
}

void* checked_malloc(size_t n) { return checked_realloc(nullptr, n); }

void* checked_realloc(void* p, size_t n) {
    void* q = std::realloc(p, n ? n : 1);
    if (q == nullptr) fatal("can't allocate necessary memory!\n");
    return q;
}

void fatal_code_error(const unsigned char* byte, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    vmessage(format, ap);
    va_end(ap);
    locale_advice(byte);
    fatal_exit();
}

void rk_exit(int status) {
    progress_erase();
    if (!out_flush()) {
        if (errno == EPIPE) die_of_broken_pipe();
        output_failed = true;
        fatal("can't write!\n");
    }
    std::exit(status);
}

void exit_if_errors(int status) {
    if (error_count == 0) return;
    run_cleanup();
    rk_exit(status);
}

void usage_exit(const char* text) {
    std::fputs(text, stderr);
    rk_exit(2);
}

const char* take_argument(const char* usage) {
    if (nargs == 0) usage_exit(usage);
    --nargs;
    return *args++;
}

// Called by the output layer when a write fails.
void output_error() {
    if (errno == EPIPE) die_of_broken_pipe();
    output_failed = true;
    fatal("can't write!\n");
}
