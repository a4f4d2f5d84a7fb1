// Runtime shared by every program of the suite: start-up, the option
// scanner, -D storage settings, diagnostics and exit status; storage areas;
// wide-character input and output; numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>

// ---------------------------------------------------------------------------
// Command line and diagnostics

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

void runtime_init(int argc, char** argv);
void opt_rewind();
// Returns 1 with the option letter in *letter, or 0 at the end of the options.
int opt_next(const char* options, int* letter);
// Drops the scanned options from the argument cursor.
void opt_shift();

// Tokenizer over one -D argument: returns the next name (or nullptr) and
// leaves its value text in setting_value. Splits the argument in place. A
// null argument forgets the argument it was working on.
char* settings_next(char* arg);
void settings_set(Setting* table, const char* name, int32_t value);
// Feeds a whole -D argument through settings_next/settings_set.
void settings_apply(Setting* table, char* arg);

// Severities of warn: 1 fatal (exit 3), 2 counted error, others printed only.
enum { WARN_FATAL = 1, WARN_ERROR = 2, WARN_NOTE = 3 };
int warn(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
// warn at level WARN_FATAL.
[[noreturn]] void fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));
void set_cleanup(void (*fn)());
void exit_if_errors(int status);
// Flushes standard output and exits; a write error turns into status 3.
[[noreturn]] void rk_exit(int status);
// Writes a usage text to standard error and exits with status 2.
[[noreturn]] void usage_exit(const char* text);
// The option loop of a tool whose options are -D and, when count is given,
// the digits of a count (-10 is ten; digits accumulate across options). Any
// other option gives the usage text. Leaves the arguments shifted past the
// options.
void scan_options(Setting* settings, const char* usage, int32_t* count = nullptr);
// Takes the next argument, which the tool requires (usage text when absent).
const char* take_argument(const char* usage);

// ---------------------------------------------------------------------------
// Storage areas

struct Area;
using PactFn = int (*)(void* a, void* b, Area* area);

struct Pact {
    PactFn fn;
    void* a;
    void* b;
};

struct PactRow {
    Pact* entries;
    int32_t used;
    int32_t capacity;
};

struct Area {
    char* base;
    char* limit;
    char* tail;
    char* head;
    char label[24];
    char* old_base;
    char* old_limit;
    char* old_head;
    PactRow pacts[2];
};

// Row capacities given to areas created from now on (row 0, row 1).
extern int32_t pact_capacity[2];

void area_create(size_t size, const char* name, Area* area);
// Creates an area from a size setting in KB; sizes below 1 KB count as 1 KB.
void area_create_kb(int32_t kb, const char* name, Area* area);
// Creates an area from a size setting in KB and pushes the doubling pact.
void area_create_doubling(int32_t kb, const char* name, Area* area);
inline void area_reset(Area* area) {
    area->head = area->base;
    area->tail = area->limit;
}
void area_resize(size_t new_size, Area* area);
// The same, but a failure to get the memory leaves the area as it was and
// returns false instead of ending the program.
bool area_try_resize(size_t new_size, Area* area);
void* area_alloc_slow(size_t n, Area* area);
// The common case inline: the block fits at the head.
inline void* area_alloc(size_t n, Area* area) {
    char* h = area->head;
    if (area->tail < h ? n <= size_t(area->limit - h) : n <= size_t(area->tail - h)) {
        area->head = h + n;
        return h;
    }
    return area_alloc_slow(n, area);
}
// `cell` is the address of the caller's pointer to the object's first byte.
void* area_extend_slow(size_t n, void* cell, Area* area);
inline void* area_extend(size_t n, void* cell, Area* area) {
    char* h = area->head;
    if (area->tail < h ? n <= size_t(area->limit - h) : n <= size_t(area->tail - h)) {
        area->head = h + n;
        char* start;
        __builtin_memcpy(&start, cell, sizeof start);
        if (start == nullptr) __builtin_memcpy(cell, &h, sizeof h);
        return h;
    }
    return area_extend_slow(n, cell, area);
}
void area_release(const void* p, Area* area);
// Gives back the last n bytes of the object under construction at the head.
inline void area_giveback(size_t n, Area* area) { area->head -= n; }
void area_pad(size_t a, Area* area);
inline void area_align(size_t a, Area* area) {
    if (reinterpret_cast<uintptr_t>(area->head) & (a - 1)) area_pad(a, area);
}
void* align_up(size_t a, const void* p);
void* area_relocate(const void* p, Area* area);
[[noreturn]] void pact_overflow();
inline void area_push_pact(int row, PactFn fn, void* a, void* b, Area* area) {
    PactRow& r = area->pacts[row];
    if (r.used >= r.capacity) pact_overflow();
    r.entries[r.used++] = Pact{fn, a, b};
}
// Removes the most recently pushed pact of the row.
inline void area_pop_pact(int row, Area* area) {
    PactRow& r = area->pacts[row];
    if (r.used > 0) --r.used;
}
int area_run_pacts(int row, Area* area);
// Relocation pact: translates the pointers stored at a and b (either may be null).
int relocate_pair(void* a, void* b, Area* area);
// Growth pact: doubles the area. a and b are unused.
int area_double(void* a, void* b, Area* area);

inline size_t area_size(const Area* area) { return size_t(area->limit - area->base); }
// Contiguous free bytes at the head, before any pact would run.
inline size_t area_room(const Area* area) {
    return size_t((area->tail < area->head ? area->limit : area->tail) - area->head);
}

// Translates the pointer stored in *cell after a resize.
template <typename T>
inline void area_relocate_cell(T** cell, Area* area) {
    *cell = static_cast<T*>(area_relocate(*cell, area));
}

// ---------------------------------------------------------------------------
// Wide-character input and output

// True when the locale encodes every character below 0x80 as that one byte
// and never uses such a byte inside another character's sequence.
extern bool ascii_compatible;
// True when the locale's encoding is UTF-8.
extern bool utf8_locale;

// Decodes the character at p (n bytes available) exactly as the C library's
// conversion does: returns the number of bytes used, 0 when the sequence is
// incomplete within n bytes, -1 when it is invalid. A NUL gives *wc = 0.
int decode_char_full(const unsigned char* p, size_t n, wchar_t* wc);
inline int decode_char(const unsigned char* p, size_t n, wchar_t* wc) {
    unsigned c = p[0];
    if (c < 0x80 && ascii_compatible) {
        *wc = wchar_t(c);
        return 1;
    }
    if (utf8_locale && c >= 0xC2 && c < 0xE0 && n >= 2 && (p[1] & 0xC0) == 0x80) {
        *wc = wchar_t(((c & 0x1F) << 6) | (p[1] & 0x3F));
        return 2;
    }
    return decode_char_full(p, n, wc);
}
// Encodes c into out (room for MB_LEN_MAX bytes); returns the number of
// bytes, or -1 when c has no form in the locale's encoding.
int encode_char(wchar_t c, char* out);

// A buffered wide-character input stream over a file descriptor. Characters
// are decoded in the locale's encoding one at a time as they are consumed,
// so a decoding failure is noticed exactly where it stands in the text.
struct WStream {
    int fd;
    bool eof;      // the descriptor reported end of file
    bool error;    // a read error or an undecodable sequence was met
    bool bad;      // the error is an undecodable sequence at buf + pos
    unsigned char* buf;
    size_t pos;    // next byte to decode
    size_t len;    // bytes in buf
    size_t cap;
};

WStream* ws_open(const char* path);   // nullptr when the file can't be opened
WStream* ws_stdin();
// A stream over a copy of n bytes of memory.
WStream* ws_memory(const void* data, size_t n);
void ws_close(WStream* s);
// Refills the buffer, keeping the bytes not yet consumed; false when nothing
// more could be read (end of file or read error).
bool ws_fill(WStream* s);
// Next character, or WEOF at end of file or on error (s->error tells).
wint_t ws_getwc(WStream* s);
// Decodes the multibyte character at the read position (the slow path of
// ws_getwc); returns WEOF at end of file or on error.
wint_t ws_decode(WStream* s);
// After an undecodable sequence: skips its first byte so that reading can go
// on. False when the error was a read error, which can't be skipped.
bool ws_resync(WStream* s);

// Encodes text[0..n) in the locale's encoding into out, which holds cap
// bytes; returns the bytes written and sets *taken to the characters
// encoded: all of them, unless out filled up (a character that is not ASCII
// is encoded only while MB_LEN_MAX bytes are left). A character without a
// form in the encoding is dropped.
size_t encode_text(const wchar_t* text, size_t n, char* out, size_t cap, size_t* taken);

// Buffered encoder for standard output.
void out_write(const wchar_t* text, size_t n);
void out_putws(const wchar_t* text);
void out_putwc_slow(wchar_t c);
extern char out_buf[];
extern size_t out_len;
enum { OUT_BUFSIZE = 1 << 16 };
void out_bytes_slow(const char* bytes, size_t n);
inline void out_bytes(const char* bytes, size_t n) {
    if (out_len + n <= OUT_BUFSIZE) {
        __builtin_memcpy(out_buf + out_len, bytes, n);
        out_len += n;
    } else {
        out_bytes_slow(bytes, n);
    }
}
inline void out_putwc(wchar_t c) {
    if (ascii_compatible && uint32_t(c) < 0x80 && out_len < OUT_BUFSIZE) out_buf[out_len++] = char(c);
    else out_putwc_slow(c);
}
void out_str(const char* text);
// Writes a string literal without measuring it.
template <size_t N>
inline void out_lit(const char (&text)[N]) {
    out_bytes(text, N - 1);
}
void out_int(long v);
void out_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes out what is buffered; false on a write error (errno set).
bool out_flush();
// Sends the output to `writer` instead of standard output (null: back to
// standard output); the writer returns the bytes taken or -1.
void out_redirect(long (*writer)(const char* bytes, size_t n));

// ---------------------------------------------------------------------------
// Wide text in areas, lines and numbers

wchar_t* mbs_to_area(const char* s, Area* area);
char* wcs_to_area_mb(const wchar_t* w, Area* area);
wchar_t put_mb_char(wchar_t c, char** cell, Area* area);
wchar_t* read_line(wchar_t** cell, WStream* s, Area* area);
wchar_t* read_text_file(WStream* s, Area* area);
double parse_number(const wchar_t* s);
void print_number(double x);
// The buffer must hold NUMBER_BUF bytes.
enum { NUMBER_BUF = 64 };
void format_number(char* buf, double x);

// Appends wide characters to an object under construction in an area. The
// characters are staged and the area is extended once per batch; `cell` is
// the object's start cell as for area_extend.
struct WideAppender {
    enum { STAGE = 1024 };
    wchar_t stage[STAGE];
    size_t n = 0;
    void* cell;
    Area* area;

    WideAppender(void* start_cell, Area* a) : cell(start_cell), area(a) {}
    void put(wchar_t c) {
        if (n == STAGE) flush();
        stage[n++] = c;
    }
    // Moves the staged characters into the object; returns where they went
    // (nullptr when nothing was staged).
    wchar_t* flush();
};
