// Regular expressions over wide-character text: a compiler to a program of
// nodes, a leftmost greedy backtracking matcher and template substitution.
#pragma once

#include <cstdint>
#include <cwchar>

#include "runtime.h"

enum { WREG_GROUPS = 10 };

struct wregexp {
    const wchar_t* match_start[WREG_GROUPS];  // whole match, then groups 1..9
    const wchar_t* match_end[WREG_GROUPS];
    wchar_t first_char;      // every match begins with it, or 0
    int anchored;            // the pattern begins with ^
    const uint32_t* must_text;  // a literal every match contains, or null
    int must_length;
    uint32_t* program;       // magic word, then the nodes (in the same block)
    // A literal that every match contains (the leading literal or must_text),
    // which callers may look for before matching many pieces of one text.
    const uint32_t* required_text;
    int required_length;
    int literal_only;        // the pattern is required_text and nothing else
    int program_words;       // length of the program, the magic word included
    // For the matcher's memory of states: node_index[w] numbers the node
    // that starts at program word w (words inside operands have none), and
    // there are node_count nodes.
    const uint32_t* node_index;
    int node_count;
};

// Compiles a zero-terminated pattern; null after reporting through wreg_error.
// The caller frees the block with free().
wregexp* wregcomp(const wchar_t* pattern);
// The same, and with fold set, for matching without regard to case: the
// caller matches subjects in lower case (wreg_fold). Each character of the
// pattern's literals stands for its lower-case form (towlower in the
// locale), and a set also holds the lower-case forms of its members, so
// that [A-Z] matches every letter a to z and A to Z.
wregexp* wregcomp_case(const wchar_t* pattern, bool fold);
// Writes the text from..end in lower case to `to` (as many characters).
void wreg_fold(wchar_t* to, const wchar_t* from, const wchar_t* end);
// 1 when the expression matches somewhere in subject, else 0. The start of
// subject is where ^ matches.
int wregexec(wregexp* expr, const wchar_t* subject);
// The same when the caller knows where the subject ends (end points at its
// terminating 0): a search repeated along one text does not measure it
// each time.
int wregexec_until(wregexp* expr, const wchar_t* subject, const wchar_t* end);
// The text from textstart with the last match replaced by the expanded
// template, built in area; *resume is set just behind the replacement.
wchar_t* wregsub(wregexp* expr, const wchar_t* tmpl, const wchar_t* textstart, wchar_t** resume, Area* area);

// The part of wregsub's text up to the replacement: appends the text from
// textstart to the match and the expanded template to the object at *result
// (area_extend's cell). False, after reporting, when the match or the
// expression can't be used.
bool wregsub_part(wregexp* expr, const wchar_t* tmpl, const wchar_t* textstart, wchar_t** result, Area* area);
// The first occurrence in text[0..n) of the literal that every match of expr
// contains; text itself when there is no such literal; null when absent.
const wchar_t* wreg_find_required(const wregexp* expr, const wchar_t* text, size_t n);

// The matcher is a backtracking search that remembers the states (program
// node, subject position) it has already run: a state that comes round again
// has failed before, since every loop of a program consumes characters and a
// state's outcome depends on nothing else. So a match takes time and memory
// in proportion to the program's length times the subject's, whatever the
// pattern, with the results of plain backtracking.
//
// When set, the matcher forgets nothing: plain backtracking, exponential on
// nested repetitions, kept as the reference the tests compare with.
extern bool wreg_backtrack_only;
// When not zero, the reference matcher gives up (no match) after this many
// steps, and sets wreg_gave_up. Zero, the default, lets it run to its end;
// the tests bound it, since it takes exponential time on some patterns.
extern unsigned long wreg_step_limit;
extern bool wreg_gave_up;

// Receives every error of the engine. It starts as wreg_report_error; a
// library or program that knows where its patterns come from sets its own
// (the field formats and Rkl do when they start).
extern void (*wreg_error)(const char* message);
// Reports "regular expression error (message)." as a counted error.
void wreg_report_error(const char* message);
