// Evaluating an Rkl program against one record: values and conversions,
// truth, comparison, inclusion, matching, ranges, arithmetic, joining,
// indexing and assignment.
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "eval_internal.h"

RklRun rkl;

namespace rkl_detail {

long loop_turns = 0;
Area* value_area = &rkl.values;
Area* string_area = &rkl.strings;
MatchContext match;
bool zero_division = false;
const wchar_t* compiling_pattern = nullptr;

int relocate_values(void* values, void* count, Area* area) {
    RklValue* v = static_cast<RklValue*>(values);
    int32_t n = *static_cast<int32_t*>(count);
    for (int32_t i = 0; i < n; ++i) {
        if (v[i].kind == RKL_FIELD_REF || v[i].items == nullptr) continue;
        v[i].items = area_relocate(v[i].items, area);
        if (v[i].kind == RKL_STRINGS) {
            wchar_t** s = strings(v[i]);
            for (int32_t k = 0; k < v[i].count; ++k) s[k] = static_cast<wchar_t*>(area_relocate(s[k], area));
        }
    }
    return 0;
}

RklValue new_list(int32_t kind, int32_t n) {
    size_t size = kind == RKL_NUMBERS ? sizeof(double) : sizeof(void*);
    area_align(alignof(double), value_area);
    void* items = n ? area_alloc(size_t(n) * size, value_area) : nullptr;
    return RklValue{kind, n, items};
}

wchar_t* copy_text(const wchar_t* text, size_t n, Area* area) {
    // The text may lie in the area itself, which may move: it is found
    // again at its offset (these areas are filled from their base).
    const char* p = reinterpret_cast<const char*>(text);
    bool inside = p >= area->base && p < area->limit;
    size_t offset = size_t(p - area->base);
    area_align(alignof(wchar_t), area);
    wchar_t* s = static_cast<wchar_t*>(area_alloc((n + 1) * sizeof(wchar_t), area));
    if (inside) text = reinterpret_cast<const wchar_t*>(area->base + offset);
    std::wmemcpy(s, text, n);
    s[n] = 0;
    return s;
}

RklValue one_number(double x) {
    RklValue v = new_list(RKL_NUMBERS, 1);
    numbers(v)[0] = x;
    return v;
}

RklValue one_string(const wchar_t* s) {
    RklValue v = new_list(RKL_STRINGS, 1);
    strings(v)[0] = const_cast<wchar_t*>(s);
    return v;
}

bool is_field(const Field* f, const RklFieldRef* r) {
    return f->start[0] == r->name[0] && f->end - f->start >= r->length &&
           std::wmemcmp(f->start, r->name, size_t(r->length)) == 0;
}

RklValue resolve(const RklFieldRef* r, bool numbers) {
    size_t size = numbers ? sizeof(double) : sizeof(wchar_t*);
    area_align(alignof(double), value_area);
    RklValue v{numbers ? RKL_NUMBERS : RKL_STRINGS, 0, nullptr};
    Relocated<void> cell(&v.items, value_area);
    for (const Field* f = rkl.record; f->start; ++f) {
        if (!is_field(f, r)) continue;
        void* cell = area_extend(size, &v.items, value_area);
        if (numbers) {
            double x = parse_number(f->value);
            std::memcpy(cell, &x, sizeof x);
        } else {
            std::memcpy(cell, &f->value, sizeof f->value);
        }
        ++v.count;
    }
    return v;
}

RklValue resolved(const RklValue& v) {
    if (v.kind != RKL_FIELD_REF) return v;
    const RklFieldRef* r = static_cast<RklFieldRef*>(v.items);
    return resolve(r, r->flags & RKL_NUMERIC);
}

RklValue to_strings(const RklValue& v) {
    if (v.kind == RKL_STRINGS) return v;
    if (v.kind == RKL_FIELD_REF) return resolve(static_cast<RklFieldRef*>(v.items), false);
    if (v.kind != RKL_NUMBERS) return empty_strings();
    RklValue source = v;
    RklValue r{RKL_STRINGS, 0, nullptr};
    int32_t held = 2;
    RklValue both[2] = {source, r};
    Hold hold(both, &held);
    both[1] = new_list(RKL_STRINGS, source.count);
    both[1].count = 0;  // the strings made so far
    for (int32_t i = 0; i < source.count; ++i) {
        char buf[NUMBER_BUF];
        format_number(buf, numbers(both[0])[i]);
        size_t n = std::strlen(buf);
        area_align(alignof(wchar_t), value_area);
        wchar_t* s = static_cast<wchar_t*>(area_alloc((n + 1) * sizeof(wchar_t), value_area));
        for (size_t k = 0; k <= n; ++k) s[k] = wchar_t(static_cast<unsigned char>(buf[k]));
        strings(both[1])[i] = s;
        both[1].count = i + 1;
    }
    both[1].count = source.count;
    return both[1];
}

RklValue to_numbers(const RklValue& v) {
    if (v.kind == RKL_NUMBERS) return v;
    if (v.kind == RKL_FIELD_REF) return resolve(static_cast<RklFieldRef*>(v.items), true);
    if (v.kind != RKL_STRINGS) return RklValue{RKL_NUMBERS, 0, nullptr};
    int32_t held = 1;
    RklValue source = v;
    Hold hold(&source, &held);
    RklValue r = new_list(RKL_NUMBERS, source.count);
    for (int32_t i = 0; i < source.count; ++i) numbers(r)[i] = parse_number(strings(source)[i]);
    return r;
}

void report_zero_division() {
    if (!zero_division) return;
    zero_division = false;
    if (input_name && !rkl.loading && !rkl.final_pass)
        warn(WARN_ERROR, "zero division at %s(%d).\n", input_name, input_number);
    else
        warn(WARN_ERROR, "zero division.\n");
}

void set_match(const wregexp* expr, const wchar_t* subject) {
    size_t start = size_t(expr->match_start[0] - subject);
    size_t end = size_t(expr->match_end[0] - subject);
    const char* p = reinterpret_cast<const char*>(subject);
    Area* a = value_area;
    if (p >= a->base && p < a->limit) subject = copy_text(subject, std::wcslen(subject), string_area);
    match = MatchContext{subject, start, end};
}

// Patterns compiled while a record is evaluated, until they are freed: what
// a program stopped in between leaves is freed by rkl_reset.
wregexp** live_patterns = nullptr;
size_t live_count = 0, live_capacity = 0;

static void note_live(wregexp* e) {
    if (live_count == live_capacity) {
        live_capacity = live_capacity ? 2 * live_capacity : 16;
        live_patterns = static_cast<wregexp**>(checked_realloc(live_patterns, live_capacity * sizeof(wregexp*)));
    }
    live_patterns[live_count++] = e;
}

static void free_live(wregexp* e) {
    for (size_t i = live_count; i-- > 0;)
        if (live_patterns[i] == e) {
            live_patterns[i] = live_patterns[--live_count];
            break;
        }
    std::free(e);
}

RklValue compile_patterns(const RklValue& v) {
    if (v.kind == RKL_PATTERNS) return v;
    int32_t held = 1;
    RklValue source = to_strings(v);
    Hold hold(&source, &held);
    RklValue r = new_list(RKL_PATTERNS, source.count);
    int32_t n = 0;
    for (int32_t i = 0; i < source.count; ++i) {
        compiling_pattern = strings(source)[i];
        wregexp* e = wregcomp(strings(source)[i]);
        compiling_pattern = nullptr;
        if (e == nullptr) continue;
        // Constants compiled at load time are kept by the tree instead.
        if (!rkl.loading) note_live(e);
        static_cast<wregexp**>(r.items)[n++] = e;
    }
    r.count = n;
    return r;
}

void free_patterns(const RklValue& compiled, const RklValue& source) {
    if (source.kind == RKL_PATTERNS) return;
    for (int32_t i = 0; i < compiled.count; ++i) free_live(static_cast<wregexp**>(compiled.items)[i]);
}

}  // namespace rkl_detail

using namespace rkl_detail;

// ---------------------------------------------------------------------------
// Truth.

static bool string_true(const wchar_t* s) { return !(s[0] == 0 || (s[0] == L'0' && s[1] == 0)); }

bool rkl_true(const RklValue& v) {
    switch (v.kind) {
    case RKL_FIELD_REF: {
        const RklFieldRef* r = static_cast<RklFieldRef*>(v.items);
        const Field* one = nullptr;
        for (const Field* f = rkl.record; f->start; ++f) {
            if (!is_field(f, r)) continue;
            if (one) return true;
            one = f;
        }
        if (one == nullptr) return false;
        if (r->flags & RKL_NUMERIC) return parse_number(one->value) != 0;
        return string_true(one->value);
    }
    case RKL_NUMBERS:
        return v.count >= 2 || (v.count == 1 && numbers(v)[0] != 0);
    case RKL_STRINGS:
        return v.count >= 2 || (v.count == 1 && string_true(strings(v)[0]));
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// Comparison and inclusion.

namespace {

// The sign of a comparison where NaN meets a number: no order holds, the
// two are only unequal.
const int UNORDERED = 2;

int sign(double a, double b) {
    if (a != a || b != b) return UNORDERED;
    return a < b ? -1 : a > b ? 1 : 0;
}

// The element-by-element comparison of two resolved lists.
int compare_lists(const RklValue& a, const RklValue& b, bool by_number) {
    int32_t n = a.count < b.count ? a.count : b.count;
    if (by_number) {
        for (int32_t i = 0; i < n; ++i) {
            double x = a.kind == RKL_NUMBERS ? numbers(a)[i] : parse_number(strings(a)[i]);
            double y = b.kind == RKL_NUMBERS ? numbers(b)[i] : parse_number(strings(b)[i]);
            if (int s = sign(x, y)) return s;
        }
    } else {
        for (int32_t i = 0; i < n; ++i)
            if (int s = std::wcscmp(strings(a)[i], strings(b)[i])) return s < 0 ? -1 : 1;
    }
    return a.count < b.count ? -1 : a.count > b.count ? 1 : 0;
}

bool element_equal(const RklValue& a, int32_t i, const RklValue& b, int32_t k, bool by_number) {
    if (by_number) {
        double x = a.kind == RKL_NUMBERS ? numbers(a)[i] : parse_number(strings(a)[i]);
        double y = b.kind == RKL_NUMBERS ? numbers(b)[k] : parse_number(strings(b)[k]);
        return x == y;
    }
    return std::wcscmp(strings(a)[i], strings(b)[k]) == 0;
}

// A value as a list for comparing: field references resolved (numbers with
// the qualifier n), patterns taken as no elements.
RklValue comparable(const RklValue& v) {
    if (v.kind == RKL_FIELD_REF) return resolved(v);
    if (v.kind == RKL_STRINGS || v.kind == RKL_NUMBERS) return v;
    return empty_strings();
}

// The occurrences of a numeric field compared with one number: the common
// case (price:n GT 100), without building the list of occurrences.
bool compare_field_with_number(const RklFieldRef* r, double y, int* result) {
    const Field* one = nullptr;
    for (const Field* f = rkl.record; f->start; ++f) {
        if (!is_field(f, r)) continue;
        if (one) return false;
        one = f;
    }
    *result = one ? sign(parse_number(one->value), y) : -1;
    return true;
}

bool compare_field_with_string(const RklFieldRef* r, const wchar_t* y, int* result) {
    const Field* one = nullptr;
    for (const Field* f = rkl.record; f->start; ++f) {
        if (!is_field(f, r)) continue;
        if (one) return false;
        one = f;
    }
    if (one == nullptr) *result = -1;
    else if (int s = std::wcscmp(one->value, y)) *result = s < 0 ? -1 : 1;
    else *result = 0;
    return true;
}

bool comparison_holds(int kind, int s) {
    if (s == UNORDERED) return kind == RKL_NE;
    switch (kind) {
    case RKL_EQ: return s == 0;
    case RKL_NE: return s != 0;
    case RKL_GT: return s > 0;
    case RKL_GE: return s >= 0;
    case RKL_LT: return s < 0;
    default: return s <= 0;
    }
}

int compare_values(RklValue* ops) {
    bool by_number = numeric(ops[0]) || numeric(ops[1]);
    // A single field against a single constant: most conditions.
    if (ops[0].kind == RKL_FIELD_REF && ops[1].count == 1) {
        const RklFieldRef* r = static_cast<RklFieldRef*>(ops[0].items);
        int s;
        if (ops[1].kind == RKL_NUMBERS && compare_field_with_number(r, numbers(ops[1])[0], &s)) return s;
        if (ops[1].kind == RKL_STRINGS && !by_number && compare_field_with_string(r, strings(ops[1])[0], &s))
            return s;
    }
    ops[0] = comparable(ops[0]);
    ops[1] = comparable(ops[1]);
    return compare_lists(ops[0], ops[1], by_number);
}

bool includes(RklValue* ops) {
    bool by_number = numeric(ops[0]) || numeric(ops[1]);
    ops[0] = comparable(ops[0]);
    ops[1] = comparable(ops[1]);
    for (int32_t k = 0; k < ops[1].count; ++k) {
        bool found = false;
        for (int32_t i = 0; i < ops[0].count && !found; ++i) found = element_equal(ops[0], i, ops[1], k, by_number);
        if (!found) return false;
    }
    return true;
}

// LIKE (true at the first pair that matches) and UNLIKE (true at the first
// pair that does not).
bool matches(RklValue* ops, bool like) {
    ops[0] = to_strings(ops[0]);
    RklValue source = ops[1];
    ops[1] = compile_patterns(ops[1]);
    bool result = false;
    for (int32_t i = 0; i < ops[0].count && !result; ++i) {
        const wchar_t* subject = strings(ops[0])[i];
        for (int32_t k = 0; k < ops[1].count; ++k) {
            wregexp* e = static_cast<wregexp**>(ops[1].items)[k];
            bool m = wregexec(e, subject) == 1;
            if (m) set_match(e, subject);
            if (m == like) {
                result = true;
                break;
            }
        }
    }
    free_patterns(ops[1], source);
    return result;
}

// ---------------------------------------------------------------------------
// Lists: `,`, `..`, arithmetic, joining, indexing.

RklValue concatenate(RklValue* ops) {
    ops[0] = resolved(ops[0]);
    ops[1] = resolved(ops[1]);
    if (ops[0].kind == RKL_PATTERNS || ops[0].kind == RKL_NO_VALUE) ops[0] = empty_strings();
    if (ops[1].kind != ops[0].kind) ops[1] = ops[0].kind == RKL_NUMBERS ? to_numbers(ops[1]) : to_strings(ops[1]);
    RklValue r = new_list(ops[0].kind, ops[0].count + ops[1].count);
    size_t size = ops[0].kind == RKL_NUMBERS ? sizeof(double) : sizeof(void*);
    if (ops[0].count) std::memcpy(r.items, ops[0].items, size * size_t(ops[0].count));
    if (ops[1].count)
        std::memcpy(static_cast<char*>(r.items) + size * size_t(ops[0].count), ops[1].items,
                    size * size_t(ops[1].count));
    return r;
}

RklValue range(RklValue* ops) {
    ops[0] = to_numbers(ops[0]);
    ops[1] = to_numbers(ops[1]);
    if (ops[0].count == 0 || ops[1].count == 0) return RklValue{RKL_NUMBERS, 0, nullptr};
    int64_t b = clamp_int32(numbers(ops[0])[ops[0].count - 1]);
    int64_t c = clamp_int32(numbers(ops[1])[0]);
    int64_t steps = c >= b ? c - b : b - c;
    int64_t total = int64_t(ops[0].count) - 1 + steps + 1 + int64_t(ops[1].count) - 1;
    if (total > INT32_MAX) fatal("can't allocate necessary memory!\n");
    RklValue r = new_list(RKL_NUMBERS, int32_t(total));
    double* out = numbers(r);
    for (int32_t i = 0; i + 1 < ops[0].count; ++i) *out++ = numbers(ops[0])[i];
    for (int64_t i = 0; i <= steps; ++i) *out++ = double(c >= b ? b + i : b - i);
    for (int32_t i = 1; i < ops[1].count; ++i) *out++ = numbers(ops[1])[i];
    return r;
}

double arithmetic(int kind, double x, double y) {
    switch (kind) {
    case RKL_PLUS: return x + y;
    case RKL_MINUS: return x - y;
    case RKL_TIMES: return x * y;
    case RKL_DIVIDEDBY:
        if (y == 0) {
            zero_division = true;
            return HUGE_VAL;
        }
        return x / y;
    case RKL_MOD: {
        double a = truncated(x), b = truncated(y);
        if (b == 0) {
            zero_division = true;
            return a;
        }
        return std::fmod(a, b);  // exact, with the sign of a
    }
    default: return std::pow(x, y);
    }
}

// The number of results of an element-wise operation and the pairing.
int32_t paired_count(const RklValue& a, const RklValue& b) {
    if (a.count == 0 || b.count == 0) return 0;
    if (a.count == 1) return b.count;
    if (b.count == 1) return a.count;
    return a.count < b.count ? a.count : b.count;
}
inline int32_t pick(const RklValue& v, int32_t i) { return v.count == 1 ? 0 : i; }

RklValue calculate(int kind, RklValue* ops) {
    ops[0] = to_numbers(ops[0]);
    ops[1] = to_numbers(ops[1]);
    int32_t n = paired_count(ops[0], ops[1]);
    RklValue r = new_list(RKL_NUMBERS, n);
    for (int32_t i = 0; i < n; ++i)
        numbers(r)[i] = arithmetic(kind, numbers(ops[0])[pick(ops[0], i)], numbers(ops[1])[pick(ops[1], i)]);
    report_zero_division();
    return r;
}

RklValue join(RklValue* ops, int32_t* held) {
    ops[0] = to_strings(ops[0]);
    ops[1] = to_strings(ops[1]);
    int32_t n = ops[0].count > ops[1].count ? ops[0].count : ops[1].count;
    ops[2] = new_list(RKL_STRINGS, n);
    ops[2].count = 0;
    *held = 3;
    for (int32_t i = 0; i < n; ++i) {
        // Beyond the shorter list the other's elements go on alone.
        const wchar_t* a = ops[0].count == 1 ? strings(ops[0])[0] : i < ops[0].count ? strings(ops[0])[i] : L"";
        const wchar_t* b = ops[1].count == 1 ? strings(ops[1])[0] : i < ops[1].count ? strings(ops[1])[i] : L"";
        size_t la = std::wcslen(a), lb = std::wcslen(b);
        area_align(alignof(wchar_t), value_area);
        wchar_t* s = static_cast<wchar_t*>(area_alloc((la + lb + 1) * sizeof(wchar_t), value_area));
        // The allocation may have moved the operands: take them again.
        a = ops[0].count == 1 ? strings(ops[0])[0] : i < ops[0].count ? strings(ops[0])[i] : L"";
        b = ops[1].count == 1 ? strings(ops[1])[0] : i < ops[1].count ? strings(ops[1])[i] : L"";
        std::wmemcpy(s, a, la);
        std::wmemcpy(s + la, b, lb);
        s[la + lb] = 0;
        strings(ops[2])[i] = s;
        ops[2].count = i + 1;
    }
    return ops[2];
}

RklValue index_list(RklValue* ops) {
    ops[0] = resolved(ops[0]);
    ops[1] = to_numbers(ops[1]);
    if (ops[0].kind != RKL_NUMBERS && ops[0].kind != RKL_STRINGS) return empty_strings();
    RklValue r = new_list(ops[0].kind, ops[1].count);
    size_t size = ops[0].kind == RKL_NUMBERS ? sizeof(double) : sizeof(void*);
    int32_t n = 0;
    for (int32_t i = 0; i < ops[1].count; ++i) {
        int32_t k = clamp_int32(numbers(ops[1])[i]);
        if (k < 0 || k >= ops[0].count) continue;
        std::memcpy(static_cast<char*>(r.items) + size * size_t(n++), static_cast<char*>(ops[0].items) + size * size_t(k),
                    size);
    }
    r.count = n;
    return r;
}

// ---------------------------------------------------------------------------
// Control.

bool loop_may_go_on() { return rkl.loop_limit == 0 || ++loop_turns <= rkl.loop_limit; }

// Everything allocated in the value area after `mark` given back.
void drop_values_to(size_t mark) {
    Area* a = value_area;
    if (size_t(a->head - a->base) > mark) a->head = a->base + mark;
}
size_t value_mark() { return size_t(value_area->head - value_area->base); }

RklValue eval_while(RklNode* n) {
    size_t mark = value_mark();
    RklValue v = eval(n->left);
    if (!rkl_true(v)) return v;
    RklValue body{RKL_NO_VALUE, 0, nullptr};
    int32_t held = 1;
    Hold hold(&body, &held);
    do {
        // The last turn's value goes with the storage given back.
        body = RklValue{RKL_NO_VALUE, 0, nullptr};
        drop_values_to(mark);
        body = eval(n->right);
        size_t after = value_mark();
        bool again = rkl_true(eval(n->left));
        drop_values_to(after);
        if (!again) break;
    } while (loop_may_go_on());
    return body;
}

}  // namespace

void rkl_assign_variable(RklVariable* var, const RklValue& value);

namespace {

RklValue eval_for(RklNode* n) {
    RklValue ops[2] = {eval(n->left), {RKL_NO_VALUE, 0, nullptr}};
    int32_t held = 2;
    Hold hold(ops, &held);
    if (ops[0].kind == RKL_FIELD_REF) ops[0] = to_strings(ops[0]);
    if (ops[0].kind != RKL_STRINGS && ops[0].kind != RKL_NUMBERS) ops[0] = empty_strings();
    if (ops[0].count == 0) return ops[0];
    RklVariable* var = reinterpret_cast<RklVariable*>(n->right->left->left);
    size_t mark = value_mark();
    for (int32_t i = 0; i < ops[0].count && loop_may_go_on(); ++i) {
        ops[1] = RklValue{RKL_NO_VALUE, 0, nullptr};
        drop_values_to(mark);
        size_t size = ops[0].kind == RKL_NUMBERS ? sizeof(double) : sizeof(void*);
        RklValue one{ops[0].kind, 1, static_cast<char*>(ops[0].items) + size * size_t(i)};
        rkl_assign_variable(var, one);
        ops[1] = eval(n->right->right);
    }
    return ops[1];
}

}  // namespace

// Declared in assign.cpp.
RklValue rkl_eval_assignment(RklNode* n);

// The stack room left for nesting; deeper evaluation ends the program
// rather than the stack.
char* rkl_stack_floor = nullptr;

namespace rkl_detail {

namespace {

// A STATIC's block is replaced on assignment: the value in use is a copy
// that lives as long as the other values.
RklValue static_copy(const RklVariable* var) {
    RklValue v = new_list(var->value.kind, var->value.count);
    if (v.kind == RKL_NUMBERS) {
        if (v.count) std::memcpy(v.items, var->value.items, sizeof(double) * size_t(v.count));
        return v;
    }
    int32_t held = 1;
    v.count = 0;
    Hold hold(&v, &held);
    for (int32_t i = 0; i < var->value.count; ++i) {
        const wchar_t* s = strings(var->value)[i];
        wchar_t* c = copy_text(s, std::wcslen(s), value_area);
        strings(v)[i] = c;
        v.count = i + 1;
    }
    v.count = var->value.count;
    return v;
}

// An operator of two operands: both evaluated, left first, and held while
// the result is made.
RklValue eval_binary(RklNode* n) {
    RklValue ops[3] = {eval(n->left), {RKL_NO_VALUE, 0, nullptr}, {RKL_NO_VALUE, 0, nullptr}};
    int32_t held = 1;
    Hold hold(ops, &held);
    ops[1] = eval(n->right);
    held = 2;
    switch (n->kind) {
    case RKL_EQ: case RKL_NE: case RKL_GT: case RKL_GE: case RKL_LT: case RKL_LE:
        return one_number(comparison_holds(n->kind, compare_values(ops)));
    case RKL_INCL:
        return one_number(includes(ops));
    case RKL_LIKE:
    case RKL_UNLIKE:
        return one_number(matches(ops, n->kind == RKL_LIKE));
    case RKL_COMMA:
        return concatenate(ops);
    case RKL_RANGE:
        return range(ops);
    case RKL_PLUS: case RKL_MINUS: case RKL_TIMES: case RKL_DIVIDEDBY: case RKL_MOD: case RKL_POWER:
        return calculate(n->kind, ops);
    case RKL_DOT:
        return join(ops, &held);
    case RKL_LBRACKET:
        return index_list(ops);
    default:
        fatal("program error (eval).\n");
    }
}

}  // namespace

// The leaves first (constants, fields, variables), which need no stack
// check; then statements and control, functions, and operators.
RklValue eval(RklNode* n) {
    switch (n->kind) {
    case RKL_CONST:
        return *reinterpret_cast<RklValue*>(n->left);
    case RKL_FIELD:
        return RklValue{RKL_FIELD_REF, 1, n->left};
    case RKL_VAR:
    case RKL_STATIC: {
        RklVariable* var = reinterpret_cast<RklVariable*>(n->left);
        if (!var->assigned) return empty_strings();
        return var->kind == RKL_VAR ? var->value : static_copy(var);
    }
    default:
        break;
    }
    if (reinterpret_cast<char*>(__builtin_frame_address(0)) < rkl_stack_floor)
        fatal("program error (the program is nested too deeply for the stack).\n");
    switch (n->kind) {
    case RKL_SEMICOLON: {
        // A chain of statements: each value but the last is not needed.
        size_t mark = value_mark();
        for (;;) {
            eval(n->left);
            drop_values_to(mark);
            n = n->right;
            if (n->kind != RKL_SEMICOLON) return eval(n);
        }
    }
    case RKL_ASSIGN:
        return rkl_eval_assignment(n);
    case RKL_OR:
    case RKL_AND: {
        RklValue v = eval(n->left);
        if (rkl_true(v) == (n->kind == RKL_OR)) return v;
        return eval(n->right);
    }
    case RKL_NOT:
        return one_number(rkl_true(eval(n->left)) ? 0 : 1);
    case RKL_IF:
    case RKL_ELIF: {
        RklValue c = eval(n->left);
        if (rkl_true(c)) return eval(n->right->left);
        if (n->right->right) return eval(n->right->right);
        return c;
    }
    case RKL_WHILE:
        return eval_while(n);
    case RKL_FOR:
        return eval_for(n);
    case RKL_SUBST:
    case RKL_SUBSTG:
        return eval_substitution(n);
    default:
        break;
    }
    if (n->kind >= RKL_EXISTS && n->kind <= RKL_STR) return eval_function(n);
    if (n->kind == RKL_NEGATE || n->kind == RKL_QX || (n->kind == RKL_POWER && n->right == nullptr))
        return eval_function(n);
    if (n->left == nullptr) return eval_special(n);
    return eval_binary(n);
}

}  // namespace rkl_detail
