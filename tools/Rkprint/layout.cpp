// The layout of a page: each record's summary of its fields, the merged
// order of the page's names, the columns, the bands and their heights.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwctype>

#include "rkprint.h"

// ------------------------------------------------------------ texts

double text_width(const wchar_t* s, size_t n) {
    size_t w = 0;
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = uint32_t(s[i]);
        if (c - 0x20 < 0x5F) {
            ++w;
        } else {
            int k = wcwidth(wchar_t(c));
            if (k > 0) w += size_t(k);
        }
    }
    return double(w);
}

static bool printable(wchar_t c) { return (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && std::iswprint(wint_t(c))); }

void display_form(const wchar_t* s, size_t n, Text* out) {
    static const char digits[] = "0123456789abcdef:";
    for (size_t i = 0; i < n; ++i) {
        wchar_t c = s[i];
        if (printable(c)) {
            out->put(c);
        } else if (c >= 0 && c < 0x20) {
            out->put(L'^');
            out->put(c | 0x40);
        } else {
            // Any other by the bytes of its encoding (none: left out).
            char bytes[MB_LEN_MAX];
            std::mbstate_t state{};
            size_t k = std::wcrtomb(bytes, c, &state);
            if (k == size_t(-1)) continue;
            out->put(L'<');
            for (size_t j = 0; j < k; ++j) {
                unsigned char b = static_cast<unsigned char>(bytes[j]);
                out->put(wchar_t(digits[b >> 4]));
                out->put(wchar_t(digits[b & 15]));
            }
            out->put(L'>');
        }
    }
}

size_t decimal(int32_t n, wchar_t* out) {
    wchar_t digits[12];
    size_t k = 0;
    uint32_t u = n < 0 ? 0u - uint32_t(n) : uint32_t(n);
    do digits[k++] = wchar_t(L'0' + u % 10); while (u /= 10);
    size_t m = 0;
    if (n < 0) out[m++] = L'-';
    while (k > 0) out[m++] = digits[--k];
    return m;
}

const wchar_t* shown_text(const wchar_t* s, size_t* n, Text* scratch) {
    for (size_t i = 0; i < *n; ++i) {
        if (printable(s[i])) continue;
        scratch->clear();
        display_form(s, *n, scratch);
        *n = scratch->used;
        return scratch->chars;
    }
    return s;
}

// ------------------------------------------------------------ summaries

struct NameFormat {
    const FieldFormat* format;
    bool found, left_out, format_found;
};
// What the summaries keep from record to record.
struct Summaries {
    // The names summarized, with each name's entry in the record
    // summarized last. Forgotten when they grow many.
    NameOrder names;
    int32_t* entry = nullptr;
    size_t entry_room = 0;
    // The record each name was last met in; the record before's names by place.
    uint64_t* stamp = nullptr;
    size_t stamp_room = 0;
    uint64_t serial = 0;
    int32_t* field_nodes = nullptr;
    size_t field_node_room = 0;
    int32_t field_node_count = 0;
    NameFormat* formats = nullptr;
    size_t format_room = 0;
    Text form;     // a display form being made
    Area scratch;  // conversions of values by their formats
    // The nodes of the -i names then of the names of a plain -p.
    int32_t listed_count = 0;
    int32_t* listed_nodes = nullptr;
};
static Summaries summary;
Area* scratch_area() { return &summary.scratch; }
static Text column_form;  // a display form being made for a column's heading

// The names of -i and -p in storage that stays, in list order.
static NameOrder list_names;
struct ListName {
    const wchar_t* name;
    uint32_t length;
};
static ListName* index_names = nullptr;
static ListName* print_names = nullptr;
static int32_t print_names_count = 0;

static const ListName& listed_name(int32_t k) {
    int32_t indexes = index_given ? index_count : 0;
    return k < indexes ? index_names[k] : print_names[k - indexes];
}

// Starts a generation of the names summarized with the listed names.
static void take_listed_names() {
    int mark;
    for (int32_t k = 0; k < summary.listed_count; ++k)
        summary.listed_nodes[k] = name_order_take(&summary.names, listed_name(k).name, listed_name(k).length, &mark);
}

// The format a field is shown with: its entry's in -f, else in -p.
static const FieldFormat* field_format(const Field* f) {
    size_t n = field_name_key(f);
    FieldListEntry* e = nullptr;
    if ((formats_given && field_list_match(&format_list, f->start, n, &e, nullptr) == 1) ||
        (print_given && field_list_match(&print_list, f->start, n, &e, nullptr) == 1))
        return e->format ? e->format : &default_format;
    return nullptr;
}

// The parts of a value left and right of its alignment point, under its
// entry's attribute and flags.
static void measure(SummaryValue* v, const wchar_t* text, int attribute, int flags) {
    if (flags & FORMAT_FLAG_RIGHT) {
        v->left = v->width, v->right = 0;
    } else if (flags & FORMAT_FLAG_LEFT) {
        v->left = 0, v->right = v->width;
    } else if (attribute & ATTR_SIGNED) {
        v->left = v->width, v->right = 0;
    } else if (attribute & ATTR_FLOAT) {
        const wchar_t* end = text + v->length;
        const wchar_t* at = nullptr;
        for (wchar_t mark : {wchar_t(static_cast<unsigned char>(decimal_point)), L'e', L'E'}) {
            at = std::find(text, end, mark);
            if (at != end) break;
        }
        if (at == end) {
            v->left = v->width, v->right = 0;
        } else {
            v->left = text_width(text, size_t(at - text));
            v->right = v->width - v->left;
        }
    } else {
        v->left = 0, v->right = v->width;
    }
}

// Forgets the names summarized when they have grown many.
static void forget_names_if_many() {
    if (summary.names.count <= 65536) return;
    name_order_clear(&summary.names);
    summary.field_node_count = 0;
    std::fill(summary.stamp, summary.stamp + summary.stamp_room, uint64_t(0));
    std::fill(summary.formats, summary.formats + summary.format_room, NameFormat{});
    take_listed_names();
}

// The node of field i's name: the name at its place in the record before,
// else looked up.
static int32_t field_node(int32_t i, const wchar_t* name, size_t n) {
    int32_t node = i < summary.field_node_count ? summary.field_nodes[i] : -1;
    if (node < 0 || summary.names.nodes[node].length != n ||
        std::wmemcmp(name_order_name(&summary.names, node), name, n) != 0) {
        int mark;
        node = name_order_take(&summary.names, name, n, &mark);
        grow_table(summary.entry, summary.entry_room, size_t(summary.names.count));
        grow_table_zeroed(summary.stamp, summary.stamp_room, size_t(summary.names.count));
        grow_table_zeroed(summary.formats, summary.format_room, size_t(summary.names.count));
    }
    summary.field_nodes[i] = node;
    return node;
}

// Whether a plain -p leaves field f off the page; else its format in
// *format (a line without a colon has none). Both found once per name.
static bool left_out(int32_t node, const Field* f, const FieldFormat** format) {
    NameFormat& known = summary.formats[node];
    if (!known.found) {
        known.found = true;
        int32_t* end = summary.listed_nodes + summary.listed_count;
        known.left_out = print_given && print_list.inclusive && std::find(summary.listed_nodes, end, node) == end;
    }
    if (known.left_out) return true;
    if (field_name_key(f) > 0) {
        if (!known.format_found) known.format = field_format(f), known.format_found = true;
        *format = known.format;
    }
    return false;
}

static const wchar_t* keep_text(Slot* s, SummaryValue* v, const wchar_t* text, size_t n) {
    v->field = -1;
    v->offset = s->text.used;
    v->length = n;
    s->text.append(text, n);
    return s->text.chars + v->offset;
}

// Field i's value as shown (converted, in display form) and its width;
// returns its attribute.
static int shown_value(Slot* s, int32_t i, const FieldFormat* format, SummaryValue* v) {
    const Field* f = &s->record[i];
    v->field = i, v->next = -1, v->offset = size_t(f->value - f->start), v->length = size_t(f->end - f->value);
    const wchar_t* text = f->value;
    if (format && format->cfmt) {
        wchar_t* converted = cfmt_convert(f->value, v->length, format, &summary.scratch);
        text = keep_text(s, v, converted, converted ? std::wcslen(converted) : 0);
        area_reset(&summary.scratch);
    }
    int attribute = classify_value(0, text, unsigned(v->length > UINT32_MAX ? UINT32_MAX : v->length), nullptr);
    if (attribute & ATTR_UNPRINTABLE) {
        summary.form.clear();
        display_form(text, v->length, &summary.form);
        text = keep_text(s, v, summary.form.chars, summary.form.used);
    }
    // Printable ASCII is one column a character.
    v->width = attribute & (ATTR_NON_ASCII | ATTR_UNPRINTABLE) ? text_width(text, v->length) : double(v->length);
    return attribute;
}

// Adds the record's next value v to the entry of its name (in field
// name_field, or -1), made by the first field of the name.
static void add_value(Slot* s, SummaryValue* v, int32_t name_field, uint32_t name_length, int32_t node, int attribute,
                      const FieldFormat* format) {
    int32_t k = s->value_count++;
    if (summary.stamp[node] == summary.serial) {
        SummaryEntry* entry = &s->entries[summary.entry[node]];
        entry->attribute = merge_attributes(entry->attribute, attribute);
        s->values[entry->last].next = k;
        entry->last = k;
        ++entry->count;
        return;
    }
    summary.stamp[node] = summary.serial;
    int flags = format ? format->options & (FORMAT_L | FORMAT_R) : 0;
    measure(v, value_text(s, v), attribute, flags);
    s->entries[summary.entry[node] = s->entry_count++] =
        SummaryEntry{name_field, name_length, attribute, flags, v->left, v->right, 1, k, k, node};
}

// The values of names met several times, parted by the attribute of them
// all; the entry's parts are the widest.
static void measure_again(Slot* s) {
    for (int32_t e = 0; e < s->entry_count; ++e) {
        SummaryEntry& entry = s->entries[e];
        if (entry.count == 1) continue;
        s->most_values = std::max(s->most_values, entry.count);
        entry.left = entry.right = 0;
        for (int32_t k = entry.first; k >= 0; k = s->values[k].next) {
            SummaryValue* v = &s->values[k];
            measure(v, value_text(s, v), entry.attribute, entry.flags);
            entry.left = std::max(entry.left, v->left);
            entry.right = std::max(entry.right, v->right);
        }
    }
}

// The record's entries of the listed names, -1 for a name it lacks.
static void find_listed_entries(Slot* s) {
    grow_table(s->listed, s->listed_room, size_t(summary.listed_count) + 1);
    for (int32_t k = 0; k < summary.listed_count; ++k) {
        size_t node = size_t(summary.listed_nodes[k]);
        s->listed[k] = node < summary.stamp_room && summary.stamp[node] == summary.serial ? summary.entry[node] : -1;
    }
}

void summarize_record(Slot* s) {
    forget_names_if_many();
    s->entry_count = s->value_count = 0;
    s->names_generation = summary.names.generation;
    s->text.clear();
    ++summary.serial;
    size_t fields = size_t(s->fields);
    grow_table(s->entries, s->entry_room, fields);
    grow_table(s->values, s->value_room, fields);
    grow_table(summary.field_nodes, summary.field_node_room, fields);
    const Field* record = s->record;
    int32_t i = 0;
    for (; record[i].start; ++i) {
        const Field* f = &record[i];
        bool named = field_has_name(f);
        uint32_t n = named ? uint32_t(f->value - f->start) : 1;  // the name with its colon
        int32_t node = field_node(i, named ? f->start : L":", n);
        const FieldFormat* format = nullptr;
        if ((formats_given || print_given) && left_out(node, f, &format)) continue;
        SummaryValue* v = &s->values[s->value_count];
        int attribute = shown_value(s, i, format, v);
        add_value(s, v, named ? i : -1, n, node, attribute, format);
    }
    summary.field_node_count = i;
    s->most_values = s->value_count > 0 ? 1 : 0;
    if (s->value_count > s->entry_count) measure_again(s);  // values of one name
    find_listed_entries(s);
}

// ------------------------------------------------------------ columns

Page page;
Area layout_area;
int32_t index_count = 1;

// The merged order of the page's names, and per name its column (or -1).
static NameOrder page_names;
static int32_t* name_columns = nullptr;
static size_t name_column_room = 0;

static size_t cell_room = 0, cell_start_room = 0, order_room = 0, band_column_room = 0, band_room = 0,
              column_x_room = 0, column_band_room = 0;
// The columns and order before the record being added changed them.
struct Undo {
    int32_t column;
    Column before;
};
static Undo* undo = nullptr;
static size_t undo_room = 0, undo_count = 0;
static int32_t* order_before = nullptr;
static size_t order_before_room = 0;
static int32_t order_before_count = 0;
static bool order_made = false;
// The page's record whose names were merged last, and its entries' columns (-1: none).
static int32_t merged_last = -1, *merged_columns = nullptr;
static size_t merged_column_room = 0;
// The records of the page with a cell of several values.
static int32_t* multi = nullptr;
static size_t multi_room = 0;
static int32_t multi_count = 0;

static const wchar_t record_number_name[] = L"rec#:";

static ListName* copy_names(const FieldList* list, int32_t* count) {
    *count = 0;
    for (const FieldListEntry* e = list->included; e; e = e->next) ++*count;
    ListName* names = static_cast<ListName*>(checked_malloc(sizeof(ListName) * size_t(*count + 1)));
    int32_t k = 0;
    int mark;
    for (const FieldListEntry* e = list->included; e; e = e->next, ++k) {
        name_order_next_record(&list_names);
        int32_t node = name_order_take(&list_names, e->name, e->length, &mark);
        names[k] = ListName{name_order_name(&list_names, node), uint32_t(e->length)};
    }
    return names;
}

void layout_lists() {
    if (index_given) index_names = copy_names(&index_list, &index_count);
    if (print_given && print_list.inclusive) print_names = copy_names(&print_list, &print_names_count);
    summary.listed_count = (index_given ? index_count : 0) + print_names_count;
    summary.listed_nodes = static_cast<int32_t*>(checked_malloc(sizeof(int32_t) * size_t(summary.listed_count + 1)));
    take_listed_names();
}

void layout_begin() {
    name_order_clear(&page_names);
    area_reset(&layout_area);
    page.columns = nullptr;
    page.column_count = 0;
    page.order_count = 0;
    page.band_count = 0;
    page.height = 0;
    multi_count = 0;
    merged_last = -1;
}

static int32_t make_column(const wchar_t* name, uint32_t length) {
    size_t n = length - 1;  // the heading is the name without its colon, as shown
    const wchar_t* heading = shown_text(name, &n, &column_form);
    double width = text_width(heading, n);
    Column* c = static_cast<Column*>(area_extend(sizeof(Column), &page.columns, &layout_area));
    *c = Column{name, length, width, 0, 0, 0, 0, 0, false};
    return page.column_count++;
}

// The widths a record's entry e (or none) gives a column.
static bool widths_changed = false;  // by the record being added
[[gnu::always_inline]] static inline void widen(int32_t column, const SummaryEntry* e) {
    Column* c = &page.columns[column];
    if (c->made && !e) return;
    int attribute = c->attribute, flags = c->flags;
    double left = c->left, right = c->right;
    if (!c->made) {
        if (e) attribute |= e->attribute, flags = e->flags, left = e->left, right = e->right;
    } else {
        attribute = merge_attributes(attribute, e->attribute);
        if (flags & FORMAT_FLAG_RIGHT) {
            right = 0, left = std::max(left, e->left);
        } else if (flags & FORMAT_FLAG_LEFT) {
            left = 0, right = std::max(right, e->right);
        } else if (attribute & ATTR_FLOAT) {
            left = std::max(left, e->left), right = std::max(right, e->right);
        } else {
            right = std::max(left + right, e->left + e->right), left = 0;
        }
        if (attribute == c->attribute && left == c->left && right == c->right) return;
    }
    grow_table(undo, undo_room, undo_count + 1);
    undo[undo_count++] = Undo{column, *c};
    double total = std::max(left + right, c->name_width);
    if (!c->made || total != c->total) widths_changed = true;
    c->made = true;
    c->attribute = attribute, c->flags = flags, c->left = left, c->right = right, c->total = total;
}

static void add_cell(int32_t column, int32_t entry) {
    page.cells[page.cell_start[page.placed]++] = Cell{column, entry};
}

// Bands from the page's columns, each led by the index columns; whether a
// column changed its band or the bands their number.
static bool make_bands() {
    int32_t bands_before = page.band_count, band = -1, n = 0, count = page.order_count, lead = index_count;
    bool moved = false;
    grow_table(page.column_x, column_x_room, size_t(page.column_count));
    grow_table_zeroed(page.column_band, column_band_room, size_t(page.column_count));
    grow_table(page.bands, band_room, size_t(count) + 1);  // at most a band per column
    grow_table(page.band_columns, band_column_room, size_t(count) * size_t(lead + 1) + 1);
    const Column* columns = page.columns;
    BandColumn* made = page.band_columns;  // n of them
    Band* bands = page.bands;
    double x = 0, width = page_width;
    for (int32_t k = 0; k < count; ++k) {
        int32_t column = page.order[k];
        double total = columns[column].total;
        if (band < 0 || x + total > width) {
            if (band >= 0) bands[band].count = n - bands[band].first;
            bands[++band].first = n;
            x = 0;
            for (int32_t i = 0; i < lead; ++i) {
                made[n++] = BandColumn{x, i};
                x += columns[i].total + column_gap;
            }
            if (x > width) fatal("too long -i fields!\n");
        }
        made[n++] = BandColumn{x, column};
        page.column_x[column] = x;
        moved |= page.column_band[column] != band;
        page.column_band[column] = band;
        x += total + column_gap;
    }
    if (band >= 0) bands[band].count = n - bands[band].first;
    page.band_count = band + 1;
    return moved || page.band_count != bands_before;
}

// The extra lines of a record's rows over one, per band.
static double* band_extra = nullptr;
static size_t band_extra_room = 0;
template <typename Each>
static void record_extras(int32_t r, Each each) {
    const Slot* s = page.records[r];
    grow_table(band_extra, band_extra_room, size_t(page.band_count) + 1);
    std::fill(band_extra, band_extra + page.band_count, 0.0);
    double everywhere = 0;
    for (int32_t k = page.cell_start[r]; k < page.cell_start[r + 1]; ++k) {
        const Cell& c = page.cells[k];
        double extra = cell_values(c, s) - 1;
        if (extra <= 0) continue;
        if (c.column < index_count) everywhere = std::max(everywhere, extra);
        else band_extra[page.column_band[c.column]] = std::max(band_extra[page.column_band[c.column]], extra);
    }
    for (int32_t b = 0; b < page.band_count; ++b) each(b, std::max(everywhere, band_extra[b]));
}

static void band_heights() {
    page.height = page.header_height;
    for (int32_t b = 0; b < page.band_count; ++b) page.bands[b].height = 1 + page.placed;
    for (int32_t m = 0; m < multi_count; ++m)
        record_extras(multi[m], [](int32_t b, double extra) { page.bands[b].height += extra; });
    for (int32_t b = 0; b < page.band_count; ++b) page.height += band_gap + page.bands[b].height;
}

static double* row_table = nullptr;
static size_t row_table_room = 0;
const double* page_row_tops() {
    size_t placed = size_t(page.placed), n = size_t(page.band_count) * placed;
    grow_table(row_table, row_table_room, n + 1);
    // Each row's height first: a line, and the extra ones of its record.
    std::fill(row_table, row_table + n, 1.0);
    for (int32_t m = 0; m < multi_count; ++m) {
        size_t r = size_t(multi[m]);
        record_extras(multi[m], [r, placed](int32_t b, double extra) { row_table[size_t(b) * placed + r] += extra; });
    }
    double line = page.header_height + band_gap;
    for (int32_t b = 0; b < page.band_count; ++b) {
        double top = line + 1;  // under the band's heading
        for (double* row = row_table + size_t(b) * placed; row < row_table + size_t(b + 1) * placed; ++row) {
            double height = *row;
            *row = top;
            top += height;
        }
        line += page.bands[b].height + band_gap;
    }
    return row_table;
}

// Room for the cells of record r (the page's last).
static void make_cell_room(int32_t r, const Slot* s) {
    grow_table(page.cell_start, cell_start_room, size_t(r) + 2);
    if (r == 0) page.cell_start[0] = 0;
    page.cell_start[r + 1] = page.cell_start[r];
    grow_table(page.cells, cell_room, size_t(page.cell_start[r]) + size_t(index_count + s->entry_count + print_names_count) + 1);
}

// The index columns: the -i fields, or the record number.
static void add_index_cells(int32_t r, const Slot* s) {
    if (r == 0) {
        for (int32_t k = 0; k < index_count; ++k)
            index_given ? make_column(index_names[k].name, index_names[k].length) : make_column(record_number_name, 5);
    }
    SummaryEntry number{-1, 0, 0x3F, 0, double(s->number_length), 0, 1, -1, -1, -1};
    for (int32_t k = 0; k < index_count; ++k) {
        int32_t e = index_given ? s->listed[k] : RECORD_NUMBER;
        widen(k, e == RECORD_NUMBER ? &number : e >= 0 ? &s->entries[e] : nullptr);
        if (e != -1) add_cell(k, e);
    }
}

// The columns of a plain -p: its names, in its order.
static void add_print_cells(int32_t r, const Slot* s) {
    if (r == 0) {
        for (int32_t k = 0; k < print_names_count; ++k) {
            int32_t column = make_column(print_names[k].name, print_names[k].length);
            grow_table(page.order, order_room, size_t(k) + 1);
            page.order[page.order_count++] = column;
        }
    }
    for (int32_t k = 0; k < print_names_count; ++k) {
        int32_t e = s->listed[(index_given ? index_count : 0) + k];
        widen(index_count + k, e >= 0 ? &s->entries[e] : nullptr);
        if (e >= 0) add_cell(index_count + k, e);
    }
}

static bool no_column(const wchar_t* name, uint32_t n) {
    return (group_given && field_list_match(&group_list, name, n, nullptr, nullptr) != 0) ||
           (index_given && field_list_match(&index_list, name, n, nullptr, nullptr) == 1) ||
           (print_given && field_list_match(&print_list, name, n, nullptr, nullptr) == 0);
}

// Record r's cells, when its names are among those of merged_last and in
// their order: merging them would leave every name in place. False, with
// no cell added, when they are not.
static bool cells_as_merged(int32_t r, const Slot* s) {
    const Slot* m = merged_last >= 0 ? page.records[merged_last] : nullptr;
    if (!m || m->names_generation != s->names_generation) return false;
    Cell* const first = page.cells + page.cell_start[r + 1];
    Cell* out = first;
    for (int32_t e = 0, j = 0; e < s->entry_count; ++e, ++j) {
        int32_t node = s->entries[e].node;
        while (j < m->entry_count && m->entries[j].node != node) ++j;
        if (j == m->entry_count) return false;
        if (merged_columns[j] >= 0) *out++ = Cell{merged_columns[j], e};
    }
    page.cell_start[r + 1] = int32_t(out - page.cells);
    for (const Cell* c = first; c < out; ++c) widen(c->column, &s->entries[c->entry]);
    return true;
}

// Merges record r's names into the page's order; whether a column moved
// or came.
static bool merge_names(int32_t r, const Slot* s) {
    if (cells_as_merged(r, s)) return false;
    merged_last = r;
    grow_table(merged_columns, merged_column_room, size_t(s->entry_count));
    bool order_changed = false;
    name_order_next_record(&page_names);
    for (int32_t e = 0; e < s->entry_count; ++e) {
        const SummaryEntry& entry = s->entries[e];
        const wchar_t* name = entry_name(s, &entry);
        int mark;
        int32_t node = name_order_take(&page_names, name, entry.name_length, &mark);
        if (mark == NAME_NEW) {
            grow_table(name_columns, name_column_room, size_t(node) + 1);
            name_columns[node] =
                no_column(name, entry.name_length) ? -1 : make_column(name_order_name(&page_names, node), entry.name_length);
        }
        int32_t column = merged_columns[e] = name_columns[node];
        if (column < 0) continue;
        if (mark != NAME_STAYED) order_changed = true;
        widen(column, &entry);
        add_cell(column, e);
    }
    return order_changed;
}

// The page's columns in the merged order (the order before kept).
static void take_merged_order() {
    std::swap(page.order, order_before);
    std::swap(order_room, order_before_room);
    order_before_count = page.order_count;
    order_made = true;
    page.order_count = 0;
    for (int32_t node = page_names.first; node >= 0; node = page_names.nodes[node].next) {
        if (name_columns[node] < 0) continue;
        grow_table(page.order, order_room, size_t(page.order_count) + 1);
        page.order[page.order_count++] = name_columns[node];
    }
}

static void note_multi_values(int32_t r, const Slot* s) {
    if (s->most_values <= 1) return;
    for (int32_t k = page.cell_start[r]; k < page.cell_start[r + 1]; ++k) {
        if (cell_values(page.cells[k], s) > 1) {
            grow_table(multi, multi_room, size_t(multi_count) + 1);
            multi[multi_count++] = r;
            return;
        }
    }
}

// Adds record r's rows to the bands as they stand (sign 1), or takes them
// off again (-1).
static void add_rows(int32_t r, double sign) {
    for (int32_t b = 0; b < page.band_count; ++b) page.bands[b].height += sign, page.height += sign;
    if (multi_count > 0 && multi[multi_count - 1] == r)
        record_extras(r, [sign](int32_t b, double extra) {
            page.bands[b].height += sign * extra;
            page.height += sign * extra;
        });
}

void add_record_to_page() {
    int32_t r = page.placed - 1;
    Slot* s = page.records[r];
    undo_count = 0;
    widths_changed = order_made = false;
    make_cell_room(r, s);
    add_index_cells(r, s);
    bool order_changed = r == 0;
    if (print_given && print_list.inclusive) {
        add_print_cells(r, s);
    } else if (merge_names(r, s) || order_changed) {
        order_changed = true;
        take_merged_order();
    }
    note_multi_values(r, s);
    // When no column changed its band, the rows before keep their heights.
    bool moved = (order_changed || widths_changed) && make_bands();
    if (order_changed || moved) {
        band_heights();
        return;
    }
    add_rows(r, 1);
}

void layout_roll_back() {
    if (undo_count == 0 && !order_made) {  // the record changed no column: its rows alone go
        add_rows(page.placed, -1);
        if (multi_count > 0 && multi[multi_count - 1] == page.placed) --multi_count;
        return;
    }
    while (undo_count > 0) {
        --undo_count;
        page.columns[undo[undo_count].column] = undo[undo_count].before;
    }
    if (multi_count > 0 && multi[multi_count - 1] == page.placed) --multi_count;
    if (order_made) {
        std::swap(page.order, order_before);
        std::swap(order_room, order_before_room);
        page.order_count = order_before_count;
    }
    make_bands();
    band_heights();
}
