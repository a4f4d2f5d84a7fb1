// Storage areas: blocks used as rings, carved by moving a pointer, grown or
// emptied by the pacts registered on them.
//
// The pact rules, in short (lib/README.md has a worked example):
// - Right after creating an area its owner pushes one row-0 pact of its own,
//   the growth pact, which makes room and translates every pointer the owner
//   keeps into the area. It stays for the whole run.
// - A routine that keeps a pointer into an area in a local variable while it
//   may grow that area (any area_alloc or area_extend on it, directly or
//   through a callee) registers the variable for that time: a PactScope with
//   relocate_pair, or a pact of its own. The scope pops it on every return.
// - That includes the start cell of an object under construction: after a
//   growth area_extend goes on from the cell as the pacts left it. (A move
//   of the object to the base is different: row 1 runs, or the cell is set.)
// - A reference that lives longer than one call and points into an area
//   that never wraps may be kept as an offset from the base instead.
// - Rows hold 4 (row 0) and 1 (row 1) entries unless a tool raises
//   pact_capacity before creating an area: count the deepest nesting.
#pragma once

#include <cstddef>
#include <cstdint>

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

// Creates an empty area of size bytes labelled "name=KB", with empty rows.
void area_create(size_t size, const char* name, Area* area);
// Frees the area's block and pacts; the area is then as never created.
void area_destroy(Area* area);
// Creates an area from a size setting in KB; sizes below 1 KB count as 1 KB.
void area_create_kb(int32_t kb, const char* name, Area* area);
// Creates an area from a size setting in KB and pushes the doubling pact.
void area_create_doubling(int32_t kb, const char* name, Area* area);
// Empties the area; every object in it is gone.
inline void area_reset(Area* area) {
    area->head = area->base;
    area->tail = area->limit;
}
// When not zero, no area grows beyond this many bytes (growing fails as if
// the memory could not be had). For tests and fuzzing.
extern size_t area_size_limit;
// Resizes the block (it may move; area_relocate translates old pointers).
// Runs no pacts. Fatal when the memory can't be had.
void area_resize(size_t new_size, Area* area);
// The same, but a failure to get the memory leaves the area as it was and
// returns false instead of ending the program.
bool area_try_resize(size_t new_size, Area* area);

namespace area_detail {
void* alloc_slow(size_t n, Area* area);
void* extend_slow(size_t n, void* cell, Area* area);
void pad(size_t a, Area* area);
[[noreturn]] void pact_overflow();
[[noreturn]] void pact_out_of_order();
}  // namespace area_detail

// n fresh contiguous bytes, or null when a pact gave up. May run row 0 (and
// so resize the area and run every relocation registered on it).
inline void* area_alloc(size_t n, Area* area) {
    char* h = area->head;
    if (area->tail < h ? n <= size_t(area->limit - h) : n <= size_t(area->tail - h)) {
        area->head = h + n;
        return h;
    }
    return area_detail::alloc_slow(n, area);
}
// Grows the object under construction at the head by n bytes and returns
// the new bytes. `cell` is the address of the caller's pointer to the
// object's first byte (set when it holds null). May move the object to the
// base (row 1, else the cell follows) or run row 0 as area_alloc does.
inline void* area_extend(size_t n, void* cell, Area* area) {
    char* h = area->head;
    if (area->tail < h ? n <= size_t(area->limit - h) : n <= size_t(area->tail - h)) {
        area->head = h + n;
        char* start;
        __builtin_memcpy(&start, cell, sizeof start);
        if (start == nullptr) __builtin_memcpy(cell, &h, sizeof h);
        return h;
    }
    return area_detail::extend_slow(n, cell, area);
}
// Declares everything allocated before p no longer needed.
void area_release(const void* p, Area* area);
// Gives back the last n bytes of the object under construction at the head.
inline void area_giveback(size_t n, Area* area) { area->head -= n; }
// Gives back the last object allocated, which starts at `object`: the head
// goes back to it. Nothing else changes.
inline void area_drop(const void* object, Area* area) {
    area->head = static_cast<char*>(const_cast<void*>(object));
}
// Aligns the head to a (a power of two) by allocating the padding.
inline void area_align(size_t a, Area* area) {
    if (reinterpret_cast<uintptr_t>(area->head) & (a - 1)) area_detail::pad(a, area);
}
void* align_up(size_t a, const void* p);
// Translates a pointer taken before the last resize (valid until the next).
void* area_relocate(const void* p, Area* area);
// Appends a pact to the row; a full row is fatal ("program error (pact over)").
inline void area_push_pact(int row, PactFn fn, void* a, void* b, Area* area) {
    PactRow& r = area->pacts[row];
    if (r.used >= r.capacity) area_detail::pact_overflow();
    r.entries[r.used++] = Pact{fn, a, b};
}
// Removes the most recently pushed pact of the row.
inline void area_pop_pact(int row, Area* area) {
    PactRow& r = area->pacts[row];
    if (r.used > 0) --r.used;
}
// Calls the row's pacts in push order: -1 for an empty row, else the first
// non-zero result, or 0.
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

// A pact registered for the lifetime of a scope: pushed by the constructor,
// popped by the destructor, so that no return path can leave it behind.
// Scopes nest; popping out of order is a program error.
class PactScope {
public:
    PactScope(int row, PactFn fn, void* a, void* b, Area* area) : row_(row), area_(area) {
        area_push_pact(row, fn, a, b, area);
        depth_ = area->pacts[row].used;
    }
    // The row must hold exactly what it held after the push: anything
    // pushed since and not popped (or popped beyond) is a program error.
    ~PactScope() {
        PactRow& r = area_->pacts[row_];
        if (r.used != depth_) area_detail::pact_out_of_order();
        --r.used;
    }
    PactScope(const PactScope&) = delete;
    PactScope& operator=(const PactScope&) = delete;

private:
    int row_;
    int32_t depth_;
    Area* area_;
};

// Keeps *cell (a pointer into the area) translated while the scope lasts;
// a second cell may come along in the same pact.
template <typename T, typename U = T>
class Relocated : public PactScope {
public:
    Relocated(T** cell, Area* area, U** second = nullptr) : PactScope(0, relocate_pair, cell, second, area) {}
};
