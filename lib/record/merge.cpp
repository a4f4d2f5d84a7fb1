// The key-group merge. Each input's records, keys and record pointers live
// in areas of its own; the pacts below keep the held records' pointers and
// the two keys good when one of them grows. A dropped group is released
// up to the read-ahead, so the areas work as rings and hold one group and
// one record whatever the input's length.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "merge.h"
#include "tool.h"

namespace {

int grow_text(void* a, void*, Area* area) {
    area_double(nullptr, nullptr, area);
    auto* s = static_cast<MergeInput*>(a);
    for (int32_t i = 0; i < s->held; ++i) relocate_record(s->records()[i], area);
    return 0;
}

int grow_table(void* a, void*, Area* area) {
    area_double(nullptr, nullptr, area);
    auto* s = static_cast<MergeInput*>(a);
    for (int32_t i = 0; i < s->held; ++i) area_relocate_cell(&s->records()[i], area);
    return 0;
}

// Appends a record pointer. The pointers are the only objects of the
// area, allocated from its base on after each reset, so that they form
// one array there even after the area grew.
void hold(MergeInput* s, Field* rec) {
    *static_cast<Field**>(area_alloc(sizeof(Field*), &s->group)) = rec;
    ++s->held;
}

// A key smaller than the one before: the inputs are not sorted alike. The
// advice is the fatal message, so that it comes last.
[[noreturn]] void sequence_error(const Merge* m) {
    warn(WARN_NOTE, "key sequence error, stop at %s(%d)!\n", input_name, input_number);
    fatal("sort each input with Rksort by the same key-field list and key flags%s.\n", m->other_way);
}

// Hands a record without a key, just read, to the owner and forgets it:
// with nothing else held the areas are emptied, else the record and its
// key are given back.
void pass_keyless(Merge* m, MergeInput* s, Field* rec, uint32_t* key) {
    m->keyless(s, rec);
    if (s->held > 0) {
        drop_last_record(rec, key, &s->text, &s->table, &s->keys);
        return;
    }
    area_reset(&s->text);
    area_reset(&s->table);
    area_reset(&s->keys);
}

// Reads the input's next group: the read-ahead record, if any, and the
// records of its key that follow it, passing by those without a key.
void read_group(Merge* m, MergeInput* s) {
    s->size = s->held;  // 0, or the read-ahead record
    s->group_key = s->ahead_key;
    s->ahead_key = nullptr;
    if (s->in.mode == INPUT_EXHAUSTED) return;
    while (Field* rec = next_record(&s->in, &s->text, &s->table)) {
        uint32_t* key = make_key(rec, m->list, &s->keys, m->names);
        if (m->keyless && key_is_empty(key)) {
            pass_keyless(m, s, rec, key);
            continue;
        }
        hold(s, rec);
        if (s->size == 0) {
            s->group_key = key;
            s->size = 1;
            continue;
        }
        int c = compare_keys(key, s->group_key, m->list);
        if (c == 0 && !m->single) {
            area_drop(key, &s->keys);
            ++s->size;
        } else if (c >= 0) {
            s->ahead_key = key;
            return;
        } else {
            sequence_error(m);
        }
    }
}

// Drops the group; the read-ahead record, if any, becomes the only one held.
void drop_group(MergeInput* s) {
    Field* ahead = s->held > s->size ? s->records()[s->size] : nullptr;
    area_reset(&s->group);
    s->held = 0;
    if (ahead == nullptr) {
        area_reset(&s->text);
        area_reset(&s->table);
        area_reset(&s->keys);
        return;
    }
    area_release(ahead->start, &s->text);
    area_release(ahead, &s->table);
    area_release(s->ahead_key, &s->keys);
    hold(s, ahead);
}

// The merge's order of two inputs.
bool before(const Merge* m, int32_t a, int32_t b) {
    const MergeInput& x = m->inputs[a];
    const MergeInput& y = m->inputs[b];
    if ((x.size == 0) != (y.size == 0)) return x.size != 0;
    if (x.size != 0) {
        int c = compare_keys(x.group_key, y.group_key, m->list);
        if (c != 0) return c < 0;
    }
    return a < b;
}

// The length of the leading run of inputs whose groups share the key.
int32_t leading_run(const Merge* m) {
    const MergeInput* first = merge_at(m, 0);
    if (first->size == 0) return 0;
    if (m->single) return 1;
    int32_t run = 1;
    while (run < m->count) {
        const MergeInput* s = merge_at(m, run);
        if (s->size == 0 || compare_keys(s->group_key, first->group_key, m->list) != 0) break;
        ++run;
    }
    return run;
}

}  // namespace

void merge_make(Merge* m, int32_t count, FieldList* list, Area* names, KeylessFn keyless, const char* other_way) {
    m->count = count;
    m->list = list;
    m->names = names;
    m->keyless = keyless;
    m->other_way = other_way;
    m->single = false;
    m->run = 0;
    m->inputs = static_cast<MergeInput*>(std::calloc(size_t(count), sizeof(MergeInput)));
    m->order = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * size_t(count)));
    if (m->inputs == nullptr || m->order == nullptr) fatal("can't allocate necessary memory!\n");
    for (int32_t i = 0; i < count; ++i) {
        MergeInput* s = &m->inputs[i];
        s->number = i;
        s->in.mode = INPUT_EXHAUSTED;
        m->order[i] = i;
        area_create_kb(tool_setting("rsize"), "rsize", &s->text);
        area_push_pact(0, grow_text, s, nullptr, &s->text);
        area_create_kb(tool_setting("tsize"), "tsize", &s->table);
        area_push_pact(0, grow_table, s, nullptr, &s->table);
        area_create_doubling(tool_setting("dsize"), "dsize", &s->group);
        area_create_doubling(tool_setting("ksize"), "ksize", &s->keys);
        area_push_pact(0, relocate_pair, &s->group_key, &s->ahead_key, &s->keys);
    }
}

void merge_open_input(Merge* m, MergeInput* s) {
    open_input(&s->in, INPUT_ONE_FILE);
    read_group(m, s);
}

void merge_start(Merge* m) {
    for (int32_t i = 0; i < m->count; ++i) merge_open_input(m, &m->inputs[i]);
    std::sort(m->order, m->order + m->count, [m](int32_t a, int32_t b) { return before(m, a, b); });
    m->run = leading_run(m);
}

void merge_advance(Merge* m) {
    int32_t run = m->run;
    for (int32_t i = 0; i < run; ++i) {
        MergeInput* s = merge_at(m, i);
        drop_group(s);
        read_group(m, s);
    }
    // Only the inputs that advanced are out of place: from the last of them
    // to the first, each goes into the ordered rest behind it, at the place
    // a binary search finds.
    int32_t* order = m->order;
    for (int32_t i = run - 1; i >= 0; --i) {
        int32_t x = order[i];
        int32_t low = i + 1, high = m->count;
        while (low < high) {
            int32_t mid = low + (high - low) / 2;
            if (before(m, order[mid], x)) low = mid + 1;
            else high = mid;
        }
        std::memmove(order + i, order + i + 1, sizeof(int32_t) * size_t(low - 1 - i));
        order[low - 1] = x;
    }
    m->run = leading_run(m);
}

void write_nonkey_fields(const Field* rec) {
    LineRun lines;
    for (const Field* f = rec; f->start; ++f) {
        if (f->value) lines.keep(f);
        else lines.flush(f->start);
    }
    lines.flush(record_end(rec)->end);
}
