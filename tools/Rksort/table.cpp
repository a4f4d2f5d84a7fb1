// Rksort's table of held records: sorting it, writing it as a run, and the
// pact that keeps the four sort areas within the memory limit.
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "rksort.h"

namespace rksort {

Entry* sort_table = nullptr;
size_t held = 0;

void summarize(Entry& e) {
    e.first = 0;
    e.rank = 0;
    const FieldListEntry* head = list.included;
    const uint32_t* part = e.key + 1;
    if (head == nullptr || e.key[0] <= 4) return;  // no first part: it counts as empty
    if (*head->flags & KEY_NUMERIC) {
        double count, v;
        std::memcpy(&count, part, sizeof count);
        if (count < 1) return;
        std::memcpy(&v, part + 2, sizeof v);
        if (v != v) {
            e.rank = 1;
            return;
        }
        if (v == 0) v = 0;  // -0 and 0 are equal
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        e.first = bits >> 63 ? ~bits : bits | uint64_t(1) << 63;
        e.rank = 2;
    } else {
        e.first = uint64_t(part[0]) << 32 | (part[0] ? part[1] : 0);
    }
}

int compare_entry_keys(const Entry& a, const Entry& b) {
    if (a.rank != b.rank || a.first != b.first) {
        bool less = a.rank != b.rank ? a.rank < b.rank : a.first < b.first;
        return ((*list.included->flags & KEY_REVERSE) ? !less : less) ? -1 : 1;
    }
    return compare_keys(a.key, b.key, &list);
}

namespace {

// Records were read into the table area as a ring: of two tables on the same
// side of its head the lower is the earlier; one at or above the head was
// read before the ring wrapped.
bool read_before(const Field* a, const Field* b) {
    const char* h = table.head;
    bool above_a = reinterpret_cast<const char*>(a) >= h;
    bool above_b = reinterpret_cast<const char*>(b) >= h;
    return above_a == above_b ? a < b : above_a;
}

// Key order, then input order: a total order, so the result is the stable
// sort whatever algorithm does the sorting.
bool entry_before(const Entry& a, const Entry& b) {
    if (int c = compare_entry_keys(a, b)) return c < 0;
    return a.record != b.record && read_before(a.record, b.record);
}

// (A lambda, so that the comparison is inlined into the sort.)
void sort_held() {
    std::sort(sort_table, sort_table + held, [](const Entry& a, const Entry& b) { return entry_before(a, b); });
}

// The characters of a record's field lines.
size_t record_length(const Field* rec) { return size_t(record_end(rec)->end - rec->start); }

// Translates what the sort keeps in an area after the area was resized.
void relocate_held(Area* area) {
    if (area == &text) {
        for (size_t i = 0; i < held; ++i) relocate_record(sort_table[i].record, area);
    } else if (area == &table) {
        for (size_t i = 0; i < held; ++i) area_relocate_cell(&sort_table[i].record, area);
    } else if (area == &entries) {
        area_relocate_cell(&sort_table, area);
    } else {
        for (size_t i = 0; i < held; ++i) area_relocate_cell(&sort_table[i].key, area);
    }
}

Area* const sort_areas[] = {&text, &table, &entries, &keys};

size_t total_size() {
    size_t total = 0;
    for (const Area* a : sort_areas) total += area_size(a);
    return total;
}

bool area_empty(const Area* a) { return a->head == a->base && a->tail == a->limit; }

// Bytes in use in an area.
size_t live_bytes(const Area* a) {
    size_t free = area_empty(a)            ? area_size(a)
                  : a->tail < a->head ? size_t(a->limit - a->head) + size_t(a->tail - a->base)
                                      : size_t(a->tail - a->head);
    return area_size(a) - free;
}

// The record alone is too large for the limit: it needs `need` bytes or
// more for its parts in the four areas. The reader asks for room a little
// ahead of what it stores, so the limit told leaves it that much beside
// the parts: without it a record that ends just below a KB can fail again
// at the limit the message told.
[[noreturn]] void too_large(size_t need) {
    constexpr size_t READ_AHEAD = 512;
    warn(WARN_NOTE, "insufficient xmem(%u) at %s(%d).\n", unsigned(xmem), input_name, input_number);
    fatal("the record needs -D xmem=%zu or more.\n", (need + READ_AHEAD + 1023) / 1024);
}

// What the four areas hold: with nothing held, the parts of one record.
size_t record_bytes() {
    size_t bytes = 0;
    for (const Area* a : sort_areas) bytes += live_bytes(a);
    return bytes;
}

// Memory for the record being measured, beyond the limit; without it the
// message tells what the record took so far.
int measure_pact(Area* area) {
    if (!area_try_resize(2 * area_size(area), area)) too_large(record_bytes() + 1);
    return 0;
}

// The memory a run is sorted in. Sorting more records at once gains
// nothing once the merge takes all runs in one pass: the records scatter
// over more memory than the caches hold, and writing them in order costs
// more than merging the runs. So a run fills at most RUN_MEMORY, the
// default limit, while the runs written so far leave room for a one-pass
// merge; each time half of the room left is taken, runs may use twice as
// much, up to the limit.
constexpr size_t RUN_MEMORY = size_t(32768) * 1024;
size_t run_memory = RUN_MEMORY;
long widen_at = -1;  // the run count at which runs grow next

size_t run_limit(size_t limit) { return run_memory < limit ? run_memory : limit; }

void widen_runs() {
    long ways = merge_ways();
    if (widen_at < 0) widen_at = ways / 2;
    if (run_count < widen_at) return;
    run_memory *= 2;
    widen_at += (ways - widen_at) / 2;
}

// Set when a record was given memory beyond the limit (see memory_pact).
bool borrowed = false;
// Set when the record being read or keyed alone needs more than the limit:
// it is read and keyed all the same, as far as memory can be had, so that
// the message can tell the limit it needs.
bool measuring = false;

// Moves an area's one live object to the area's base and shrinks the area
// to it; returns the object's new place.
char* settle_area(Area* a, const void* object, size_t length) {
    std::memmove(a->base, object, length);
    a->tail = a->base;
    a->head = a->base + length;
    area_resize(length, a);
    return a->base;
}

// After a record that was given memory beyond the limit: it is the one
// record held, so its text, table, entry and key move to the bases of their
// areas, which shrink to what it uses and grow again from there.
void settle() {
    borrowed = false;
    Entry& e = sort_table[0];
    Field* rec = e.record;
    Field* close = record_end(rec);
    uintptr_t from = reinterpret_cast<uintptr_t>(rec->start);
    size_t length = size_t(close->end + 1 - rec->start) * sizeof(wchar_t);
    char* to = settle_area(&text, rec->start, length);
    for_each_field_pointer(rec, close + 1, [to, from](wchar_t*& p) {
        p = reinterpret_cast<wchar_t*>(to + (reinterpret_cast<uintptr_t>(p) - from));
    });
    e.record = reinterpret_cast<Field*>(settle_area(&table, rec, size_t(close + 1 - rec) * sizeof(Field)));
    e.key = reinterpret_cast<uint32_t*>(settle_area(&keys, e.key, e.key[0]));
    sort_table = reinterpret_cast<Entry*>(settle_area(&entries, sort_table, sizeof(Entry)));
}

}  // namespace

// Sorts what is held, writes it as a run and gives the memory back up to the
// end of the last complete record; a record being read stays where it is.
void write_run() {
    RunWriter run;
    run.create();
    Entry last = sort_table[held - 1];
    sort_held();
    for (size_t i = 0; i < held; ++i)
        run.put_record(sort_table[i].key, sort_table[i].record->start, record_length(sort_table[i].record));
    run.close();
    widen_runs();
    Field* close = record_end(last.record);
    area_release(close->end + 1, &text);
    area_release(close + 1, &table);
    area_release(reinterpret_cast<char*>(last.key) + last.key[0], &keys);
    area_reset(&entries);
    // What is left is at most the record being read or keyed, the object at
    // each area's head. When that object went round to the base, nothing
    // lives between the released place and the end of the area any more.
    for (Area* a : {&text, &table, &keys})
        if (a->head <= a->tail) a->tail = a->limit;
    sort_table = nullptr;
    held = 0;
}

// Row-0 pact of the four sort areas: grow while the total stays within the
// limit, else write a run. With nothing held but the record being read or
// keyed, its own needs decide: the other areas give back what they don't
// use, and the area may grow as long as the record's parts together stay
// within the limit; the total may then exceed the limit until the record is
// held and its areas shrink again (settle).
int memory_pact(void*, void*, Area* area) {
    if (measuring) return measure_pact(area);
    size_t limit = xmem > 0 ? size_t(xmem) * 1024 : 0;
    size_t total = total_size();
    size_t size = area_size(area);
    size_t most = held > 0 ? run_limit(limit) : limit;
    if (total < most) {
        // Doubling (from 1 KB at least), up to the limit.
        size_t next = size < 512 ? 1024 : 2 * size;
        if (total - size + next > most) next = most - (total - size);
        if (next > size && area_try_resize(next, area)) {
            relocate_held(area);
            return 0;
        }
    }
    if (held > 0) {  // also when the process can get no more memory
        write_run();
        return 0;
    }
    // An empty area holds nothing that a pointer could refer to.
    for (Area* a : sort_areas)
        if (a != area && area_empty(a) && area_size(a) > 1024) area_resize(1024, a);
    size_t others = 0;
    for (const Area* a : sort_areas)
        if (a != area) others += live_bytes(a);
    size = area_size(area);
    size_t room = limit > others ? limit - others : 0;  // the most this area may have for the record
    if (room > size) {
        area_resize(2 * size < room ? 2 * size : room, area);
        if (total_size() > limit) borrowed = true;
        return 0;
    }
    measuring = true;
    return measure_pact(area);
}

void hold(Field* rec) {
    // A pact may write a run while the key or the entry is being made: this
    // record and its key lie after everything the run takes, so they stay
    // where they are.
    uint32_t* key = make_key(rec, &list, &keys, &names);
    area_extend(sizeof(Entry), &sort_table, &entries);
    Entry& e = sort_table[held++];
    e.record = rec;
    e.key = key;
    summarize(e);
    if (measuring) too_large(record_bytes());
    if (borrowed) settle();
}

void write_held() {
    sort_held();
    for (size_t i = 0; i < held; ++i) write_record(sort_table[i].record);
}

}  // namespace rksort
