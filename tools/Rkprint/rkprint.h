// Rkprint: the paging (rkprint.cpp), the layout of a page (layout.cpp) and
// its writing (page.cpp) share the state declared here.
#pragma once

#include <cstdint>
#include <cwchar>

#include "charclass.h"
#include "format.h"
#include "nameorder.h"
#include "tool.h"

extern int32_t page_width, page_height;
extern bool pad_pages;
constexpr double column_gap = 1, band_gap = 1;

extern FieldList format_list, print_list, group_list, index_list;
extern bool formats_given, print_given, group_given, index_given;
extern int32_t print_count;  // -p: its entries when plain, minus them when excluding

struct Text {
    wchar_t* chars = nullptr;
    size_t room = 0, used = 0;
    void clear() { used = 0; }
    void put(wchar_t c) {
        if (used == room) grow_table(chars, room, used + 1);
        chars[used++] = c;
    }
    void fill(wchar_t c, size_t n) {
        if (room - used < n) grow_table(chars, room, used + n);
        std::wmemset(chars + used, c, n);
        used += n;
    }
    void append(const wchar_t* s, size_t n) {
        if (n == 0) return;
        if (room - used < n) grow_table(chars, room, used + n);
        std::wmemcpy(chars + used, s, n);
        used += n;
    }
};

// The display width of printable text; the display form of any text
// (controls as ^X, other unprintable characters as <hex bytes>).
double text_width(const wchar_t* s, size_t n);
void display_form(const wchar_t* s, size_t n, Text* out);
// `s` itself when all printable, else its display form in `scratch` (*n set).
const wchar_t* shown_text(const wchar_t* s, size_t* n, Text* scratch);
// The decimal digits of n at `out` (room for 12); their number.
size_t decimal(int32_t n, wchar_t* out);

// ------------------------------------------------------------ summaries
// One value of a summary entry: its text (in the record's line, or in the
// slot's own text for converted and display forms).
struct SummaryValue {
    int32_t field;   // the record's field holding the text, or -1: the slot's text
    int32_t next;    // the entry's next value, or -1
    size_t offset;   // from the field's start, or in the slot's text
    size_t length;
    double width, left, right;
};
// One distinct field name of a record.
struct SummaryEntry {
    int32_t field;         // the first field of the name, or -1 for a field without a name
    uint32_t name_length;  // with the colon
    int attribute;
    int flags;             // 1 left-aligned, 2 right-aligned (format flags l and r)
    double left, right;
    int32_t count, first, last;
    int32_t node;          // the name's among the names summarized
};
// A record read, and its summary.
struct Slot {
    Field* record;
    int32_t fields;   // entries of its table, the closing one included
    wchar_t number_text[12];  // the digits of its number in its input file
    int32_t number_length;
    int32_t* listed = nullptr;  // its entries of the -i names then of the names of a plain -p (-1: none)
    size_t listed_room = 0;
    SummaryEntry* entries = nullptr;
    size_t entry_room = 0;
    int32_t entry_count = 0;
    SummaryValue* values = nullptr;
    size_t value_room = 0;
    int32_t value_count = 0;
    int32_t most_values;  // of one entry
    uint32_t names_generation;  // of the names summarized, when it was
    Text text;
};
void summarize_record(Slot* slot);
// Where values are converted by their formats.
Area* scratch_area();
inline const wchar_t* entry_name(const Slot* slot, const SummaryEntry* e) {
    return e->field < 0 ? L":" : slot->record[e->field].start;
}
inline const wchar_t* value_text(const Slot* slot, const SummaryValue* v) {
    return v->field < 0 ? slot->text.chars + v->offset : slot->record[v->field].start + v->offset;
}

// ------------------------------------------------------------ the page
enum { FORMAT_FLAG_LEFT = 1, FORMAT_FLAG_RIGHT = 2 };
constexpr int32_t RECORD_NUMBER = -2;  // the "entry" of the record-number column

// A column of the page: its name and the widths its values so far give it.
struct Column {
    const wchar_t* name;  // with its colon (in storage that outlives the page)
    uint32_t length;
    double name_width;
    int attribute;
    int flags;
    double left, right, total;
    bool made;  // a record has given it its first widths
};
// A record's cell: a column and the record's summary entry in it.
struct Cell {
    int32_t column, entry;
};
struct BandColumn {
    double x;
    int32_t column;
};
struct Band {
    int32_t first, count;  // its columns in the band columns, the index columns first
    double height;
};

// Columns 0 .. index_count - 1: the -i fields, or the record number.
extern int32_t index_count;

struct Page {
    Slot** records;         // the records placed, in page order
    int32_t placed;
    double header_height;
    Column* columns;        // the object growing at the head of lsize
    int32_t column_count;
    Cell* cells;            // record r's: cell_start[r] .. cell_start[r + 1] - 1
    int32_t* cell_start;
    int32_t* order;         // the other columns, in the page's order
    int32_t order_count;
    BandColumn* band_columns;
    Band* bands;
    int32_t band_count;
    double* column_x;       // each column's place in its band
    int32_t* column_band;   // and its band
    double height;          // of the whole page
};
extern Page page;
extern Area layout_area;

void layout_begin();
// Adds page.records[page.placed - 1] to the layout; sets page.height.
void add_record_to_page();
// Takes the record added last off again (page.placed already less one).
void layout_roll_back();
// The number of values a cell holds.
inline int32_t cell_values(const Cell& c, const Slot* s) {
    return c.entry == RECORD_NUMBER ? 1 : s->entries[c.entry].count;
}
// The top line of every record's row in every band: [b * placed + r].
const double* page_row_tops();
// Once the lists are parsed.
void layout_lists();

// ------------------------------------------------------------ output
void header_start_file(const char* name);
extern bool header_shown;
// The header of the next page; its height.
double compute_header();
// The key lines of a group key (with -g); their number.
int32_t build_key_lines(const uint32_t* key);
extern int32_t key_line_count;
// The titles of -h (a text that does not convert ends the run).
void header_set_titles(const char* const* texts);
extern int32_t title_count;
void write_page();
