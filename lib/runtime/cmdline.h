// Command line and diagnostics: start-up, the option scanner, -D storage
// settings, messages and the exit status.
#pragma once

#include <cstdint>

extern const char* progname;       // argv[0] as given, prefix of every message
extern const char* locale_name;    // what setlocale answered; kept, never tested
extern char decimal_point;         // first byte of the locale's decimal point
extern char** args;                // arguments not yet consumed
extern int32_t nargs;              // number of arguments at args
extern int32_t opt_index;          // argument being scanned
extern const char* opt_pos;        // position inside an open cluster of flags
extern const char* opt_arg;        // argument of the option just returned
extern int32_t error_count;        // counted errors so far
extern const char* input_name;     // input being read, for messages
extern int32_t input_number;       // record (or line) number in that input
extern char* setting_value;        // value text left by settings_next

// One entry of a tool's settings table; the table ends with a null name.
struct Setting {
    const char* name;
    int32_t* value;
};

// Sets the locale from the environment, the program name and the argument
// cursor, and clears the error count and the clean-up hook.
void runtime_init(int argc, char** argv);
// Starts the option scan again at the first argument.
void opt_rewind();
// Returns 1 with the option letter in *letter (and opt_arg set), or 0 at
// the end of the options. Changes only the scanner's cursor.
int opt_next(const char* options, int* letter);
// Drops the scanned options from the argument cursor.
void opt_shift();

// Tokenizer over one -D argument: returns the next name (or nullptr) and
// leaves its value text in setting_value. Splits the argument in place. A
// null argument forgets the argument it was working on.
char* settings_next(char* arg);
// Stores value in the entry named name; an unknown name is a counted error.
void settings_set(Setting* table, const char* name, int32_t value);
// Feeds a whole -D argument through settings_next/settings_set.
void settings_apply(Setting* table, char* arg);

// Severities of warn: 1 fatal (exit 3), 2 counted error, others printed only.
enum { WARN_FATAL = 1, WARN_ERROR = 2, WARN_NOTE = 3 };
// Writes "progname: " and the message to standard error; returns the
// characters of the message.
int warn(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
// warn, then one more line with the reason the system gave (errno) for the
// failure of a call on the file `name`: "name: reason". At WARN_FATAL it
// does not return.
int warn_errno(int level, const char* name, const char* format, ...) __attribute__((format(printf, 3, 4)));
// warn at level WARN_FATAL.
[[noreturn]] void fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));
// fatal for a code error: `byte` is the first byte that did not decode, or
// null (a read error). When the locale's encoding is ASCII and the byte lies
// beyond it, one line of advice on the locale to use follows the message.
[[noreturn]] void fatal_code_error(const unsigned char* byte, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
// Memory outside the storage areas: malloc and realloc (of at least one
// byte) that end the program with a fatal message when none is left.
void* checked_malloc(size_t n);
void* checked_realloc(void* p, size_t n);
// A table of the heap with room for at least n elements: grown (twice what
// is asked, contents kept) when `capacity` is short, and returned.
template <typename T>
T* grow_table(T*& table, size_t& capacity, size_t n) {
    if (n > capacity) {
        capacity = 2 * n;
        table = static_cast<T*>(checked_realloc(table, sizeof(T) * capacity));
    }
    return table;
}
// The same, the elements that growing adds set to zero (tables of stamps
// or counts that an element's absence must read as 0).
template <typename T>
T* grow_table_zeroed(T*& table, size_t& capacity, size_t n) {
    size_t old = capacity;
    grow_table(table, capacity, n);
    for (size_t i = old; i < capacity; ++i) table[i] = T{};
    return table;
}
// Installs the hook run before any exit caused by errors.
void set_cleanup(void (*fn)());
// Exits with status (after the clean-up hook) when errors were counted.
void exit_if_errors(int status);
// Flushes standard output and exits; a write error turns into status 3.
[[noreturn]] void rk_exit(int status);
// Writes a usage text to standard error and exits with status 2.
[[noreturn]] void usage_exit(const char* text);
// Takes the next argument, which the tool requires (usage text when absent).
const char* take_argument(const char* usage);
