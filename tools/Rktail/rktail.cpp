// Rktail: copies the last N records of each input file. The window of
// records is kept in the storage areas themselves: the oldest record is
// released as each new one arrives, so memory holds at most N + 1 records.
#include <cstdlib>

#include "tool.h"

static const char usage[] =
    "Rktail [-N] [input-file ..]\n"
    "\tcopies last N (default 1) records to stdout.\n";

static int32_t rsize = 16, tsize = 1;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {nullptr, nullptr}};
static int32_t count = 0;
static const ToolSpec spec = {usage, "0123456789D:", settings, nullptr, &count};

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
    for_each_kept([area](Field* rec) { relocate_record(rec, area); });
    return 0;
}

// Growth of the table area: the slots follow their tables.
static int grow_table(void*, void*, Area* area) {
    area_double(nullptr, nullptr, area);
    for (int32_t i = 0; i < kept; ++i) area_relocate_cell(&ring[(oldest + i) % slots], area);
    return 0;
}

// Reads the input into the window, the oldest record giving way to each
// new one once the window is full.
static void fill_window(Input& in) {
    oldest = 0;
    kept = 0;
    while (Field* rec = next_record(&in, &text, &table)) {
        if (kept == slots) {
            oldest = (oldest + 1) % slots;
            --kept;
            Field* first = ring[oldest];
            area_release(first->start, &text);
            area_release(first, &table);
        }
        ring[(oldest + kept) % slots] = rec;
        ++kept;
    }
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    slots = count < 1 ? 1 : count;
    ring = static_cast<Field**>(std::malloc(sizeof(Field*) * size_t(slots)));
    if (ring == nullptr) fatal("can't allocate necessary memory!\n");
    tool_area("rsize", &text, grow_text);
    tool_area("tsize", &table, grow_table);
    bool show_names = nargs > 1;

    tool_each_file([show_names](Input& in) {
        area_reset(&text);
        area_reset(&table);
        fill_window(in);
        for_each_kept([show_names, &in](Field* rec) {
            if (show_names) write_filename(in.name);
            write_fields(rec);
        });
    });
}
