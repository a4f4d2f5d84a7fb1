// Field-format lists: how the fields of a record lie in a line of plain
// text. Each entry of a field list may carry a format text (name:format)
// giving its start, its end (a position, a length, a delimiter or a
// pattern), quoting and escaping options, a repeat mark and a printf/scanf
// conversion. The input direction cuts lines into fields; the output
// direction writes the fields of a record into one line.
#pragma once

#include <cstdint>
#include <cwchar>

#include "fieldlist.h"
#include "wregex.h"

enum FormatDirection { FORMAT_INPUT, FORMAT_OUTPUT };
enum FormatStart : int32_t { START_FOLLOW, START_ABSOLUTE, START_RELATIVE };
enum FormatEnd : int32_t { END_ABSOLUTE, END_LENGTH, END_DELIMITER, END_PATTERN };
// Option letters as bits.
enum : int32_t {
    FORMAT_L = 1 << 0,        // l: fixed fields, trailing blanks (in) / left-aligned (out)
    FORMAT_R = 1 << 1,        // r: leading blanks (in) / right-aligned (out)
    FORMAT_Q = 1 << 2,        // q: double quotes
    FORMAT_SINGLE = 1 << 3,   // Q: single quotes
    FORMAT_B = 1 << 4,        // b: backslash escapes
    FORMAT_X = 1 << 5,        // x: with q, backslash escapes inside quotes
    FORMAT_F = 1 << 6,        // f: the whole name:value
    FORMAT_N = 1 << 7,        // n: no options
};
// The class of a conversion's first argument.
enum CfmtClass : int32_t { CFMT_NONE, CFMT_SIGNED, CFMT_UNSIGNED, CFMT_FLOATING, CFMT_TEXT, CFMT_CHARACTER };

struct FieldFormat {
    int32_t start_kind;
    int32_t start;
    int32_t end_kind;
    int32_t end;
    // A delimiter or pattern: compiled in the input direction (a block of
    // its own, never moved), the text itself in the output direction.
    wregexp* regex;
    wchar_t* text;
    int32_t options;
    bool repeat;
    char* cfmt;           // multibyte conversion text, or null
    int32_t cfmt_class;
    char cfmt_size;       // 0, 'h' or 'l'
    // Input direction: the character, when the end is a delimiter that is
    // that one character and no option quotes or escapes (the cutter's
    // quick case); else 0.
    wchar_t plain_delimiter;
};

// The default field format of the program, set by format_defaults.
extern FieldFormat default_format;

// The value of an option letter, or 0 when c is none.
int32_t format_option(wchar_t c);
// The class of the first conversion of a scanf (input) or printf (output)
// format, and its size letter in *size.
int32_t cfmt_class(const char* cfmt, int direction, char* size);
// Sets the default field format from the -t and -z option texts (decoded
// in the area; the format itself keeps its texts in blocks of its own).
// From here on the engine's errors go to format_regex_error.
void format_defaults(int direction, const char* t_text, const char* z_text, Area* area);
// Builds and checks the format of every included entry that has a format
// text, in `area` (the names area holding the list). Faults are counted
// errors. With repeat_all every format repeats, as if marked so, before
// the checks. Sets the engine's error hook as format_defaults does.
void format_list_parse(FieldList* list, int direction, Area* area, bool repeat_all = false);
// Translates the list and its formats after `area` moved; a relocation
// pact for the names area (list as its first argument).
int format_list_relocate_pact(void* list, void*, Area* area);
// The whole reading of a program's list argument: the list's relocation
// pact pushed on `area`, the text parsed as a field list, then its formats
// built (format_list_parse). Call format_defaults first.
void format_list_read(const char* text, FieldList* list, int direction, Area* area, bool repeat_all = false);
// Output direction: false when a printf format would read what the writer
// does not pass: more than one conversion, a * width or precision, wide
// text (%ls, %S) or %n. Such a format is a counted error of the list.
bool cfmt_output_safe(const char* cfmt);
// A name for messages, 0-terminated, in a buffer of the library's own that
// the next call reuses.
const wchar_t* format_message_name(const wchar_t* name, size_t length);
// The engine's error hook of the field formats: an error in -t or a format
// text.
void format_regex_error(const char* message);

// The input direction's continuation: appends the next input line to the
// current one (moving it if need be) and sets the new start and end; false
// when the input has no more lines.
struct FormatContinuation {
    void* data;
    bool (*append)(void* data, wchar_t** line_start, wchar_t** line_end);
};
// Cuts the line line_start .. *line_end (without its newline) into fields by
// the list and writes each as name:value and a newline; returns the number
// of fields written. `work` holds cfmt conversions for the time of a field.
// With a continuation, a quoted section or escape open at the line end goes
// on in the next line, and *line_end is updated; the lines must then end
// in a 0 (without one the line is cut as a copy that has one).
int cut_line(const wchar_t* line_start, const wchar_t** line_end, const FieldList* list, Area* work,
             const FormatContinuation* continuation);

struct Field;
// Output direction. Starts a new output line: the column goes back to 0
// and no delimiter is pending.
void line_begin();
// The value (length characters, not terminated) converted by the format's
// cfmt, as a new 0-terminated wide text in the area (null when the area
// can't grow). A cfmt that would read anything but the one argument of its
// first conversion is written as its own text, %% as %. What the
// conversion leaves in the area is the caller's to release. *failed (when
// given) tells whether anything was lost: printf failed (a character
// without a form, a result beyond an int's count) or bytes of its result
// did not decode.
wchar_t* cfmt_convert(const wchar_t* value, size_t length, const FieldFormat* format, Area* area,
                      bool* failed = nullptr);
// Writes one field into the current line with the format (null: the
// default format): the delimiter pending from the field before, the start,
// then the text quoted or escaped (delimiter end) or placed in its width
// (fixed end). Conversions are made in the area. The caller writes the
// newline.
void write_field(const Field* field, const FieldFormat* format, Area* area);

// Groups of the listed fields of a record (a field is listed when the list
// selects it): by N-th occurrence (the n-th field of each name is in group
// n), by sequence break (a field whose entry does not come after the one
// before, and is not the same repeating entry, opens a group) or by leading
// field (a field of the list's first entry opens a group, unless it follows
// one when that entry repeats). Sets groups[i] for each of the n fields (0:
// not listed) and returns the number of groups. Sequence break and leading
// field need an inclusive list.
enum { GROUP_NTH, GROUP_SEQUENCE, GROUP_LEADING };
// The algorithm of the options -S and -L (-L wins over -S, -S over the
// default -N); with an exclusive list either of them is a counted error.
int format_group_algorithm(bool sequence, bool leading, const FieldList* list);
// Which of the record's n fields the list selects (a named field that an
// inclusive list includes or an exclusive one does not exclude).
void format_listed(const FieldList* list, const Field* rec, size_t n, bool* listed);
int32_t format_groups(const Field* rec, size_t n, const FieldList* list, int algorithm, int32_t* groups);
// The fields of each group in record order: first[g] for g from 0 (the
// fields of no group) to count, then next[i]; -1 ends a chain.
void group_chains(const int32_t* groups, size_t n, int32_t count, int32_t* first, int32_t* next);
// For the n fields of a record whose listed[i] is set: next[i] is the next
// of them with the same name (-1 at the last); -1 for the others. Takes
// time n log n, however many fields share a name.
void same_name_chains(const Field* rec, size_t n, const bool* listed, int32_t* next);
