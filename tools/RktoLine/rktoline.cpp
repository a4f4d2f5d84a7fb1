// RktoLine: writes each record as one line of plain text, its fields placed
// by field-format lists.
#include <algorithm>
#include <cwchar>

#include "format.h"
#include "tool.h"

static const char usage[] =
    "RktoLine [-options] [input-file ..]\n"
    "\tconversion to Line format.\n"
    "\tOptions:\n"
    "\t-t string\tdelimiter string.\n"
    "\t-f field-format-list\toutput format.\n"
    "\t-p field-format-list\toutput fields and order.\n"
    "\t-z fmt-options\tdefault format options.\n";

static int32_t rsize = 4, tsize = 1, nsize = 1, wsize = 1;
static Setting settings[] = {
    {"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {"wsize", &wsize}, {nullptr, nullptr}};

static const char* f_text = nullptr;
static const char* p_text = nullptr;
static const char* t_text = "\t";
static const char* z_text = "";

static bool option(int letter) {
    switch (letter) {
    case 'f': f_text = opt_arg; return true;
    case 'p': p_text = opt_arg; return true;
    case 't': t_text = opt_arg; return true;
    case 'z': z_text = opt_arg; return true;
    default: return false;
    }
}

static Area text, table, names, work;
static FieldList formats;  // -f
static FieldList order;    // -p

// The format of a field by its name in -f (null: the default format).
static const FieldFormat* format_of(const Field* f) {
    if (f_text == nullptr) return nullptr;
    FieldListEntry* e = nullptr;
    if (field_list_match(&formats, f->start, field_name_key(f), &e, nullptr) <= 0 || e == nullptr) return nullptr;
    return e->format;
}

static bool same_name(const Field* a, const Field* b) {
    size_t n = field_name_key(a);
    return n == field_name_key(b) && same_text(a->start, b->start, n);
}

// Per-record index arrays, grown as records need them and kept for the run.
struct Ints {
    int* at = nullptr;
    size_t capacity = 0;
    int* fill(size_t n, int value) {
        if (n > capacity) {
            capacity = n > 2 * capacity ? n : 2 * capacity;
            at = static_cast<int*>(checked_realloc(at, capacity * sizeof(int)));
        }
        for (size_t i = 0; i < n; ++i) at[i] = value;
        return at;
    }
};
// next[i]: the next field after i written with it (same name, or selected
// by the same entry of -p), -1 at the end; first/last: the ends of each
// chain; slot[p]: for the entry at position p of an inclusive -p, the
// position of the first entry of its name (entries of one name share the
// fields).
static Ints next_of, firsts, lasts, slots;

// An inclusive -p: each entry in its order writes every field of its name
// in record order, or one empty value when the record has none.
static void write_in_order(const Field* rec, int n) {
    size_t entries = size_t(order.included_count) + 1;
    int* first = firsts.fill(entries, -1);
    int* last = lasts.fill(entries, -1);
    int* next = next_of.fill(size_t(n), -1);
    for (int i = 0; i < n; ++i) {
        int p = 0;
        if (field_list_match(&order, rec[i].start, field_name_key(&rec[i]), nullptr, &p) <= 0) continue;
        if (last[p] < 0) first[p] = i;
        else next[last[p]] = i;
        last[p] = i;
    }
    int p = 1;
    for (const FieldListEntry* e = order.included; e; e = e->next, ++p) {
        int i = first[slots.at[p]];
        if (i < 0) {
            wchar_t* value = e->name + e->length;
            Field empty{e->name, value, value};
            write_field(&empty, e->format, &work);
        }
        for (; i >= 0; i = next[i]) write_field(&rec[i], e->format, &work);
    }
}

// A -p list of names left out: the fields in record order, each name's
// fields written together where its first one stands.
static void write_grouped(const Field* rec, int n) {
    // Fields of one name chained through the positions sorted by name and
    // position.
    int* sorted = firsts.fill(size_t(n), 0);
    for (int i = 0; i < n; ++i) sorted[i] = i;
    std::sort(sorted, sorted + n, [rec](int a, int b) {
        const Field *x = &rec[a], *y = &rec[b];
        size_t nx = field_name_key(x), ny = field_name_key(y);
        int c = std::wmemcmp(x->start, y->start, nx < ny ? nx : ny);
        if (c != 0) return c < 0;
        return nx != ny ? nx < ny : a < b;
    });
    int* next = next_of.fill(size_t(n), -1);
    int* joined = lasts.fill(size_t(n), 0);  // 1: written with a field before it
    for (int k = 1; k < n; ++k) {
        int a = sorted[k - 1], b = sorted[k];
        if (same_name(&rec[a], &rec[b])) next[a] = b, joined[b] = 1;
    }
    for (int i = 0; i < n; ++i) {
        if (joined[i]) continue;
        if (field_list_match(&order, rec[i].start, field_name_key(&rec[i]), nullptr, nullptr) == 0) continue;
        const FieldFormat* format = format_of(&rec[i]);
        for (int j = i; j >= 0; j = next[j]) write_field(&rec[j], format, &work);
    }
}

int main(int argc, char** argv) {
    ToolSpec spec = {usage, "f:p:z:t:D:", settings, option, nullptr};
    tool_start(spec, argc, argv);
    out_units(OUT_MARKED);  // a unit is a record's line
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    // The names area holds two lists, each with its relocation pact, and
    // the parser's own while it reads them.
    tool_area("nsize", &names, nullptr, 6);
    tool_area("wsize", &work);
    format_defaults(FORMAT_OUTPUT, t_text, z_text, &names);
    if (f_text) {
        format_list_read(f_text, &formats, FORMAT_OUTPUT, &names);
        watch_list(&formats);
        if (!formats.inclusive) usage_exit(usage);
    }
    if (p_text) {
        format_list_read(p_text, &order, FORMAT_OUTPUT, &names);
        watch_list(&order);
        int* slot = slots.fill(size_t(order.included_count) + 1, 0);
        int p = 1;
        for (const FieldListEntry* e = order.included; e; e = e->next, ++p)
            field_list_match(&order, e->name, e->length, nullptr, &slot[p]);
    }
    bool inclusive = p_text && order.inclusive;
    bool grouped = p_text && !order.inclusive;
    tool_each_record(&text, &table, [inclusive, grouped](Field* rec, const Input&) {
        line_begin();
        int n = int(record_end(rec) - rec);
        if (inclusive) {
            write_in_order(rec, n);
        } else if (grouped) {
            write_grouped(rec, n);
        } else {
            for (const Field* f = rec; f->start; ++f) write_field(f, format_of(f), &work);
        }
        out_putwc(L'\n');
        out_mark();
        area_reset(&work);
    });
}
