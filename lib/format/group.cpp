// Groups of the listed fields of a record, and chains of the fields that
// share a name.
#include <algorithm>
#include <cstdlib>

#include "format.h"
#include "record.h"

namespace {

// The per-record tables, kept between records.
int32_t* order_table = nullptr;
size_t order_capacity = 0;
bool* listed_table = nullptr;
size_t listed_capacity = 0;
int32_t* next_table = nullptr;
size_t next_capacity = 0;

// Whether the names of two fields are the same text.
int compare_names(const Field* a, const Field* b) {
    size_t la = field_name_length(a), lb = field_name_length(b);
    size_t n = la < lb ? la : lb;
    for (size_t i = 0; i < n; ++i)
        if (a->start[i] != b->start[i]) return a->start[i] < b->start[i] ? -1 : 1;
    return la < lb ? -1 : la > lb;
}

bool repeats(const FieldListEntry* e) {
    const FieldFormat* f = e && e->format ? e->format : &default_format;
    return f->repeat;
}

}  // namespace

void format_listed(const FieldList* list, const Field* rec, size_t n, bool* listed) {
    for (size_t i = 0; i < n; ++i)
        listed[i] = field_has_name(&rec[i]) &&
                    field_list_match(list, rec[i].start, field_name_key(&rec[i]), nullptr, nullptr) != 0;
}

int format_group_algorithm(bool sequence, bool leading, const FieldList* list) {
    if (!list->inclusive && leading) warn(WARN_ERROR, "exclusive list is not allowed for -L option.\n");
    else if (!list->inclusive && sequence) warn(WARN_ERROR, "exclusive list is not allowed for -S option.\n");
    return leading ? GROUP_LEADING : sequence ? GROUP_SEQUENCE : GROUP_NTH;
}

void same_name_chains(const Field* rec, size_t n, const bool* listed, int32_t* next) {
    int32_t* order = grow_table(order_table, order_capacity, n + 1);
    size_t k = 0;
    for (size_t i = 0; i < n; ++i) {
        next[i] = -1;
        if (listed[i]) order[k++] = int32_t(i);
    }
    // By name, and in record order within a name.
    std::sort(order, order + k, [rec](int32_t a, int32_t b) {
        int c = compare_names(&rec[a], &rec[b]);
        return c != 0 ? c < 0 : a < b;
    });
    for (size_t j = 1; j < k; ++j)
        if (compare_names(&rec[order[j - 1]], &rec[order[j]]) == 0) next[order[j - 1]] = order[j];
}

int32_t format_groups(const Field* rec, size_t n, const FieldList* list, int algorithm, int32_t* groups) {
    bool* listed = grow_table(listed_table, listed_capacity, n + 1);
    int32_t count = 0;
    if (algorithm == GROUP_NTH) {
        format_listed(list, rec, n, listed);
        for (size_t i = 0; i < n; ++i) groups[i] = 0;
        int32_t* next = grow_table(next_table, next_capacity, n + 1);
        same_name_chains(rec, n, listed, next);
        for (size_t i = 0; i < n; ++i) {
            if (!listed[i] || groups[i] != 0) continue;
            int32_t g = 0;
            for (int32_t j = int32_t(i); j >= 0; j = next[j]) groups[j] = ++g;
            if (g > count) count = g;
        }
        return count;
    }
    int previous = 0;  // the position of the listed field before
    for (size_t i = 0; i < n; ++i) {
        groups[i] = 0;
        FieldListEntry* entry = nullptr;
        int position = 0;
        if (!field_has_name(&rec[i]) ||
            field_list_match(list, rec[i].start, field_name_key(&rec[i]), &entry, &position) != 1)
            continue;
        bool opens;
        if (count == 0) {
            opens = true;
        } else if (algorithm == GROUP_SEQUENCE) {
            opens = position <= previous && !(position == previous && repeats(entry));
        } else {
            opens = position == 1 && !(previous == 1 && repeats(entry));
        }
        if (opens) ++count;
        groups[i] = count;
        previous = position;
    }
    return count;
}

void group_chains(const int32_t* groups, size_t n, int32_t count, int32_t* first, int32_t* next) {
    for (int32_t g = 0; g <= count; ++g) first[g] = -1;
    for (size_t i = n; i-- > 0;) {
        next[i] = first[groups[i]];
        first[groups[i]] = int32_t(i);
    }
}
