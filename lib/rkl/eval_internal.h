// What the parts of the evaluator share: the areas in use, values held
// across allocations, conversions and the match context.
#pragma once

#include <cstdint>
#include <cwchar>

#include "rkl.h"
#include "wregex.h"

namespace rkl_detail {

// The areas for values and strings: the per-record ones, or the scratch
// ones while the program is simplified at load time.
extern Area* value_area;
extern Area* string_area;

// Values kept in a routine's locals while it allocates: their arrays and
// strings are translated whenever one of the evaluation areas moves.
// `count` is read at each move, so a list under construction is kept
// with the elements it has so far.
int relocate_values(void* values, void* count, Area* area);
class Hold {
public:
    Hold(RklValue* v, int32_t* count)
        : a_(0, relocate_values, v, count, value_area),
          b_(0, relocate_values, v, count, string_area),
          c_(0, relocate_values, v, count, &rkl.locals) {}
private:
    PactScope a_, b_, c_;
};

// n uninitialised elements of the given kind in the value area.
RklValue new_list(int32_t kind, int32_t n);
// A 0-terminated copy of text[0..n) in `area`.
wchar_t* copy_text(const wchar_t* text, size_t n, Area* area);

bool is_field(const Field* f, const RklFieldRef* r);
// The occurrences of a field as strings, or as numbers.
RklValue resolve(const RklFieldRef* r, bool numbers);
// A field reference resolved (numbers with the qualifier n); other values
// as they are.
RklValue resolved(const RklValue& v);
RklValue to_strings(const RklValue& v);
RklValue to_numbers(const RklValue& v);
inline bool numeric(const RklValue& v) {
    return v.kind == RKL_NUMBERS ||
           (v.kind == RKL_FIELD_REF && (static_cast<RklFieldRef*>(v.items)->flags & RKL_NUMERIC));
}
inline wchar_t** strings(const RklValue& v) { return static_cast<wchar_t**>(v.items); }
inline double* numbers(const RklValue& v) { return static_cast<double*>(v.items); }
inline RklValue empty_strings() { return RklValue{RKL_STRINGS, 0, nullptr}; }
RklValue one_number(double x);
// x truncated toward zero, not-a-number taken as 0 (INT, MOD).
inline double truncated(double x) { return x == x ? __builtin_trunc(x) : 0; }
RklValue one_string(const wchar_t* s);

RklValue eval(RklNode* n);
// Loop turns in this record, for rkl.loop_limit.
extern long loop_turns;

// The match context: the subject and where the last match lay in it.
struct MatchContext {
    const wchar_t* subject;  // null: no match in this record
    size_t start, end;
};
extern MatchContext match;
// Records a successful match of expr in subject; a subject in the value
// area is copied first, since values do not outlive their statement.
void set_match(const wregexp* expr, const wchar_t* subject);

// Patterns for matching: a pattern list as it is, anything else compiled
// from its strings (a failing pattern is reported and left out). Compiled
// patterns are freed by free_patterns unless `v` was already a pattern list.
RklValue compile_patterns(const RklValue& v);
void free_patterns(const RklValue& compiled, const RklValue& source);
extern wregexp** live_patterns;
extern size_t live_count;
// Where regular-expression errors of the engine are told: load time, a
// pattern being compiled (with its text), or matching.
extern const wchar_t* compiling_pattern;

// Zero divisions of the operation under way, reported once after it.
extern bool zero_division;
void report_zero_division();

// Built-ins: functions and specials, substitution, QX.
RklValue eval_function(RklNode* n);
RklValue eval_special(RklNode* n);
RklValue eval_substitution(RklNode* n);
RklValue run_qx(const RklValue& operand);

// The result kind of a node: RKL_NUMBERS, RKL_STRINGS or RKL_NO_VALUE
// (not known).
int32_t result_kind(const RklNode* n);

}  // namespace rkl_detail
