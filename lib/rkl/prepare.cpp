// After parsing: the depth of the tree, the load-time simplification, the
// evaluation areas; then the evaluation of each record.
#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "eval_internal.h"

using namespace rkl_detail;

extern char* rkl_stack_floor;

namespace {

bool is_leaf(const RklNode* n) {
    return n->kind == RKL_CONST || n->kind == RKL_FIELD || n->kind == RKL_VAR || n->kind == RKL_STATIC ||
           (n->left == nullptr && n->right == nullptr);
}

// An explicit stack for walking trees of any depth.
// (Its storage is kept from walk to walk; walks do not nest.)
struct WalkStep {
    RklNode* node;
    int state;
};
WalkStep* walk_steps = nullptr;
size_t walk_capacity = 0;
struct Walk {
    using Step = WalkStep;
    Step*& steps = walk_steps;
    size_t used = 0;
    void push(RklNode* n) {
        if (used == walk_capacity) {
            walk_capacity = walk_capacity ? 2 * walk_capacity : 256;
            walk_steps = static_cast<Step*>(checked_realloc(walk_steps, walk_capacity * sizeof(Step)));
        }
        walk_steps[used++] = Step{n, 0};
    }
};

int32_t depth_of(const RklNode* n) { return n ? n->depth : 0; }

// Calls fn for every node, its operands before it, without recursion.
template <typename Fn>
void each_node_bottom_up(RklNode* root, Fn fn) {
    Walk w;
    w.push(root);
    while (w.used) {
        Walk::Step& s = w.steps[w.used - 1];
        RklNode* n = s.node;
        if (!is_leaf(n) && s.state < 2) {
            RklNode* operand = s.state++ == 0 ? n->left : n->right;
            if (operand) w.push(operand);
            continue;
        }
        --w.used;
        fn(n);
    }
}

}  // namespace

int32_t rkl_depth(RklNode* root) {
    if (root == nullptr) return 0;
    each_node_bottom_up(root, [](RklNode* n) {
        if (is_leaf(n)) {
            n->depth = 1;
            return;
        }
        int32_t l = depth_of(n->left), r = depth_of(n->right);
        // A chain of `;` counts as its deepest statement plus one.
        if (n->kind == RKL_SEMICOLON && n->right && n->right->kind == RKL_SEMICOLON) --r;
        n->depth = (l > r ? l : r) + 1;
    });
    return root->depth;
}

void rkl_each_node(RklNode* root, void (*fn)(RklNode* node, void* data), void* data) {
    if (root == nullptr) return;
    Walk w;
    w.push(root);
    while (w.used) {
        RklNode* n = w.steps[--w.used].node;
        fn(n, data);
        if (is_leaf(n)) continue;
        if (n->right) w.push(n->right);
        if (n->left) w.push(n->left);
    }
}

// ---------------------------------------------------------------------------
// Load-time simplification.

namespace {

Field no_fields[1] = {{nullptr, nullptr, nullptr}};

bool is_constant(const RklNode* n) { return n && n->kind == RKL_CONST; }
RklValue& constant(RklNode* n) { return *reinterpret_cast<RklValue*>(n->left); }
bool string_constant(const RklNode* n) { return is_constant(n) && constant(const_cast<RklNode*>(n)).kind == RKL_STRINGS; }

// A value copied out of the scratch areas into a heap block of its own, for
// the whole run.
// Every block kept, for rkl_reset: the link comes first, the value after it.
struct Kept {
    Kept* next;
    RklValue value;
};
Kept* kept = nullptr;

RklValue* keep(const RklValue& v) {
    size_t size = sizeof(Kept);
    size_t element = v.kind == RKL_NUMBERS ? sizeof(double) : sizeof(void*);
    size += element * size_t(v.count);
    if (v.kind == RKL_STRINGS)
        for (int32_t i = 0; i < v.count; ++i) size += (std::wcslen(strings(v)[i]) + 1) * sizeof(wchar_t);
    char* block = static_cast<char*>(checked_malloc(size));
    Kept* k = reinterpret_cast<Kept*>(block);
    k->next = kept;
    kept = k;
    RklValue* r = &k->value;
    *r = RklValue{v.kind, v.count, v.count ? block + sizeof(Kept) : nullptr};
    if (v.count) std::memcpy(r->items, v.items, element * size_t(v.count));
    if (v.kind == RKL_STRINGS) {
        wchar_t* text = reinterpret_cast<wchar_t*>(block + sizeof(Kept) + element * size_t(v.count));
        for (int32_t i = 0; i < v.count; ++i) {
            size_t n = std::wcslen(strings(v)[i]) + 1;
            std::wmemcpy(text, strings(v)[i], n);
            strings(*r)[i] = text;
            text += n;
        }
    }
    return r;
}

void make_constant(RklNode* n, const RklValue& v) {
    RklValue value = v;
    if (value.kind != RKL_STRINGS && value.kind != RKL_NUMBERS && value.kind != RKL_PATTERNS)
        value = empty_strings();
    n->kind = RKL_CONST;
    n->left = reinterpret_cast<RklNode*>(keep(value));
    n->right = nullptr;
    area_reset(value_area);
    area_reset(string_area);
}

void constant_to_numbers(RklNode* n) {
    if (string_constant(n)) make_constant(n, to_numbers(constant(n)));
}

void constant_to_patterns(RklNode* n) {
    if (string_constant(n)) make_constant(n, compile_patterns(constant(n)));
}

bool foldable(const RklNode* n) {
    if (is_leaf(n) || n->kind == RKL_THEN || n->kind == RKL_BY || n->kind == RKL_IN) return false;
    if (n->left && !is_constant(n->left)) return false;
    if (n->right && !is_constant(n->right)) return false;
    return true;
}

void simplify_node(RklNode* n) {
    switch (n->kind) {
    case RKL_OR:
    case RKL_AND:
        if (is_constant(n->left)) {
            bool take_left = rkl_true(constant(n->left)) == (n->kind == RKL_OR);
            *n = take_left ? *n->left : *n->right;
            return;
        }
        break;
    case RKL_EQ: case RKL_NE: case RKL_GT: case RKL_GE: case RKL_LT: case RKL_LE: case RKL_INCL:
        if (string_constant(n->left) && result_kind(n->right) == RKL_NUMBERS) constant_to_numbers(n->left);
        if (string_constant(n->right) && result_kind(n->left) == RKL_NUMBERS) constant_to_numbers(n->right);
        break;
    case RKL_LIKE:
    case RKL_UNLIKE:
        constant_to_patterns(n->right);
        break;
    case RKL_BY:
        constant_to_patterns(n->left);
        break;
    case RKL_PLUS: case RKL_MINUS: case RKL_TIMES: case RKL_DIVIDEDBY: case RKL_MOD: case RKL_POWER:
        if (n->right) {
            constant_to_numbers(n->left);
            constant_to_numbers(n->right);
        }
        break;
    case RKL_DOT:
        for (RklNode* side : {n->left, n->right})
            if (is_constant(side) && constant(side).kind == RKL_NUMBERS) make_constant(side, to_strings(constant(side)));
        break;
    default:
        break;
    }
    if (foldable(n)) {
        RklValue v = eval(n);
        make_constant(n, v);
    }
}

// Bottom up: the operands of a node are simplified before it.
void simplify(RklNode* root) {
    each_node_bottom_up(root, [](RklNode* n) {
        if (!is_leaf(n)) simplify_node(n);
    });
}

// Pointers into the string area held beyond one value: the record's new
// field texts and the match context.
int relocate_record_strings(void*, void*, Area* area) {
    if (rkl.record) for_each_field_pointer(rkl.record, record_end(rkl.record), [&](wchar_t*& p) {
        p = static_cast<wchar_t*>(area_relocate(p, area));
    });
    match.subject = static_cast<const wchar_t*>(area_relocate(match.subject, area));
    return 0;
}

// VAR values live in the lsize area.
int relocate_variables(void*, void*, Area* area) {
    for (RklVariable* v = rkl_variables; v; v = v->next) {
        if (v->kind != RKL_VAR || !v->assigned) continue;
        int32_t one = 1;
        relocate_values(&v->value, &one, area);
    }
    match.subject = static_cast<const wchar_t*>(area_relocate(match.subject, area));
    return 0;
}

void create(int32_t kb, const char* name, Area* area) { area_create_doubling(kb, name, area); }

}  // namespace

namespace rkl_detail {

int32_t result_kind(const RklNode* n) {
    switch (n->kind) {
    case RKL_CONST: {
        int32_t k = reinterpret_cast<const RklValue*>(n->left)->kind;
        return k == RKL_NUMBERS || k == RKL_STRINGS ? k : RKL_NO_VALUE;
    }
    case RKL_FIELD:
        return (reinterpret_cast<const RklFieldRef*>(n->left)->flags & RKL_NUMERIC) ? RKL_NUMBERS : RKL_STRINGS;
    case RKL_ABS: case RKL_ATAN: case RKL_AVG: case RKL_COS: case RKL_COUNT: case RKL_DIVIDEDBY:
    case RKL_EPILOGUE: case RKL_EQ: case RKL_EXISTS: case RKL_EXP: case RKL_FNR: case RKL_GE: case RKL_GT:
    case RKL_INCL: case RKL_INT: case RKL_LE: case RKL_LENGTH: case RKL_LIKE: case RKL_LOG: case RKL_LOG10:
    case RKL_LT: case RKL_MAX: case RKL_MIN: case RKL_MINUS: case RKL_MOD: case RKL_NE: case RKL_NOT:
    case RKL_NR: case RKL_NUM: case RKL_OUTPUT: case RKL_PLUS: case RKL_POWER: case RKL_RANGE: case RKL_SIN:
    case RKL_SQRT: case RKL_STATUS: case RKL_SUM: case RKL_TAN: case RKL_TIMES: case RKL_UNLIKE: case RKL_NEGATE:
        return RKL_NUMBERS;
    case RKL_CAPS: case RKL_CAT: case RKL_DOT: case RKL_FIELDS: case RKL_FILENAME: case RKL_LOCALE: case RKL_MATCH:
    case RKL_POSTMATCH: case RKL_PREMATCH: case RKL_QX: case RKL_STR: case RKL_SUBST: case RKL_SUBSTG:
        return RKL_STRINGS;
    default:
        return RKL_NO_VALUE;
    }
}

}  // namespace rkl_detail

RklNode* rkl_prepare(RklNode* root, Area* table, const RklSizes& sizes) {
    if (rkl.run_command == nullptr) rkl.run_command = rkl_shell_command;
    rkl.table = table;
    area_push_pact(0, relocate_pair, &rkl.record, nullptr, table);
    int32_t depth = rkl_depth(root);
    if (depth > RKL_MAX_DEPTH)
        warn(WARN_ERROR, "the program is nested too deeply (%d levels, at most %d).\n", depth, RKL_MAX_DEPTH);
    // Evaluation keeps the values of each level registered on the areas.
    int32_t saved = pact_capacity[0];
    pact_capacity[0] = (depth > RKL_MAX_DEPTH ? RKL_MAX_DEPTH : depth) + 6;
    create(sizes.vsize, "vsize", &rkl.values);
    create(sizes.wsize, "wsize", &rkl.strings);
    create(sizes.lsize, "lsize", &rkl.locals);
    create(sizes.osize, "osize", &rkl.scratch_values);
    create(sizes.qsize, "qsize", &rkl.scratch_strings);
    pact_capacity[0] = saved;
    area_push_pact(0, relocate_record_strings, nullptr, nullptr, &rkl.strings);
    area_push_pact(0, relocate_variables, nullptr, nullptr, &rkl.locals);
    area_push_pact(0, relocate_record_strings, nullptr, nullptr, &rkl.scratch_strings);
    // The stack below this frame that evaluation may use, with room to spare
    // for the library calls at the deepest level.
    struct rlimit limit;
    size_t room = 8u << 20;
    if (getrlimit(RLIMIT_STACK, &limit) == 0) {
        // A deep program gets the stack it needs (the system keeps at least
        // 128 MB below the stack for its growth), as far as the hard limit
        // allows.
        rlim_t want = rlim_t(depth) * 4096 + (rlim_t(1) << 20);
        if (want > (rlim_t(120) << 20)) want = rlim_t(120) << 20;
        if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < want) {
            rlim_t raised = limit.rlim_max == RLIM_INFINITY || limit.rlim_max > want ? want : limit.rlim_max;
            struct rlimit more = {raised, limit.rlim_max};
            if (setrlimit(RLIMIT_STACK, &more) == 0) limit.rlim_cur = raised;
        }
        if (limit.rlim_cur != RLIM_INFINITY) room = limit.rlim_cur;
    }
    if (room > (size_t(1) << 30)) room = size_t(1) << 30;
    size_t margin = room / 4 < (256u << 10) ? room / 4 : 256u << 10;
    char* here = static_cast<char*>(__builtin_frame_address(0));
    rkl_stack_floor = here - (room - margin);
    if (root == nullptr || depth > RKL_MAX_DEPTH) return root;
    // Constant parts are computed once, in the scratch areas.
    rkl.loading = true;
    value_area = &rkl.scratch_values;
    string_area = &rkl.scratch_strings;
    rkl.record = no_fields;
    simplify(root);
    value_area = &rkl.values;
    string_area = &rkl.strings;
    rkl.loading = false;
    match = MatchContext{};
    return root;
}

RklValue rkl_evaluate(RklNode* root, Field* record) {
    area_reset(&rkl.values);
    area_reset(&rkl.strings);
    area_reset(&rkl.locals);
    for (RklVariable* v = rkl_variables; v; v = v->next)
        if (v->kind == RKL_VAR) v->assigned = false;
    match = MatchContext{};
    loop_turns = 0;
    for (Field* f = record; f->start; ++f) *f->end = 0;
    rkl.record = record;
    if (root == nullptr) return RklValue{RKL_NO_VALUE, 0, nullptr};
    return eval(root);
}

void rkl_restore_newlines(Field* record) {
    for (Field* f = record; f->start; ++f) *f->end = L'\n';
}

namespace {

// A field text the program made is written only when the reader will read
// it back as the same field: an empty text would end the record, a newline
// would split it.
bool writable_field(const Field* f) {
    if (f->start == f->end) return false;
    const wchar_t* newline = std::wmemchr(f->start, L'\n', size_t(f->end - f->start));
    if (newline == nullptr) return true;
    const wchar_t* stop = f->start;
    while (stop < newline && *stop != L':') ++stop;
    int n = int(stop - f->start);
    if (input_name && !rkl.final_pass)
        warn(WARN_ERROR, "field '%.*ls' holds a newline in %s(%d), left out.\n", n, f->start, input_name, input_number);
    else
        warn(WARN_ERROR, "field '%.*ls' holds a newline, left out.\n", n, f->start);
    return false;
}

}  // namespace

void rkl_write_record(Field* record, const char* filename) {
    Field* kept = record;
    Field* f = record;
    for (; f->start; ++f)
        if (writable_field(f)) *kept++ = *f;
    *kept = *f;
    if (record->start == nullptr) return;
    write_filename(filename);
    for (f = record; f->start; ++f) {
        out_write(f->start, size_t(f->end - f->start));
        out_putwc(L'\n');
    }
    out_putwc(L'\n');
}

void rkl_regex_error(const char* message) {
    // Without an input position (loading, the final pass) the pattern alone
    // is named.
    bool placed = !rkl.loading && !rkl.final_pass && input_name;
    if (!placed && compiling_pattern)
        warn(WARN_ERROR, "regular expression error (%s) in '%ls'.\n", message, compiling_pattern);
    else if (!placed)
        warn(WARN_ERROR, "regular expression error (%s).\n", message);
    else if (compiling_pattern)
        warn(WARN_ERROR, "regular expression error (%s) in %s(%d) with '%ls'.\n", message, input_name,
             input_number, compiling_pattern);
    else
        warn(WARN_ERROR, "regular expression error (%s) in %s(%d).\n", message, input_name, input_number);
}

void rkl_reset() {
    while (live_count) std::free(live_patterns[--live_count]);
    while (kept) {
        Kept* k = kept;
        kept = k->next;
        if (k->value.kind == RKL_PATTERNS)
            for (int32_t i = 0; i < k->value.count; ++i) std::free(static_cast<wregexp**>(k->value.items)[i]);
        std::free(k);
    }
    while (rkl_variables) {
        RklVariable* v = rkl_variables;
        rkl_variables = v->next;
        std::free(v->block);
        std::free(v);
    }
    for (Area* a : {&rkl.values, &rkl.strings, &rkl.locals, &rkl.scratch_values, &rkl.scratch_strings}) area_destroy(a);
    value_area = &rkl.values;
    string_area = &rkl.strings;
    match = MatchContext{};
    RklRun fresh{};
    fresh.run_command = rkl.run_command;
    fresh.loop_limit = rkl.loop_limit;
    fresh.exit_program = rkl.exit_program;
    rkl = fresh;
}
