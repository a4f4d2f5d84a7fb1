// Rktail: copies the last N records of each input file. The window of
// records is kept in the storage areas themselves: the oldest record is
// released as each new one arrives, so memory holds at most N + 1 records.
#include <cstdlib>

#include "record.h"

static const char usage[] =
    "Rktail [-N] [input-file ..]\n"
    "\tcopies last N (default 1) records to stdout.\n";

// The window: `kept` records in slots oldest, oldest+1, ... modulo slots.
static Field** ring;
static int32_t slots;
static int32_t oldest;
static int32_t kept;

static Area text, table;

template <typename F>
static void for_each_kept(F fn) {
    for (int32_t i = 0; i < kept; ++i) fn(ring[(oldest + i) % slots]);
}

// Growth of the text area: every pointer of every kept record follows.
static int grow_text(void*, void*, Area* area) {
    area_double(nullptr, nullptr, area);
    for_each_kept([area](Field* rec) {
        for (Field* f = rec;; ++f) {
            area_relocate_cell(&f->start, area);
            area_relocate_cell(&f->value, area);
            area_relocate_cell(&f->end, area);
            if (f->start == nullptr) break;
        }
    });
    return 0;
}

// Growth of the table area: the slots follow their tables.
static int grow_table(void*, void*, Area* area) {
    area_double(nullptr, nullptr, area);
    for (int32_t i = 0; i < kept; ++i) area_relocate_cell(&ring[(oldest + i) % slots], area);
    return 0;
}

static void write_window(bool show_names, const char* name) {
    for_each_kept([show_names, name](Field* rec) {
        if (show_names) write_filename(name);
        write_fields(rec);
    });
}

int main(int argc, char** argv) {
    runtime_init(argc, argv);
    int32_t rsize = 16, tsize = 1;
    Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {nullptr, nullptr}};
    int32_t count = 0;
    scan_options(settings, usage, &count);
    slots = count < 1 ? 1 : count;
    ring = static_cast<Field**>(std::malloc(sizeof(Field*) * size_t(slots)));
    if (ring == nullptr) fatal("can't allocate necessary memory!\n");

    area_create_kb(rsize, "rsize", &text);
    area_push_pact(0, grow_text, nullptr, nullptr, &text);
    area_create_kb(tsize, "tsize", &table);
    area_push_pact(0, grow_table, nullptr, nullptr, &table);
    bool show_names = nargs > 1;
    exit_if_errors(2);

    do {
        area_reset(&text);
        area_reset(&table);
        Input in;
        open_input(&in, INPUT_ONE_FILE);
        oldest = 0;
        kept = 0;
        while (Field* rec = next_record(&in, &text, &table)) {
            if (kept == slots) {
                // The window is full: the oldest record gives way.
                oldest = (oldest + 1) % slots;
                --kept;
                Field* first = ring[oldest];
                area_release(first->start, &text);
                area_release(first, &table);
                ring[(oldest + kept) % slots] = rec;
            } else {
                ring[(oldest + kept) % slots] = rec;
            }
            ++kept;
        }
        write_window(show_names, in.name);
    } while (nargs > 0);
    exit_if_errors(1);
    rk_exit(0);
}
