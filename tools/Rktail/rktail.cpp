// Rktail: copies the last N records of each input file. The window of
// records is kept in a storage area as the bytes they are written as: the
// oldest record is released as each new one arrives, so memory holds at
// most N + 1 records.
#include <cstdlib>
#include <cstring>

#include "tool.h"

static const char usage[] =
    "Rktail [-N] [input-file ..]\n"
    "\tcopies last N (default 1) records to stdout.\n";

static int32_t rsize = 16, tsize = 1;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {nullptr, nullptr}};
static int32_t count = 0;
static const ToolSpec spec = {usage, "0123456789D:", settings, nullptr, &count};

// The window: `kept` records in slots oldest, oldest+1, ... modulo slots,
// each the bytes it is written as (its lines, without the empty line that
// ends it) in the area `window`. A record that comes as its bytes is copied;
// one that is read is encoded.
struct Kept {
    char* text;
    size_t length;
};
static Kept* ring;
static int32_t slots;
static int32_t oldest;
static int32_t kept;
static Area window, text, table;

template <typename F>
static void for_each_kept(F fn) {
    for (int32_t i = 0; i < kept; ++i) fn(ring[(oldest + i) % slots]);
}

// Growth of the window: every kept record follows.
static int grow_window(void*, void*, Area* area) {
    area_double(nullptr, nullptr, area);
    for_each_kept([area](Kept& k) { area_relocate_cell(&k.text, area); });
    return 0;
}

// The record just read, as bytes in the window.
static Kept copy(Field* rec, const RecordBytes& bytes) {
    if (rec) {
        char* t = wcs_to_area_mb(rec->start, &window);
        return Kept{t, std::strlen(t)};
    }
    char* t = static_cast<char*>(area_alloc(bytes.length, &window));
    if (t == nullptr) fatal("can't allocate necessary memory!\n");
    std::memcpy(t, bytes.text, bytes.length);
    return Kept{t, bytes.length};
}

// Reads the input into the window, the oldest record giving way to each
// new one once the window is full.
static void fill_window(Input& in) {
    oldest = 0;
    kept = 0;
    RecordBytes bytes;
    for (;;) {
        area_reset(&text);
        area_reset(&table);
        Field* rec = next_record_bytes(&in, &bytes, &text, &table);
        if (rec == nullptr && bytes.text == nullptr) break;
        if (kept == slots) {
            oldest = (oldest + 1) % slots;
            --kept;
            if (kept > 0) area_release(ring[oldest].text, &window);
            else area_reset(&window);
        }
        ring[(oldest + kept) % slots] = copy(rec, bytes);
        ++kept;
    }
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    slots = count < 1 ? 1 : count;
    ring = static_cast<Kept*>(std::malloc(sizeof(Kept) * size_t(slots)));
    if (ring == nullptr) fatal("can't allocate necessary memory!\n");
    tool_area("rsize", &window, grow_window);
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    bool show_names = nargs > 1;
    tool_each_file([show_names](Input& in) {
        area_reset(&window);
        fill_window(in);
        for_each_kept([show_names, &in](const Kept& k) {
            if (show_names) write_filename(in.name);
            RecordBytes b{reinterpret_cast<const unsigned char*>(k.text), k.length};
            write_record_bytes(&b);
        });
    });
}
