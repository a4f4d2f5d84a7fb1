// Rkmeans: count, sum, average, minimum, maximum and standard deviation of
// the numeric values of named fields, over all records, per group of
// consecutive records, per input file or per record.
#include <cmath>

#include "tool.h"

static const char usage[] =
    "Rkmeans [-options] [^]field-list [input-file ..]\n"
    "\tsimple statistics of the fields.\n"
    "\tOptions:\n"
    "\t-r\tstatistics by each record.\n"
    "\t-g [^]key-field-list\tgroup by statistics.\n"
    "\t-k key-flags\tdefault key flags for the -g option.\n";

static int32_t rsize = 4, tsize = 1, nsize = 4, ksize = 4;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {"ksize", &ksize},
                             {"digits", &number_digits}, {nullptr, nullptr}};
static bool per_record = false, per_file = false;
static const char* group_text = nullptr;
static const char* flags_text = nullptr;

static bool option(int letter) {
    switch (letter) {
    case 'r': per_record = true; return true;
    case 'F': per_file = true; return true;
    case 'g': group_text = opt_arg; return true;
    case 'k': flags_text = opt_arg; return true;
    }
    return false;
}

static const ToolSpec spec = {usage, "rg:k:D:F", settings, option, nullptr};

// The statistics of one field name. Besides the sum (for the average) the
// deviation is kept as the mean and the sum of squared differences to it
// (Welford), both of the values less the first one (the shift), so that
// values far from zero lose no digits to their common part. The sum keeps
// beside it what each addition rounded away (`carry`, Neumaier's
// compensation), so that values of very different size, or that cancel,
// add up to what exact arithmetic gives, to the last digit in all but
// contrived cases.
struct Stats {
    double n, sum, carry, shift, mean, m2, min, max;
};
static const Stats fresh = {0, 0, 0, 0, 0, 0, INFINITY, -INFINITY};

static void add_to_sum(Stats* s, double x) {
    double t = s->sum + x;
    s->carry += std::fabs(s->sum) >= std::fabs(x) ? (s->sum - t) + x : (x - t) + s->sum;
    s->sum = t;
}

// The sum with what was rounded away (an infinite sum has nothing to add).
static double exact_sum(const Stats& s) { return std::isfinite(s.sum) ? s.sum + s.carry : s.sum; }

static void add(Stats* s, double x) {
    if (s->n == 0) s->shift = x;
    s->n += 1;
    add_to_sum(s, x);
    double y = x - s->shift, d = y - s->mean;
    s->mean += d / s->n;
    s->m2 += d * (y - s->mean);
    if (x < s->min) s->min = x;
    if (x > s->max) s->max = x;
}

// Merges b into a (the pairwise form of the update above, in a's shift).
static void merge(Stats* a, const Stats* b) {
    if (b->n == 0) return;
    if (a->n == 0) {
        *a = *b;
        return;
    }
    double n = a->n + b->n, d = b->mean + (b->shift - a->shift) - a->mean;
    a->mean += d * (b->n / n);
    a->m2 += b->m2 + d * (d * (a->n * b->n / n));
    a->n = n;
    add_to_sum(a, b->sum);
    a->carry += b->carry;
    if (b->min < a->min) a->min = b->min;
    if (b->max > a->max) a->max = b->max;
}

static Area text, table, names, keys;
static FieldList list, group_list;
// Per entry of the list, by its position (from 1): the current record's
// statistics and the accumulation. Outside the areas, grown with the list.
static Stats* current = nullptr;
static Stats* total = nullptr;
static int32_t blocks = 0;
static const uint32_t no_key[1] = {0};
static const uint32_t* group = no_key;

// Room for the entries the list has now; new ones start fresh.
static void give_blocks() {
    int32_t want = list.included_count + 1;
    if (want <= blocks) return;
    current = static_cast<Stats*>(checked_realloc(current, sizeof(Stats) * size_t(want)));
    total = static_cast<Stats*>(checked_realloc(total, sizeof(Stats) * size_t(want)));
    for (int32_t i = blocks; i < want; ++i) current[i] = total[i] = fresh;
    blocks = want;
}

static void set_totals_fresh() {
    for (int32_t i = 0; i < blocks; ++i) total[i] = fresh;
}

// Accumulates the record into the current statistics; with -r the fields
// not selected go out unchanged.
static void accumulate(Field* rec) {
    for (int32_t i = 0; i < blocks; ++i) current[i] = fresh;
    LineRun kept;
    const Field* f = rec;
    for (; f->start; ++f) {
        int position = 0;
        int selected = 0;
        if (f->value && field_has_name(f)) {
            selected = field_list_match(&list, f->start, field_name_key(f), nullptr, &position);
            if (selected < 0) {  // an exclusive list: a name met for the first time
                field_list_insert(&list, list.included_last, f->start, field_name_key(f), &names);
                position = list.included_count;
                give_blocks();
            }
        }
        if (selected == 0) {
            if (per_record) kept.keep(f);
            continue;
        }
        if (per_record) kept.flush(f->start);
        // A value that is not a number (empty, text, nan) is missing: it
        // takes no part in any statistic of its field.
        wchar_t saved = *f->end;
        *f->end = 0;
        double x;
        if (read_number(f->value, &x)) add(&current[position], x);
        *f->end = saved;
    }
    if (per_record) kept.flush(f->end);
}

static void write_stat(const char* what, const FieldListEntry* e, double x) {
    out_str(what);
    out_write(e->name, e->length);  // the name and its colon
    print_number(std::isnan(x) ? NAN : x);  // "nan" on every processor, never "-nan"
    out_putwc(L'\n');
}

// The statistics of every entry in list order, then the empty line.
static void write_stats(const Stats* s) {
    int32_t p = 1;
    for (const FieldListEntry* e = list.included; e; e = e->next, ++p) {
        const Stats& t = s[p];
        write_stat("n.", e, t.n);
        if (t.n == 0) continue;
        write_stat("sum.", e, exact_sum(t));
        write_stat("avg.", e, exact_sum(t) / t.n);
        write_stat("min.", e, t.min);
        write_stat("max.", e, t.max);
        // A deviation that rounding took below zero is none (the nan that
        // infinite values give stays so).
        if (t.n > 1) write_stat("std.", e, std::sqrt(t.m2 < 0 ? 0 : t.m2 / (t.n - 1)));
    }
    out_putwc(L'\n');
}

static void write_summary(const char* file_name) {
    if (per_file && file_name) write_filename(file_name);
    if (group_text) print_key(group, &group_list);
    write_stats(total);
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    if (per_record && group_text) warn(WARN_ERROR, "-r and -g is exclusive.\n");
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    tool_area("nsize", &names, nullptr, 8);
    if (group_text) {
        tool_area("ksize", &keys);
        area_push_pact(0, relocate_pair, &group, nullptr, &keys);
        tool_key_list(group_text, flags_text, &group_list, &names);
    }
    tool_field_list(take_argument(usage), &list, &names);
    exit_if_errors(2);
    give_blocks();

    uint32_t in_group = 0;
    do {
        Input in;
        open_input(&in, INPUT_ONE_FILE);
        while (Field* rec = next_record(&in, &text, &table)) {
            if (group_text) {
                bool changed = next_group(rec, &group_list, &keys, &names, &group, [&] {
                    if (in_group > 0) write_summary(in.name), set_totals_fresh();
                });
                in_group = changed ? 1 : in_group + 1;
            }
            if (per_record) {
                if (per_file && in.name) write_filename(in.name);
                accumulate(rec);
                write_stats(current);
            } else {
                accumulate(rec);
                for (int32_t i = 0; i < blocks; ++i) merge(&total[i], &current[i]);
            }
            area_reset(&table);
            area_reset(&text);
        }
        if (per_file) {
            // Each file's summary counts that file alone.
            if (!per_record && (!group_text || in_group > 0)) write_summary(in.name);
            set_totals_fresh();
            if (group_text) {
                group = no_key;
                area_reset(&keys);
                in_group = 0;
            }
        }
    } while (nargs > 0);
    if (!per_file && !per_record && (!group_text || in_group > 0)) write_summary(nullptr);
    tool_finish();
}
