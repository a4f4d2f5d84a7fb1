// Assignment: to variables (VAR values in the lsize area, STATIC values in
// heap blocks of their own), to fields and to FIELDS, plain or indexed.
#include <cstdlib>
#include <cstring>

#include "eval_internal.h"

using namespace rkl_detail;

namespace {

size_t element_size(int32_t kind) { return kind == RKL_NUMBERS ? sizeof(double) : sizeof(void*); }

// A copy of a string or number list in `area`, built under `hold`.
RklValue copy_value_to_area(RklValue* v, Area* area) {
    int32_t held = 2;
    RklValue work[2] = {*v, {v->kind, 0, nullptr}};
    Hold hold(work, &held);
    area_align(alignof(double), area);
    work[1].items = work[0].count ? area_alloc(element_size(work[0].kind) * size_t(work[0].count), area) : nullptr;
    if (work[0].kind == RKL_NUMBERS) {
        if (work[0].count) std::memcpy(work[1].items, work[0].items, sizeof(double) * size_t(work[0].count));
        work[1].count = work[0].count;
        return work[1];
    }
    for (int32_t i = 0; i < work[0].count; ++i) {
        const wchar_t* s = strings(work[0])[i];
        wchar_t* c = copy_text(s, std::wcslen(s), area);
        strings(work[1])[i] = c;
        work[1].count = i + 1;
    }
    return work[1];
}

}  // namespace

void rkl_assign_variable(RklVariable* var, const RklValue& given) {
    RklValue value = given;
    if (value.kind != RKL_NUMBERS && value.kind != RKL_STRINGS) value = empty_strings();
    if (var->kind == RKL_VAR) {
        // A number list of the same length is overwritten where it stands,
        // so that a counter in a loop does not fill the area.
        Area* locals = &rkl.locals;
        const char* old = static_cast<const char*>(var->value.items);
        if (var->assigned && value.kind == RKL_NUMBERS && var->value.kind == RKL_NUMBERS &&
            var->value.count == value.count && old >= locals->base && old < locals->limit) {
            if (value.count) std::memmove(var->value.items, value.items, sizeof(double) * size_t(value.count));
        } else {
            var->value = copy_value_to_area(&value, locals);
        }
        var->assigned = true;
        return;
    }
    // STATIC: one heap block holds the list and its strings.
    size_t size = element_size(value.kind) * size_t(value.count);
    if (value.kind == RKL_STRINGS)
        for (int32_t i = 0; i < value.count; ++i) size += (std::wcslen(strings(value)[i]) + 1) * sizeof(wchar_t);
    char* block = static_cast<char*>(checked_malloc(size));
    RklValue copy{value.kind, value.count, value.count ? block : nullptr};
    if (value.kind == RKL_NUMBERS) {
        if (value.count) std::memcpy(block, value.items, size);
    } else {
        wchar_t* text = reinterpret_cast<wchar_t*>(block + sizeof(void*) * size_t(value.count));
        for (int32_t i = 0; i < value.count; ++i) {
            size_t n = std::wcslen(strings(value)[i]) + 1;
            std::wmemcpy(text, strings(value)[i], n);
            strings(copy)[i] = text;
            text += n;
        }
    }
    std::free(var->block);
    var->block = block;
    var->value = copy;
    var->assigned = true;
}

namespace {

// VAR v [ i ] = value: positions of the current list replaced (the last
// index takes the rest of the value).
void assign_indexed_variable(RklVariable* var, RklValue* ops) {
    RklValue current = var->assigned ? var->value : empty_strings();
    if (var->kind == RKL_STATIC && var->assigned) {
        // Work on a copy: the block is replaced at the end.
        RklNode leaf{RKL_STATIC, 0, reinterpret_cast<RklNode*>(var), nullptr};
        current = eval(&leaf);
    }
    ops[2] = current;
    int32_t kind = var->assigned ? current.kind : ops[0].kind;
    ops[0] = kind == RKL_NUMBERS ? to_numbers(ops[0]) : to_strings(ops[0]);
    ops[1] = to_numbers(ops[1]);
    int32_t n = ops[2].count;
    if (n == 0) return;
    // action[p]: -1 keeps position p, i >= 0 puts value element i there.
    int32_t* action = static_cast<int32_t*>(area_alloc(sizeof(int32_t) * size_t(n), value_area));
    for (int32_t p = 0; p < n; ++p) action[p] = -1;
    int32_t splice_at = -1, splice_from = 0;
    for (int32_t i = 0; i < ops[1].count && i < ops[0].count; ++i) {
        int32_t k = clamp_int32(numbers(ops[1])[i]);
        if (k < 0 || k >= n) continue;
        action[k] = i;
        if (i == ops[1].count - 1) splice_at = k, splice_from = i;
    }
    int32_t extra = splice_at >= 0 ? ops[0].count - splice_from - 1 : 0;
    size_t size = element_size(kind);
    area_align(alignof(double), value_area);
    char* out = static_cast<char*>(area_alloc(size * size_t(n + extra), value_area));
    action = static_cast<int32_t*>(area_relocate(action, value_area));
    RklValue result{kind, n + extra, out};
    for (int32_t p = 0; p < n; ++p) {
        if (p == splice_at) {
            size_t k = size_t(ops[0].count - splice_from);
            std::memcpy(out, static_cast<char*>(ops[0].items) + size * size_t(splice_from), size * k);
            out += size * k;
        } else {
            const RklValue& from = action[p] < 0 ? ops[2] : ops[0];
            std::memcpy(out, static_cast<char*>(from.items) + size * size_t(action[p] < 0 ? p : action[p]), size);
            out += size;
        }
    }
    rkl_assign_variable(var, result);
}

// A field text: name and value known, or split at its first colon.
Field field_of(wchar_t* text, const RklFieldRef* r) {
    size_t n = std::wcslen(text);
    wchar_t* value = text;
    if (r) {
        value = text + r->length;
    } else if (wchar_t* colon = std::wcschr(text, L':')) {
        value = colon + 1;
    }
    return Field{text, value, text + n};
}

// The new field texts, the values with the field's name and colon in
// front (none for every field), in the string area: ops[2].
void new_field_texts(const RklFieldRef* r, RklValue* ops) {
    for (int32_t i = 0; i < ops[0].count; ++i) {
        size_t prefix = r ? size_t(r->length) : 0;
        size_t n = std::wcslen(strings(ops[0])[i]);
        area_align(alignof(wchar_t), string_area);
        wchar_t* text = static_cast<wchar_t*>(area_alloc((prefix + n + 1) * sizeof(wchar_t), string_area));
        if (r) std::wmemcpy(text, r->name, prefix);
        std::wmemcpy(text + prefix, strings(ops[0])[i], n + 1);
        strings(ops[2])[i] = text;
        ops[2].count = i + 1;
    }
}

// The positions of the fields assigned to, in targets: every occurrence
// of the field, or those the index list ops[1] names. Returns their count;
// *last_missed tells whether the last index named no occurrence.
int32_t assigned_positions(const RklFieldRef* r, const RklValue* ops, bool indexed, int32_t fields, int32_t* targets,
                           bool* last_missed) {
    int32_t t = 0;
    const Field* rec = rkl.record;
    if (!indexed) {
        for (int32_t p = 0; p < fields; ++p)
            if (r == nullptr || is_field(&rec[p], r)) targets[t++] = p;
        return t;
    }
    for (int32_t i = 0; i < ops[1].count; ++i) {
        int32_t k = clamp_int32(numbers(ops[1])[i]), found = -1;
        for (int32_t p = 0, seen = 0; p < fields && k >= 0; ++p)
            if ((r == nullptr || is_field(&rec[p], r)) && seen++ == k) {
                found = p;
                break;
            }
        *last_missed = found < 0;
        if (found >= 0) targets[t++] = found;
    }
    return t;
}

// The record written again by the actions (-1 keeps a field, -2 removes
// it, i >= 0 puts text i in its place), the texts from t on inserted
// behind position insert_after (-1: in front) when there are leftovers.
void rewrite_record(const RklFieldRef* r, const RklValue& texts, const int32_t* action, int32_t fields, int32_t t,
                    int32_t insert_after, int32_t leftover) {
    int32_t removed = 0;
    for (int32_t p = 0; p < fields; ++p) removed += action[p] == -2;
    Field* out = rkl.record;
    if (leftover) {
        area_align(alignof(Field), rkl.table);
        out = static_cast<Field*>(area_alloc(sizeof(Field) * size_t(fields - removed + leftover + 1), rkl.table));
    }
    // Fields are written in order; without insertions the table shrinks in
    // place (the writing position never passes the reading one).
    Field* in = rkl.record;
    Field* w = out;
    if (insert_after == -1 && leftover)
        for (int32_t j = t; j < texts.count; ++j) *w++ = field_of(strings(texts)[j], r);
    for (int32_t p = 0; p < fields; ++p) {
        Field f = in[p];
        if (action[p] >= 0) f = field_of(strings(texts)[action[p]], r);
        if (action[p] != -2) *w++ = f;
        if (p == insert_after && leftover)
            for (int32_t j = t; j < texts.count; ++j) *w++ = field_of(strings(texts)[j], r);
    }
    *w = in[fields];
    rkl.record = out;
}

// Assignment to the occurrences of a field (r), or to every field (null).
// ops[0] is the value, ops[1] the index list or no value.
void assign_fields(const RklFieldRef* r, RklValue* ops, int32_t* held) {
    ops[0] = to_strings(ops[0]);
    bool indexed = ops[1].kind != RKL_NO_VALUE;
    if (indexed) ops[1] = to_numbers(ops[1]);
    ops[2] = new_list(RKL_STRINGS, ops[0].count);
    ops[2].count = 0;
    *held = 3;
    new_field_texts(r, ops);
    int32_t fields = int32_t(record_end(rkl.record) - rkl.record);
    int32_t targets_wanted = indexed ? ops[1].count : fields;
    int32_t* action = static_cast<int32_t*>(
        area_alloc(sizeof(int32_t) * size_t(fields + targets_wanted) + sizeof(int32_t), value_area));
    int32_t* targets = action + fields;
    for (int32_t p = 0; p < fields; ++p) action[p] = -1;
    bool last_selected_nothing = false;
    int32_t t = assigned_positions(r, ops, indexed, fields, targets, &last_selected_nothing);
    // Each target takes the next text, or is removed when none is left.
    int32_t texts = ops[2].count;
    for (int32_t j = 0; j < t; ++j) action[targets[j]] = j < texts ? j : -2;
    int32_t leftover = texts > t ? texts - t : 0;
    int32_t insert_after = t > 0 ? targets[t - 1] : (indexed ? -2 : fields - 1);
    if (leftover && (insert_after == -2 || (indexed && last_selected_nothing))) leftover = 0;
    rewrite_record(r, ops[2], action, fields, t, insert_after, leftover);
}

}  // namespace

RklValue rkl_eval_assignment(RklNode* n) {
    RklValue ops[3] = {resolved(eval(n->right)), {RKL_NO_VALUE, 0, nullptr}, {RKL_NO_VALUE, 0, nullptr}};
    int32_t held = 2;
    Hold hold(ops, &held);
    if (ops[0].kind != RKL_NUMBERS && ops[0].kind != RKL_STRINGS) ops[0] = empty_strings();
    RklNode* target = n->left;
    if (target->kind == RKL_LBRACKET) {
        ops[1] = eval(target->right);
        if (ops[1].kind == RKL_NO_VALUE) ops[1] = empty_strings();
        target = target->left;
    }
    // The value assigned is the result; ops[0] follows the areas as they move.
    switch (target->kind) {
    case RKL_VAR:
    case RKL_STATIC: {
        RklVariable* var = reinterpret_cast<RklVariable*>(target->left);
        if (ops[1].kind == RKL_NO_VALUE) rkl_assign_variable(var, ops[0]);
        else assign_indexed_variable(var, ops);
        return ops[0];
    }
    case RKL_FIELD:
        assign_fields(reinterpret_cast<RklFieldRef*>(target->left), ops, &held);
        return ops[0];
    case RKL_FIELDS:
        assign_fields(nullptr, ops, &held);
        return ops[0];
    default:
        fatal("program error (eval).\n");
    }
}
