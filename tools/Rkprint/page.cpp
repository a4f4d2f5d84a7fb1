// The page: its header, the group key lines, the bands, and the text the
// page is put together in.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "rkprint.h"

// ------------------------------------------------------------ the device

// The page's texts are appended in order of line and column. One that comes
// before the one placed last ends the placing: the page is placed again with
// its records' cells in order, and its rows of several lines line by line.
static Text out_page;
static bool in_order = true;
static int32_t out_line = 0, out_column = 0;  // where the text has got to
static int32_t last_column = 0;               // where the text placed last starts

static void page_begin() {
    out_page.clear();
    in_order = true;
    out_line = out_column = last_column = 0;
}

// Copies n characters, from k to 2k, as the blocks of the first k and the
// last k (which overlap).
template <size_t k>
static inline void copy_ends(wchar_t* to, const wchar_t* from, size_t n) {
    wchar_t head[k], tail[k];
    std::memcpy(head, from, sizeof head);
    std::memcpy(tail, from + n - k, sizeof tail);
    std::memcpy(to, head, sizeof head);
    std::memcpy(to + n - k, tail, sizeof tail);
}

// Copies n characters; the short texts most values are without a call.
static inline void copy_text(wchar_t* to, const wchar_t* from, size_t n) {
    if (n < 4) {
        for (size_t i = 0; i < n; ++i) to[i] = from[i];
    } else if (n <= 8) {
        copy_ends<4>(to, from, n);
    } else if (n <= 16) {
        copy_ends<8>(to, from, n);
    } else {
        std::wmemcpy(to, from, n);
    }
}

// Places a text at its line and column: what starts outside the page is
// dropped, what runs over its right edge is cut to the characters that fit.
[[gnu::always_inline]] static inline void place_text(int64_t line, int64_t column, const wchar_t* text, size_t count,
                                                     int64_t width) {
    if (line >= page_height || column >= page_width) return;
    if (line < out_line || (line == out_line && column < last_column)) {
        in_order = false;
        return;
    }
    if (column + width > page_width) {
        size_t n = 0;
        for (int64_t used = 0; n < count; ++n) {
            used += int64_t(text_width(text + n, 1));
            if (used > page_width - column) break;
        }
        if (n == 0) return;
        count = n;
    }
    last_column = int32_t(column);
    if (out_line < line) {
        out_page.fill(L'\n', size_t(line - out_line));
        out_line = int32_t(line);
        out_column = 0;
    }
    // The blanks before it (a short run stored as eight, the text then
    // taking the place of those past the run) and the text.
    size_t pad = out_column < column ? size_t(column - out_column) : 0, used = out_page.used;
    if (out_page.room - used < pad + count + 8) grow_table(out_page.chars, out_page.room, used + pad + count + 8);
    wchar_t* to = out_page.chars + used;
    static const wchar_t eight[8] = {L' ', L' ', L' ', L' ', L' ', L' ', L' ', L' '};
    if (pad <= 8) std::memcpy(to, eight, sizeof eight);
    else std::wmemset(to, L' ', pad);
    copy_text(to + pad, text, count);
    out_page.used = used + pad + count;
    out_column = int32_t(std::min<int64_t>(std::max<int64_t>(out_column, column) + width, INT32_MAX));
}

static void page_end() {
    if (pad_pages) out_page.fill(L'\n', size_t(page_height - out_line));
    else out_page.append(L"\f\n", 2);
    out_write(out_page.chars, out_page.used);
    out_mark();
}

// ------------------------------------------------------------ the header

bool header_shown = false;
static Text* titles = nullptr;
int32_t title_count = 0;
static double* title_widths = nullptr;

static int32_t page_counter = 0;
static wchar_t page_number[16];
static size_t page_number_length = 0;
static wchar_t stamp[32];
static size_t stamp_length = 0;
static double stamp_width = 0;
static Text file_item;
static double file_width = 0;

// What the header of the page shows, and where.
static bool show_stamp = false, show_number = false;
static double name_column = 0, number_width = 0;
static double header_lines = 0;

// The moment of the time stamp: SOURCE_DATE_EPOCH when it holds a number
// of seconds (pages made again compare equal), else now.
static time_t stamp_time() {
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (epoch && *epoch) {
        char* end;
        errno = 0;
        long long t = std::strtoll(epoch, &end, 10);
        if (*end == 0 && errno == 0 && t == (long long)(time_t)t) return time_t(t);
        static bool told = false;
        if (!told) warn(WARN_NOTE, "SOURCE_DATE_EPOCH is no number of seconds; the time stamp is the time of the run.\n");
        told = true;
    }
    return std::time(nullptr);
}

// The last component of a path: "/" and "\" stay; one trailing separator
// goes, then everything up to the last '/', or failing one the last '\'.
static const char* last_component(const char* name, size_t* n) {
    size_t len = std::strlen(name);
    if (len == 1 && (name[0] == '/' || name[0] == '\\')) {
        *n = 1;
        return name;
    }
    if (len > 0 && (name[len - 1] == '/' || name[len - 1] == '\\')) --len;
    size_t from = 0;
    bool slash = false;
    for (size_t i = 0; i < len; ++i)
        if (name[i] == '/') from = i + 1, slash = true;
    if (!slash)
        for (size_t i = 0; i < len; ++i)
            if (name[i] == '\\') from = i + 1;
    *n = len - from;
    return name + from;
}

void header_start_file(const char* name) {
    page_counter = 0;
    time_t t = stamp_time();
    struct tm local;
    stamp_length = localtime_r(&t, &local) ? std::wcsftime(stamp, 32, L"%c", &local) : 0;
    Text shown;
    size_t n = stamp_length;
    const wchar_t* s = shown_text(stamp, &n, &shown);
    if (s != stamp) {
        stamp_length = std::min(n, size_t(31));
        std::wmemcpy(stamp, s, stamp_length);
    }
    stamp_width = text_width(stamp, stamp_length);
    std::free(shown.chars);

    // The file's name, character by character; a byte that is no character
    // shows as '?'.
    size_t bytes;
    const char* base = last_component(name ? name : "(stdin)", &bytes);
    Text decoded;
    std::mbstate_t state{};
    for (size_t i = 0; i < bytes;) {
        wchar_t c;
        size_t k = std::mbrtowc(&c, base + i, bytes - i, &state);
        if (k == 0) k = 1, c = 0;
        if (k == size_t(-1) || k == size_t(-2)) {
            state = std::mbstate_t{};
            decoded.put(L'?');
            ++i;
            continue;
        }
        if (c) decoded.put(c);
        i += k;
    }
    file_item.clear();
    display_form(decoded.chars, decoded.used, &file_item);
    file_width = text_width(file_item.chars, file_item.used);
    std::free(decoded.chars);
}

void header_set_titles(const char* const* texts) {
    titles = static_cast<Text*>(std::calloc(size_t(title_count) + 1, sizeof(Text)));
    title_widths = static_cast<double*>(checked_malloc(sizeof(double) * size_t(title_count + 1)));
    if (titles == nullptr) fatal("can't allocate necessary memory!\n");
    for (int32_t i = 0; i < title_count; ++i) {
        wchar_t* t = mbs_to_area(texts[i], scratch_area());
        if (t == nullptr) fatal("code error in the -h option.\n");
        display_form(t, std::wcslen(t), &titles[i]);
        area_reset(scratch_area());
        title_widths[i] = text_width(titles[i].chars, titles[i].used);
    }
}

double compute_header() {
    ++page_counter;
    page_number_length = decimal(page_counter, page_number);
    number_width = double(page_number_length);
    show_stamp = show_number = false;
    double w = page_width, t = stamp_width, p = number_width;
    if (!header_shown) return header_lines = 0;
    // The first title or the file name, centred between the stamp and the
    // number when all three fit; else with the number alone (a title at
    // the left, the file name centred in what is left); else alone.
    double n = title_count > 0 ? title_widths[0] : file_width;
    if (w >= t + 1 + n + 1 + p) {
        name_column = (w - n) / 2;
        if (name_column <= t) name_column = t + (w - t - p - n) / 2;
        show_stamp = show_number = true;
    } else if (w >= p + n + 1) {
        name_column = title_count > 0 ? 0 : (w - n - p) / 2;
        show_number = true;
    } else {
        name_column = 0;
    }
    return header_lines = title_count > 0 ? title_count : 1;
}

static double centred(double width) { return page_width > width ? (page_width - width) / 2 : 0; }

// ------------------------------------------------------------ key lines

int32_t key_line_count = 0;
static Text* key_lines = nullptr;
static double* key_widths = nullptr;
static size_t key_line_room = 0, key_width_room = 0;

// The separator of a text key field's values: the first of ", ", "/",
// "; ", ":", "|", two blanks that none of the key's text from the field on
// holds (as far as a page's width of it), else " // ".
static const wchar_t* separator(const uint32_t* p, const uint32_t* end, const FieldListEntry* e) {
    static const wchar_t marks[] = L",/;:| ";
    bool seen[6] = {};
    double width = 0;
    for (; e && p < end && width <= page_width; e = e->next) {
        KeyPart part;
        p = key_part(p, e, &part);
        if (part.numeric) continue;
        for (const uint32_t* c = part.begin; c < part.end && width <= page_width; ++c) {
            if (*c == 1) continue;
            wchar_t ch = key_char(*c);
            width += text_width(&ch, 1);
            for (int i = 0; i < 6; ++i) seen[i] |= ch == marks[i];
        }
    }
    static const wchar_t* const choices[] = {L", ", L"/", L"; ", L":", L"|", L"  "};
    for (int i = 0; i < 6; ++i)
        if (!seen[i]) return choices[i];
    return L" // ";
}

// The key lines: per key field its name and colon, then its values joined
// (numbers as numbers are printed, by ", "), in display form.
int32_t build_key_lines(const uint32_t* key) {
    const uint32_t* p = key + 1;
    const uint32_t* end = key + key[0] / 4;
    int32_t n = 0;
    Text line;
    for (const FieldListEntry* e = group_list.included; e; e = e->next, ++n) {
        line.clear();
        line.append(e->name, e->length);
        if (p < end) {
            KeyPart part;
            const wchar_t* sep = separator(p, end, e);
            p = key_part(p, e, &part);
            if (part.numeric) {
                for (size_t i = 0; i < part.count; ++i) {
                    char buf[64];
                    format_number(buf, key_number(part.begin + 2 * i));
                    if (i > 0) line.append(L", ", 2);
                    for (const char* c = buf; *c; ++c) line.put(wchar_t(*c));
                }
            } else {
                for (const uint32_t* c = part.begin; c < part.end; ++c) {
                    if (*c != 1) line.put(key_char(*c));
                    else if (c + 1 < part.end) line.append(sep, std::wcslen(sep));
                }
            }
        }
        grow_table(key_widths, key_width_room, size_t(n) + 1);
        grow_table_zeroed(key_lines, key_line_room, size_t(n) + 1);
        Text& k = key_lines[n];
        k.clear();
        display_form(line.chars, line.used, &k);
        key_widths[n] = text_width(k.chars, k.used);
    }
    std::free(line.chars);
    return key_line_count = n;
}

// ------------------------------------------------------------ the page

static Text heading;

// Every width and place on a page is a whole number. A column's values go
// at `anchor`, less their left part when it aligns them right or at a point.
struct Spot {
    int64_t anchor;
    bool less_left;
};
static Spot* spots = nullptr;  // per column, for the band being placed
static size_t spot_room = 0;

// A cell of record s on its row: its values one under the other from
// `line` on (nth < 0), or its nth value alone, at `line`.
[[gnu::always_inline]] static inline void put_cell(const Cell& cell, const Slot* s, const Spot& spot, int32_t line,
                                                   int32_t nth) {
    if (cell.entry == RECORD_NUMBER) {
        int64_t n = s->number_length;
        if (nth <= 0) place_text(line, spot.anchor - (spot.less_left ? n : 0), s->number_text, size_t(n), n);
        return;
    }
    int32_t v = s->entries[cell.entry].first;
    for (; nth > 0 && v >= 0; --nth) v = s->values[v].next;
    for (; v >= 0 && line < page_height; v = s->values[v].next, ++line) {
        const SummaryValue& value = s->values[v];
        int64_t left = int64_t(value.left);
        place_text(line, spot.anchor - (spot.less_left ? left : 0), value_text(s, &value), value.length,
                   left + int64_t(value.right));
        if (nth == 0) return;
    }
}

// A row of several lines from line `top`, line by line: on each, the next
// value of each of the cells `index` .. `index_end` and `from` .. `to`.
static void put_tall_row(const Slot* s, const Cell* index, const Cell* index_end, const Cell* from, const Cell* to,
                         int32_t top) {
    for (int32_t nth = 0; nth < s->most_values && top + nth < page_height; ++nth) {
        for (const Cell* c = index; c < index_end; ++c) put_cell(*c, s, spots[c->column], top + nth, nth);
        for (const Cell* c = from; c < to; ++c) put_cell(*c, s, spots[c->column], top + nth, nth);
    }
}

// Band b's rows: each record's index cells, then its cells of the band
// from its cursor on. A cell of a band passed already ends the placing.
static int32_t* cursor = nullptr;  // per record: its next cell, band by band
static bool line_by_line = false;
static void place_band_rows(int32_t b, const double* tops) {
    const Band& band = page.bands[b];
    grow_table(spots, spot_room, size_t(page.column_count));
    for (int32_t k = band.first; k < band.first + band.count; ++k) {
        const BandColumn& bc = page.band_columns[k];
        const Column& c = page.columns[bc.column];
        bool right = c.flags & FORMAT_FLAG_RIGHT, point = !right && (c.attribute & ATTR_FLOAT);
        spots[bc.column] = Spot{int64_t(bc.x + (right ? c.total : point ? c.total - c.right : 0)), right || point};
    }
    const Cell* cells = page.cells;
    for (int32_t r = 0; r < page.placed; ++r) {
        const Slot* s = page.records[r];
        const Cell* end = cells + page.cell_start[r + 1];
        const Cell* cell = cells + page.cell_start[r];
        bool shown = tops[r] < page_height, by_line = line_by_line && s->most_values > 1, whole = shown && !by_line;
        int32_t top = shown ? int32_t(tops[r]) : 0;
        const Cell* index = cell;
        for (; cell < end && cell->column < index_count; ++cell)
            if (whole) put_cell(*cell, s, spots[cell->column], top, -1);
        const Cell* index_end = cell;
        for (cell = cells + cursor[r]; cell < end && page.column_band[cell->column] == b; ++cell)
            if (whole) put_cell(*cell, s, spots[cell->column], top, -1);
        if (shown && by_line) put_tall_row(s, index, index_end, cells + cursor[r], cell, top);
        cursor[r] = int32_t(cell - cells);
        if (cell < end && page.column_band[cell->column] < b) in_order = false;
        if (!in_order) return;
    }
}

static size_t cursor_room = 0;

static void place_header() {
    if (header_shown) {
        if (show_stamp) place_text(0, 0, stamp, stamp_length, stamp_width);
        if (title_count > 0) place_text(0, int64_t(name_column), titles[0].chars, titles[0].used, title_widths[0]);
        else place_text(0, int64_t(name_column), file_item.chars, file_item.used, file_width);
        if (show_number)
            place_text(0, page_width - int64_t(number_width), page_number, page_number_length, int64_t(number_width));
        for (int32_t i = 1; i < title_count; ++i)
            place_text(i, int64_t(centred(title_widths[i])), titles[i].chars, titles[i].used, title_widths[i]);
    }
    if (group_given && group_list.inclusive)
        for (int32_t j = 0; j < key_line_count; ++j)
            place_text(header_lines + j, int64_t(centred(key_widths[j])), key_lines[j].chars, key_lines[j].used,
                       key_widths[j]);
}

static void place_headings(int32_t b, double line) {
    const Band& band = page.bands[b];
    for (int32_t k = band.first; k < band.first + band.count; ++k) {
        const BandColumn& bc = page.band_columns[k];
        const Column& c = page.columns[bc.column];
        size_t n = c.length - 1;
        const wchar_t* name = shown_text(c.name, &n, &heading);
        double offset = c.flags & FORMAT_FLAG_RIGHT ? c.total - c.name_width
                      : (c.attribute & ATTR_FLOAT) && c.left >= c.name_width ? c.left - c.name_width : 0;
        place_text(line, int64_t(bc.x + offset), name, n, c.name_width);
    }
}

// Each record's cells of the other columns in the page's order: by band,
// then by place in the band.
static void sort_cells() {
    auto before = [](const Cell& p, const Cell& q) {
        int32_t a = page.column_band[p.column], b = page.column_band[q.column];
        return a != b ? a < b : page.column_x[p.column] < page.column_x[q.column];
    };
    for (int32_t r = 0; r < page.placed; ++r) {
        Cell* first = page.cells + page.cell_start[r];
        Cell* end = page.cells + page.cell_start[r + 1];
        while (first < end && first->column < index_count) ++first;
        std::sort(first, end, before);
    }
}

// Band by band: the heading line, then the rows.
static void place_page() {
    place_header();
    const double* row_tops = page_row_tops();
    size_t placed = size_t(page.placed);
    grow_table(cursor, cursor_room, placed + 1);
    for (size_t r = 0; r < placed; ++r) {
        int32_t k = page.cell_start[r];
        while (k < page.cell_start[r + 1] && page.cells[k].column < index_count) ++k;
        cursor[r] = k;
    }
    double line = page.header_height + band_gap;
    for (int32_t b = 0; b < page.band_count; ++b) {
        place_headings(b, line);
        line += page.bands[b].height + band_gap;
        place_band_rows(b, row_tops + size_t(b) * placed);
        if (!in_order) return;
    }
}

void write_page() {
    page_begin();
    place_page();
    if (!in_order) {
        sort_cells();
        line_by_line = true;
        page_begin();
        place_page();
        line_by_line = false;
    }
    page_end();
}
