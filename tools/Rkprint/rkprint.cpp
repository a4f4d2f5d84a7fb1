// Rkprint: prints records as tables on pages: a row per record, a column per
// field name, columns past the width in bands below; with -g a page per group.
// Records are read ahead only as far as a page can hold.
#include <cstdlib>
#include <cstring>

#include "rkprint.h"

static const char usage[] =
    "Rkprint [-options] [input-file ..]\n"
    "\tprints records as paged tables.\n"
    "\tOptions:\n"
    "\t-x width\tpage width (default 80).\n"
    "\t-y height\tpage height (default 24).\n"
    "\t-n\tpads each page with newlines instead of a form feed.\n"
    "\t-h title\ttitle line (one per -h).\n"
    "\t-i field-list\tindex fields, shown first in every band.\n"
    "\t-p field-list\tfields to print (and their formats).\n"
    "\t-f field-list\toutput formats of fields.\n"
    "\t-z flags\tdefault format flags.\n"
    "\t-g key-field-list\ta new page for each group.\n"
    "\t-k key-flags\tdefault key flags for -g option.\n";

static int32_t rsize = 128, tsize = 48, nsize = 1, ksize = 1, lsize = 4, wsize = 1;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {"ksize", &ksize},
                             {"lsize", &lsize}, {"wsize", &wsize}, {nullptr, nullptr}};

int32_t page_width = 80, page_height = 24;
bool pad_pages = false;
FieldList format_list, print_list, group_list, index_list;
bool formats_given = false, print_given = false, group_given = false, index_given = false;
int32_t print_count = 0;

static const char *format_text = nullptr, *print_text = nullptr, *group_text = nullptr, *index_text = nullptr;
static const char *flags_text = nullptr, *z_text = "", *x_text = nullptr, *y_text = nullptr;
static const char** title_texts = nullptr;
static size_t title_room = 0;

static bool option(int letter) {
    switch (letter) {
    case 'n': pad_pages = true; return true;
    case 'x': x_text = opt_arg; return true;
    case 'y': y_text = opt_arg; return true;
    case 'h':
        grow_table(title_texts, title_room, size_t(title_count) + 1);
        title_texts[title_count++] = opt_arg;
        return true;
    case 'i': index_text = opt_arg; return true;
    case 'p': print_text = opt_arg; return true;
    case 'f': format_text = opt_arg; return true;
    case 'z': z_text = opt_arg; return true;
    case 'g': group_text = opt_arg; return true;
    case 'k': flags_text = opt_arg; return true;
    }
    return false;
}

static ToolSpec make_spec() {
    ToolSpec s{usage, "ng:h:i:k:f:z:p:x:y:D:", settings, option, nullptr};
    s.quiet_unknown = true;
    return s;
}
static const ToolSpec spec = make_spec();

static Area names, keys;

// ------------------------------------------------------------ the queue

// The look-ahead queue: `queued` records from place `head` on, in a ring of
// slot_count slots; their texts and tables in the rings text and table.
static Area text, table;
static Slot* queue = nullptr;
static int32_t slot_count = 0, head = 0, queued = 0;
static int64_t held_entries = 0;  // entries of the queued records' tables
static int64_t cell_bound = 0;
static const uint32_t* current_key = nullptr;

static Slot* queue_at(int32_t i) {
    int32_t k = head + i;  // i < slot_count
    return &queue[k < slot_count ? k : k - slot_count];
}

static int grow_text(void*, void*, Area* area) {
    area_double(nullptr, nullptr, area);
    for (int32_t i = 0; i < queued; ++i) relocate_record(queue_at(i)->record, area);
    return 0;
}
static int grow_tables(void*, void*, Area* area) {
    area_double(nullptr, nullptr, area);
    for (int32_t i = 0; i < queued; ++i) area_relocate_cell(&queue_at(i)->record, area);
    return 0;
}

// A page size: a decimal number, held to what 16-bit page positions take;
// none at all, zero or below leaves no page.
static int32_t page_size(const char* text, int32_t fallback) {
    if (text == nullptr) return fallback;
    long v = std::strtol(text, nullptr, 10);
    if (v <= 0) fatal("too small page size, stop!\n");
    return v > 32767 ? 32767 : int32_t(v);
}

// The digits of the number of the record read last, counted on from the
// record before (a file numbers its records one after the other).
static wchar_t counted[12];
static int32_t counted_number = 0, counted_length = 0;
static void count_record(int32_t number) {
    int32_t i = counted_length - 1;
    bool next = counted_number > 0 && number == counted_number + 1;
    if (next)
        while (i >= 0 && counted[i] == L'9') counted[i--] = L'0';
    if (next && i >= 0) ++counted[i];
    else counted_length = int32_t(decimal(number, counted));
    counted_number = number;
}

// Takes records into the queue while a page could still take them.
static bool input_done = false;
static void look_ahead(Input* in) {
    while (!input_done && queued < slot_count - 1) {
        if (print_count > 0 && int64_t(queued) * print_count > cell_bound) return;
        if (print_count == 0 && held_entries - 1 > cell_bound) return;
        Field* rec = next_record(in, &text, &table);
        if ((input_done = rec == nullptr)) return;
        Slot* s = queue_at(queued++);
        s->record = rec;
        s->fields = int32_t(record_end(rec) - rec) + 1;
        count_record(in->number);
        std::wmemcpy(s->number_text, counted, 12);
        s->number_length = counted_length;
        summarize_record(s);
        held_entries += s->fields;
    }
}

// Drops the records the page placed, and releases their texts and tables.
static void drop_placed(int32_t placed) {
    if (placed == 0) return;
    for (int32_t i = 0; i < placed; ++i) held_entries -= queue_at(i)->fields;
    Field* close = record_end(queue_at(placed - 1)->record);
    area_release(close->end + 1, &text);
    area_release(close + 1, &table);
    head = (head + placed) % slot_count;
    queued -= placed;
}

enum { QUEUE_EXHAUSTED = 0, KEY_CHANGED = 1, PAGE_FULL = 2 };
static size_t page_record_room = 0;

// Fills the page from the queue: records as long as the page takes them
// (and, with -g, their key is the page's).
static int fill_page(const uint32_t** next_key) {
    // An exclusive -g list shows no key lines.
    page.header_height = compute_header() + (group_given && group_list.inclusive ? key_line_count : 0);
    // The page must hold the blank line before the first band, its heading
    // and one row.
    if (page.header_height + band_gap + 2 > page_height) fatal("too small page size, stop!\n");
    layout_begin();
    page.placed = 0;
    for (int32_t i = 0; i < queued; ++i) {
        Slot* s = queue_at(i);
        if (group_given && i > 0) {
            uint32_t* key = make_key(s->record, &group_list, &keys, &names);
            if (compare_keys(key, current_key, &group_list) != 0) {
                *next_key = key;
                return KEY_CHANGED;
            }
            area_drop(key, &keys);
        }
        grow_table(page.records, page_record_room, size_t(i) + 1);
        page.records[page.placed++] = s;
        add_record_to_page();
        if (page.height > page_height) {
            if (page.placed > 1) {
                --page.placed;
                layout_roll_back();
            }
            return PAGE_FULL;
        }
    }
    return QUEUE_EXHAUSTED;
}

static void parse_lists() {
    format_defaults(FORMAT_OUTPUT, "", z_text, &names);
    if (format_text) {
        format_list_read(format_text, &format_list, FORMAT_OUTPUT, &names);
        watch_list(&format_list);
        formats_given = true;
    }
    if (print_text) {
        format_list_read(print_text, &print_list, FORMAT_OUTPUT, &names);
        watch_list(&print_list);
        print_given = true;
        print_count = print_list.inclusive ? print_list.included_count : -print_list.excluded_count;
    }
    if (group_text) {
        tool_key_list(group_text, flags_text, &group_list, &names);
        group_given = true;
    }
    if (index_text) {
        tool_field_list(index_text, &index_list, &names);
        index_given = true;
    }
    if (formats_given && !format_list.inclusive) warn(WARN_ERROR, "exclusinve list is not allowed in -f.\n");
    if (index_given && !index_list.inclusive) warn(WARN_ERROR, "exclusinve list is not allowed in -i.\n");
    if (print_given && print_list.inclusive && print_list.included_count == 0)
        warn(WARN_ERROR, "field-list is required for -p.\n");
    if (group_given && group_list.inclusive && group_list.included_count == 0)
        warn(WARN_ERROR, "field-list is required for -g.\n");
}

static void print_file(Input* in) {
    head = queued = 0;
    held_entries = 0;
    input_done = false;
    header_start_file(in->name);
    area_reset(&text);
    area_reset(&table);
    if (group_given) {
        area_reset(&keys);
        current_key = nullptr;
    }
    look_ahead(in);
    while (queued > 0) {
        if (group_given && current_key == nullptr) {
            current_key = make_key(queue_at(0)->record, &group_list, &keys, &names);
            build_key_lines(current_key);
        }
        const uint32_t* next_key = nullptr;
        int result = fill_page(&next_key);
        write_page();
        drop_placed(page.placed);
        if (group_given && result == KEY_CHANGED) {
            area_release(next_key, &keys);
            current_key = next_key;
            build_key_lines(current_key);
        } else if (group_given && result == QUEUE_EXHAUSTED) {
            area_reset(&keys);
            current_key = nullptr;
        }
        look_ahead(in);
    }
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    out_units(OUT_MARKED);  // a unit is a page
    init_character_classes();
    tool_area("nsize", &names, nullptr, 8);
    tool_area("wsize", scratch_area());
    if (group_text) {
        tool_area("ksize", &keys);
        area_push_pact(0, relocate_pair, &current_key, nullptr, &keys);
    }
    page_width = page_size(x_text, 80);
    page_height = page_size(y_text, 24);
    cell_bound = int64_t(page_height) * ((page_width + 1) / 2);
    slot_count = page_height < 2 ? 2 : page_height;  // room for one record at least: a page too low says so
    queue = static_cast<Slot*>(std::calloc(size_t(slot_count), sizeof(Slot)));
    if (queue == nullptr) fatal("can't allocate necessary memory!\n");
    tool_area("rsize", &text, grow_text);
    tool_area("tsize", &table, grow_tables);
    tool_area("lsize", &layout_area);  // the page's columns
    area_push_pact(0, relocate_pair, &page.columns, nullptr, &layout_area);
    header_set_titles(title_texts);
    parse_lists();
    header_shown = nargs > 0 || title_count > 0;
    layout_lists();
    tool_each_file([](Input& in) { print_file(&in); });
}
