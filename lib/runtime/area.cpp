// Storage areas: rings of memory carved by moving a head, grown by pacts.
//
// Ring states between operations:
//   empty    head == base and tail == limit
//   straight tail < head: live data tail..head
//   wrapped  head <= tail (not empty): live data tail..limit, then base..head
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime.h"

int32_t pact_capacity[2] = {4, 1};

// Pointer cells belong to callers and hold pointers of any type; they are
// read and written bytewise so that no type is assumed for them.
static char* load_cell(const void* cell) {
    char* p;
    std::memcpy(&p, cell, sizeof p);
    return p;
}

static void store_cell(void* cell, const void* p) { std::memcpy(cell, &p, sizeof p); }

static void write_label(Area* area, const char* name, unsigned long kb) {
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%s=%lu", name, kb);
    size_t len = n < 0 ? 0 : std::min(size_t(n), sizeof area->label - 1);
    std::memcpy(area->label, buf, len);
    area->label[len] = 0;
}

void area_create(size_t size, const char* name, Area* area) {
    if (size < 1024) size = 1024;  // doubling must always be able to grow it
    write_label(area, name, size / 1024);
    area->base = static_cast<char*>(std::malloc(size));
    int32_t cap0 = pact_capacity[0] > 0 ? pact_capacity[0] : 0;
    int32_t cap1 = pact_capacity[1] > 0 ? pact_capacity[1] : 0;
    Pact* entries = area->base ? static_cast<Pact*>(std::malloc(sizeof(Pact) * size_t(cap0 + cap1 + 1))) : nullptr;
    if (entries == nullptr) {
        std::free(area->base);
        fatal("can't allocate storage for %s.\n", area->label);
    }
    area->limit = area->base + size;
    area_reset(area);
    area->old_base = area->old_limit = area->old_head = nullptr;
    area->pacts[0] = PactRow{entries, 0, cap0};
    area->pacts[1] = PactRow{entries + cap0, 0, cap1};
}

void area_destroy(Area* area) {
    std::free(area->base);
    std::free(area->pacts[0].entries);  // both rows
    *area = Area{};
}

static size_t kb_bytes(int32_t kb) { return kb < 1 ? 1024 : size_t(kb) * 1024; }

void area_create_kb(int32_t kb, const char* name, Area* area) { area_create(kb_bytes(kb), name, area); }

void area_create_doubling(int32_t kb, const char* name, Area* area) {
    area_create_kb(kb, name, area);
    area_push_pact(0, area_double, nullptr, nullptr, area);
}

void area_resize(size_t new_size, Area* area) {
    if (!area_try_resize(new_size, area)) fatal("can't resize %s\n", area->label);
}

size_t area_size_limit = 0;

bool area_try_resize(size_t new_size, Area* area) {
    // The label names the new size even when the resize fails.
    char name[24];
    size_t nlen = std::strcspn(area->label, "=");
    std::memcpy(name, area->label, nlen);
    name[nlen] = 0;
    write_label(area, name, new_size / 1024);

    area->old_base = area->base;
    area->old_limit = area->limit;
    area->old_head = area->head;
    size_t s = area_size(area);
    if (new_size == s) return true;
    size_t h = size_t(area->head - area->base);
    size_t t = size_t(area->tail - area->base);
    bool wrapped = area->head <= area->tail;
    // Growing may fail; the area is then left exactly as it was.
    char* grown = nullptr;
    if (new_size > s) {
        if (area_size_limit && new_size > area_size_limit) {
            area->old_base = area->old_limit = area->old_head = nullptr;
            return false;
        }
        grown = static_cast<char*>(std::realloc(area->base, new_size));
        if (grown == nullptr) {
            area->old_base = area->old_limit = area->old_head = nullptr;
            return false;
        }
    }

    if (wrapped && new_size < s) {
        // Move the segment tail..limit down so that it ends at the new limit,
        // dropping what falls outside the new size.
        size_t seg = s - t;
        size_t keep = seg < new_size ? seg : new_size;
        std::memmove(area->base + new_size - keep, area->base + s - keep, keep);
    }
    if (new_size == 0) {
        std::free(area->base);
        area->base = area->limit = area->head = area->tail = nullptr;
        return true;
    }
    // Shrinking in place can't fail; should the block move, its new place is taken.
    char* nb = grown ? grown : static_cast<char*>(std::realloc(area->base, new_size));
    if (nb == nullptr) nb = area->base;
    area->base = nb;
    area->limit = nb + new_size;
    area->head = nb + (h < new_size ? h : new_size);
    if (!wrapped) {
        area->tail = nb + t;
    } else {
        size_t seg = s - t;
        area->tail = seg < new_size ? area->limit - seg : nb;
        if (new_size > s) std::memmove(area->limit - seg, nb + t, seg);
    }
    return true;
}

// Runs row 0 after a failed placement; returns false when a pact gave up.
static bool make_room(Area* area) {
    int r = area_run_pacts(0, area);
    if (r > 0) return false;
    if (r < 0) fatal("insufficient %s\n", area->label);
    return true;
}

void* area_detail::alloc_slow(size_t n, Area* area) {
    for (;;) {
        char* p = nullptr;
        if (area->tail < area->head) {
            if (n <= size_t(area->limit - area->head))
                p = area->head;
            else if (n <= size_t(area->tail - area->base))
                p = area->base;
        } else if (n <= size_t(area->tail - area->head)) {
            p = area->head;
        }
        if (p) {
            area->head = p + n;
            return p;
        }
        if (!make_room(area)) return nullptr;
    }
}

void* area_detail::extend_slow(size_t n, void* cell, Area* area) {
    for (;;) {
        bool fits = false;
        if (area->head <= area->tail) {
            fits = n <= size_t(area->tail - area->head);
        } else if (n <= size_t(area->limit - area->head)) {
            fits = true;
        } else {
            char* o = load_cell(cell);
            char* start = o ? o : area->head;
            size_t len = size_t(area->head - start);
            // An object that is all the live data may move over its own
            // old place: the whole block is then free around it.
            bool alone = start == area->tail;
            if (len + n <= size_t(area->tail - area->base) || (alone && len + n <= area_size(area))) {
                std::memmove(area->base, start, len);
                if (alone) area->tail = area->limit;
                if (o && area_run_pacts(1, area) != 0) store_cell(cell, area->base);
                area->head = area->base + len;
                fits = true;
            }
        }
        if (fits) {
            char* p = area->head;
            area->head = p + n;
            if (load_cell(cell) == nullptr) store_cell(cell, p);
            return p;
        }
        if (!make_room(area)) return nullptr;
    }
}

void area_release(const void* p, Area* area) {
    char* q = const_cast<char*>(static_cast<const char*>(p));
    if (q == area->head)
        area_reset(area);
    else
        area->tail = q == area->base ? area->limit : q;
}

void area_detail::pad(size_t a, Area* area) {
    size_t r = reinterpret_cast<uintptr_t>(area->head) & (a - 1);
    if (r != 0) area_alloc(a - r, area);
}

void* align_up(size_t a, const void* p) {
    uintptr_t v = reinterpret_cast<uintptr_t>(p);
    return reinterpret_cast<void*>((v + a - 1) & ~uintptr_t(a - 1));
}

void* area_relocate(const void* p, Area* area) {
    const char* q = static_cast<const char*>(p);
    if (q && area->old_base <= q && q < area->old_head) return area->base + (q - area->old_base);
    if (q && area->old_head <= q && q < area->old_limit) return area->limit - (area->old_limit - q);
    return const_cast<void*>(p);
}

void area_detail::pact_overflow() { fatal("program error (pact over).\n"); }
void area_detail::pact_out_of_order() { fatal("program error (pact order).\n"); }

int area_run_pacts(int row, Area* area) {
    PactRow& r = area->pacts[row];
    if (r.used == 0) return -1;
    // Relocation is the identity unless a pact of this run resizes the area.
    if (row == 0) area->old_base = area->old_limit = area->old_head = nullptr;
    for (int32_t i = 0; i < r.used; ++i) {
        int res = r.entries[i].fn(r.entries[i].a, r.entries[i].b, area);
        if (res != 0) return res;
    }
    return 0;
}

int relocate_pair(void* a, void* b, Area* area) {
    if (a) store_cell(a, area_relocate(load_cell(a), area));
    if (b) store_cell(b, area_relocate(load_cell(b), area));
    return 0;
}

int area_double(void*, void*, Area* area) {
    size_t s = area_size(area);
    if (s > SIZE_MAX / 2) fatal("can't resize %s\n", area->label);
    area_resize(s * 2, area);
    return 0;
}
