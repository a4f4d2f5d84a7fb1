// The layout of a page: each record's summary of its fields (display
// texts, their parts left and right of the alignment point), the merged
// order of the page's names, each record's columns with the widths carried
// from the record before, the bands that fit the page width, and their
// heights.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwctype>

#include "rkprint.h"

// ------------------------------------------------------------ texts

void Text::put(wchar_t c) {
    grow_table(chars, room, used + 1);
    chars[used++] = c;
}
void Text::append(const wchar_t* s, size_t n) {
    grow_table(chars, room, used + n + 1);
    if (n) std::wmemcpy(chars + used, s, n);
    used += n;
}

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
            // Any other character by the bytes of its encoding; one that
            // has none is left out.
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

static NameOrder record_names;  // the names of one record, numbered as its entries
// The names of the records summarized, kept from record to record (records
// mostly repeat the names of the one before, in order, which the merged
// order finds at once), with each name's entry in the record summarized
// last. Forgotten when they grow many.
static NameOrder summary_names;
static int32_t* summary_entry = nullptr;
static size_t summary_entry_room = 0;
static Text form;               // a display form being made
extern Area scratch_area;       // conversions of values by their formats

const wchar_t* entry_name(const Slot* slot, const SummaryEntry* e) {
    return e->field < 0 ? L":" : slot->record[e->field].start;
}
const wchar_t* value_text(const Slot* slot, const SummaryValue* v) {
    return v->field < 0 ? slot->text.chars + v->offset : slot->record[v->field].start + v->offset;
}

// The format a field is shown with: its entry's in -f, else in -p.
static const FieldFormat* field_format(const Field* f) {
    size_t n = field_name_key(f);
    if (n == 0) return nullptr;
    FieldListEntry* e = nullptr;
    if (formats_given && field_list_match(&format_list, f->start, n, &e, nullptr) == 1)
        return e->format ? e->format : &default_format;
    if (print_given && field_list_match(&print_list, f->start, n, &e, nullptr) == 1)
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

void summarize_record(Slot* s) {
    s->entry_count = s->value_count = 0;
    s->text.clear();
    if (summary_names.count > 65536) name_order_clear(&summary_names);
    name_order_next_record(&summary_names);
    Field* rec = s->record;
    for (int32_t i = 0; rec[i].start; ++i) {
        const Field* f = &rec[i];
        const wchar_t* name = L":";
        size_t n = 1;
        if (field_has_name(f)) name = f->start, n = size_t(f->value - f->start);
        const FieldFormat* format = field_format(f);
        SummaryValue v{i, -1, size_t(f->value - f->start), size_t(f->end - f->value), 0, 0, 0};
        const wchar_t* text = f->value;
        if (format && format->cfmt) {
            wchar_t* converted = cfmt_convert(f->value, v.length, format, &scratch_area);
            v.field = -1;
            v.offset = s->text.used;
            v.length = converted ? std::wcslen(converted) : 0;
            if (converted) s->text.append(converted, v.length);
            area_reset(&scratch_area);
            text = s->text.chars + v.offset;
        }
        int attribute = classify_value(0, text, unsigned(v.length > UINT32_MAX ? UINT32_MAX : v.length), nullptr);
        if (attribute & ATTR_UNPRINTABLE) {
            form.clear();
            display_form(text, v.length, &form);
            v.field = -1;
            v.offset = s->text.used;
            v.length = form.used;
            s->text.append(form.chars, form.used);
            text = s->text.chars + v.offset;
        }
        v.width = text_width(text, v.length);
        int mark;
        int32_t node = name_order_take(&summary_names, name, n, &mark);
        grow_table(summary_entry, summary_entry_room, size_t(summary_names.count));
        int32_t e;
        if (mark == NAME_MET) {
            e = summary_entry[node];
        } else {
            e = summary_entry[node] = s->entry_count++;
            grow_table(s->entries, s->entry_room, size_t(s->entry_count));
            int flags = format ? format->options & (FORMAT_L | FORMAT_R) : 0;
            s->entries[e] = SummaryEntry{field_has_name(f) ? i : -1, uint32_t(n), 0, flags, 0, 0, 0, -1, -1};
        }
        SummaryEntry& entry = s->entries[e];
        entry.attribute = merge_attributes(entry.attribute, attribute);
        int32_t k = s->value_count++;
        grow_table(s->values, s->value_room, size_t(s->value_count));
        s->values[k] = v;
        if (entry.last >= 0) s->values[entry.last].next = k; else entry.first = k;
        entry.last = k;
        ++entry.count;
    }
    for (int32_t e = 0; e < s->entry_count; ++e) {
        SummaryEntry& entry = s->entries[e];
        for (int32_t k = entry.first; k >= 0; k = s->values[k].next) {
            SummaryValue* v = &s->values[k];
            measure(v, value_text(s, v), entry.attribute, entry.flags);
            if (v->left > entry.left) entry.left = v->left;
            if (v->right > entry.right) entry.right = v->right;
        }
    }
}

// ------------------------------------------------------------ columns

Page page;
Area layout_area;

// The merged order of the page's names, and per name: the record that
// met it last, its entry there and how the record met it.
static NameOrder page_names;
struct NameState {
    int32_t record, entry, mark;
    bool skipped;  // never a column of its own (a key field, an index field, or left out by -p)
};
static NameState* name_states = nullptr;
static size_t name_state_room = 0;
// The names of -i and -p in storage that stays, in list order.
static NameOrder list_names;
struct ListName {
    const wchar_t* name;
    uint32_t length;
};
static ListName* index_names = nullptr;
static ListName* print_names = nullptr;
static int32_t index_count = 1, print_names_count = 0;

// The layout accepted last.
static int32_t accepted_columns = 0;
static BandColumn* accepted_band_columns = nullptr;
static size_t accepted_band_column_room = 0;
static int32_t accepted_band_column_count = 0;
static Band* accepted_bands = nullptr;
static size_t accepted_band_room = 0;
static int32_t accepted_band_count = 0;
static double accepted_height = 0;
static size_t band_column_room = 0, band_room = 0, column_start_room = 0;

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
}

void layout_begin() {
    name_order_clear(&page_names);
    area_reset(&layout_area);
    page.columns = nullptr;
    page.column_count = 0;
    page.band_column_count = 0;
    page.band_count = 0;
    page.height = 0;
    accepted_columns = 0;
    accepted_band_column_count = 0;
    accepted_band_count = 0;
    accepted_height = 0;
}

int32_t column_values(const Column* c, const Slot* s) {
    if (c->entry == -2) return 1;
    return c->entry >= 0 ? s->entries[c->entry].count : 0;
}

int32_t column_of_record(int32_t c, int32_t r) {
    for (int32_t k = page.placed - 1; k > r && c >= 0; --k) c = page.columns[c].prev;
    return c;
}

// The record's entry of a name, by the names of the record taken in order
// (their numbers are the entries').
static const Slot* named_slot = nullptr;
static void name_record_entries(const Slot* s) {
    name_order_clear(&record_names);
    name_order_next_record(&record_names);
    int mark;
    for (int32_t e = 0; e < s->entry_count; ++e)
        name_order_take(&record_names, entry_name(s, &s->entries[e]), s->entries[e].name_length, &mark);
    named_slot = s;
}
static int32_t entry_of(const wchar_t* name, uint32_t length) {
    return name_order_find(&record_names, name, length);
}

static bool heading_unprintable(const wchar_t* name, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (!printable(name[i])) return true;
    return false;
}

// Appends the record's column of a name; `entry` is its summary entry (-1
// none, -2 the record number, whose width is given), prev the same column
// of the record before. The widths carry over from it.
static void add_column(const wchar_t* name, uint32_t length, int32_t entry, int32_t prev, const Slot* s,
                       double number_width = 0) {
    Column* c = static_cast<Column*>(area_extend(sizeof(Column), &page.columns, &layout_area));
    ++page.column_count;
    SummaryEntry number{-1, 0, 0x3F, 0, number_width, 0, 1, -1, -1};
    const SummaryEntry* e = entry == -2 ? &number : entry >= 0 ? &s->entries[entry] : nullptr;
    *c = Column{name, length, 0, 0, 0, 0, 0, 0, entry, prev};
    if (prev < 0) {
        if (e) c->attribute = e->attribute, c->flags = e->flags, c->left = e->left, c->right = e->right;
        size_t n = length - 1;
        if (heading_unprintable(name, n)) {
            form.clear();
            display_form(name, n, &form);
            c->name_width = text_width(form.chars, form.used);
            c->attribute |= HEADING_SHOWN_AS_FORM;
        } else {
            c->name_width = text_width(name, n);
        }
    } else {
        const Column& p = page.columns[prev];
        c->name_width = p.name_width;
        c->flags = p.flags;
        c->attribute = p.attribute;
        c->left = p.left;
        c->right = p.right;
        if (e) {
            c->attribute = merge_attributes(p.attribute & ~HEADING_SHOWN_AS_FORM, e->attribute) |
                           (p.attribute & HEADING_SHOWN_AS_FORM);
            if (c->flags & FORMAT_FLAG_RIGHT) {
                c->right = 0, c->left = std::max(p.left, e->left);
            } else if (c->flags & FORMAT_FLAG_LEFT) {
                c->left = 0, c->right = std::max(p.right, e->right);
            } else if (c->attribute & ATTR_FLOAT) {
                c->left = std::max(p.left, e->left), c->right = std::max(p.right, e->right);
            } else {
                c->left = 0, c->right = std::max(p.left + p.right, e->left + e->right);
            }
        }
    }
    c->total = std::max(c->left + c->right, c->name_width);
}

static double digits_width(int32_t n) {
    double w = 1;
    for (; n >= 10 || n <= -10; n /= 10) ++w;
    return n < 0 ? w + 1 : w;
}

static bool selects(const FieldList* list, const wchar_t* name, size_t n) {
    return field_list_match(list, name, n, nullptr, nullptr) != 0;
}

// The columns of the names of the merged order, after the index columns.
static void merged_columns(const Slot* s, int32_t r, int32_t prev_start, int32_t prev_end) {
    int32_t found = -1;  // the previous record's column found last
    for (int32_t node = page_names.first; node >= 0; node = page_names.nodes[node].next) {
        const NameState& st = name_states[node];
        if (st.skipped) continue;
        bool here = st.record == r;
        int32_t prev = -1;
        if (prev_start >= 0 && !(here && st.mark == NAME_NEW)) {
            const wchar_t* name = name_order_name(&page_names, node);
            int32_t from = here && st.mark == NAME_MOVED ? prev_start : found >= 0 ? found : prev_start;
            for (int32_t k = from; k < prev_end && prev < 0; ++k)
                if (page.columns[k].name == name) prev = k;
            for (int32_t k = prev_start; k < from && prev < 0; ++k)
                if (page.columns[k].name == name) prev = k;
            if (prev >= 0) found = prev;
        }
        add_column(name_order_name(&page_names, node), page_names.nodes[node].length, here ? st.entry : -1, prev, s);
    }
}

// Bands from the last record's columns: a new band whenever the next
// column would pass the page width, each led by the index columns.
static void make_bands(int32_t start) {
    page.band_column_count = 0;
    page.band_count = 0;
    double x = 0;
    for (int32_t k = start + index_count; k < page.column_count; ++k) {
        const Column& c = page.columns[k];
        if (page.band_count == 0 || x + c.total > page_width) {
            grow_table(page.bands, band_room, size_t(page.band_count) + 1);
            page.bands[page.band_count++] = Band{page.band_column_count, 0, 0};
            x = 0;
            for (int32_t i = start; i < start + index_count; ++i) {
                grow_table(page.band_columns, band_column_room, size_t(page.band_column_count) + 1);
                page.band_columns[page.band_column_count++] = BandColumn{x, i};
                ++page.bands[page.band_count - 1].count;
                x += page.columns[i].total + column_gap;
            }
            if (x > page_width) fatal("too long -i fields!\n");
        }
        grow_table(page.band_columns, band_column_room, size_t(page.band_column_count) + 1);
        page.band_columns[page.band_column_count++] = BandColumn{x, k};
        ++page.bands[page.band_count - 1].count;
        x += c.total + column_gap;
    }
}

// Whether the bands hold the columns of those accepted last, column for
// column (each carried from the one before): then the rows of the records
// before keep their heights, wherever the columns now stand.
static bool same_bands() {
    if (page.placed < 2 || page.band_count != accepted_band_count || page.band_column_count != accepted_band_column_count)
        return false;
    for (int32_t b = 0; b < page.band_count; ++b)
        if (page.bands[b].count != accepted_bands[b].count) return false;
    for (int32_t k = 0; k < page.band_column_count; ++k) {
        const BandColumn& now = page.band_columns[k];
        const BandColumn& before = accepted_band_columns[k];
        if (page.columns[now.column].prev != before.column) return false;
    }
    return true;
}

// The height of each record's row in a band: the most values any of its
// columns has in the record, at least 1 (the chains of the band's columns
// walked once each).
static double* rows = nullptr;
static size_t row_room = 0;
void row_heights(const Band& b, int32_t from) {
    grow_table(rows, row_room, size_t(page.placed));
    for (int32_t r = from; r < page.placed; ++r) rows[r] = 1;
    for (int32_t k = b.first; k < b.first + b.count; ++k) {
        int32_t c = page.band_columns[k].column;
        for (int32_t r = page.placed - 1; r >= from && c >= 0; --r, c = page.columns[c].prev)
            rows[r] = std::max(rows[r], double(column_values(&page.columns[c], page.records[r])));
    }
}
double row_height(int32_t r) { return rows[r]; }

static void band_heights() {
    bool carried = same_bands();
    page.height = page.header_height;
    for (int32_t b = 0; b < page.band_count; ++b) {
        Band& band = page.bands[b];
        if (carried) {
            row_heights(band, page.placed - 1);
            band.height = accepted_bands[b].height + rows[page.placed - 1];
        } else {
            row_heights(band, 0);
            band.height = 1 + heading_extra;
            for (int32_t r = 0; r < page.placed; ++r) band.height += rows[r];
        }
        page.height += band_gap + band.height;
    }
}

void add_record_to_page() {
    int32_t r = page.placed - 1;
    Slot* s = page.records[r];
    grow_table(page.column_start, column_start_room, size_t(r) + 1);
    int32_t start = page.column_count;
    page.column_start[r] = start;
    int32_t prev_start = r > 0 ? page.column_start[r - 1] : -1, prev_end = start;
    bool plain_print = print_given && print_list.inclusive;
    if (!plain_print) {
        name_order_next_record(&page_names);
        for (int32_t e = 0; e < s->entry_count; ++e) {
            const SummaryEntry& entry = s->entries[e];
            const wchar_t* name = entry_name(s, &entry);
            int mark;
            int32_t node = name_order_take(&page_names, name, entry.name_length, &mark);
            if (mark == NAME_NEW) {
                grow_table(name_states, name_state_room, size_t(node) + 1);
                bool skip = (group_given && selects(&group_list, name, entry.name_length)) ||
                            (index_given && field_list_match(&index_list, name, entry.name_length, nullptr, nullptr) == 1) ||
                            (print_given && !selects(&print_list, name, entry.name_length));
                name_states[node].skipped = skip;
            }
            name_states[node].record = r;
            name_states[node].entry = e;
            name_states[node].mark = mark;
        }
    }
    if (index_given || plain_print) name_record_entries(s);
    // The index columns: the -i fields, or the record number.
    if (index_given) {
        for (int32_t k = 0; k < index_count; ++k) {
            const wchar_t* name = r == 0 ? index_names[k].name : page.columns[prev_start + k].name;
            uint32_t length = r == 0 ? index_names[k].length : page.columns[prev_start + k].length;
            add_column(name, length, entry_of(name, length), r == 0 ? -1 : prev_start + k, s);
        }
    } else {
        add_column(record_number_name, 5, -2, prev_start, s, digits_width(page.first_number + r));
    }
    if (plain_print) {
        if (r == 0) {
            for (int32_t k = 0; k < print_names_count; ++k)
                add_column(print_names[k].name, print_names[k].length, entry_of(print_names[k].name, print_names[k].length), -1, s);
        } else {
            for (int32_t k = prev_start + index_count; k < prev_end; ++k) {
                const Column& p = page.columns[k];
                add_column(p.name, p.length, entry_of(p.name, p.length), k, s);
            }
        }
    } else {
        merged_columns(s, r, prev_start, prev_end);
    }
    make_bands(start);
    band_heights();
}

void layout_accept() {
    accepted_columns = page.column_count;
    grow_table(accepted_band_columns, accepted_band_column_room, size_t(page.band_column_count) + 1);
    std::copy_n(page.band_columns, page.band_column_count, accepted_band_columns);
    accepted_band_column_count = page.band_column_count;
    grow_table(accepted_bands, accepted_band_room, size_t(page.band_count) + 1);
    std::copy_n(page.bands, page.band_count, accepted_bands);
    accepted_band_count = page.band_count;
    accepted_height = page.height;
}

void layout_roll_back() {
    page.column_count = accepted_columns;
    page.band_column_count = accepted_band_column_count;
    std::copy_n(accepted_band_columns, accepted_band_column_count, page.band_columns);
    page.band_count = accepted_band_count;
    std::copy_n(accepted_bands, accepted_band_count, page.bands);
    page.height = accepted_height;
}
