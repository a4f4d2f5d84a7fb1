// RktoCsv: writes records as CSV tables, one per input file: a header line
// of column names, then a line per record. The columns are given (-p; the
// header then only with -H), or found in each file: a regular file is read
// twice, for its columns and then for its lines; of a pipe or standard input
// the first records are held until the storage areas run full (with at
// least irecs of them held) or the input ends. A field left out because the
// columns were fixed before it turned up is a counted error.
#include "csv.h"
#include "tool.h"

static const char usage[] =
    "RktoCsv [-options] [input-file ..]\n"
    "\tconversion to Csv format.\n"
    "\tOptions:\n"
    "\t-p field-format-list\toutput fields and order.\n"
    "\t-H\theader line also with -p.\n"
    "\t-Direcs=N\tnumber of inspection records.\n";

static int32_t rsize = 32, tsize = 12, nsize = 1, dsize = 1, irecs = 1, wsize = 1;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {"dsize", &dsize},
                             {"irecs", &irecs}, {"wsize", &wsize}, {nullptr, nullptr}};
static const char* columns_text = nullptr;
static bool header_always = false;

static bool option(int letter) {
    if (letter == 'H') {
        header_always = true;
        return true;
    }
    if (letter != 'p') return false;
    columns_text = opt_arg;
    return true;
}

static const ToolSpec spec = {usage, "Hp:D:", settings, option, nullptr};

static Area text, table, held, names, scratch;  // rsize, tsize, dsize, nsize, wsize
static FieldList columns;
// While the columns of a file are being found, its records are held: their
// references in `held`, `nheld` of them.
static bool inspecting = false;
static int32_t nheld = 0;
static bool told = false;  // of fields left out of this file's table (an error)
static Field** held_records() { return reinterpret_cast<Field**>(held.base); }

// A field's name as the column list takes it (with its colon); a field
// without a name belongs to the column of the empty name.
static const wchar_t empty_name[] = L":";
static const wchar_t* column_name(const Field* f, size_t* length) {
    *length = field_name_key(f);
    if (*length > 0) return f->start;
    *length = 1;
    return empty_name;
}

static void write_header() {
    for (FieldListEntry* e = columns.included; e; e = e->next) {
        csv_write_cell(e->name, e->length - 1);
        if (e->next) out_putwc(L',');
    }
    out_putwc(L'\n');
    out_mark();
}

// Writes the record as a line: for each column the values of the fields of
// its name, in record order, in one cell.
static void write_line(const Field* rec) {
    int32_t ncolumns = columns.included_count;
    const Field* end = record_end(rec);
    size_t nfields = size_t(end - rec);
    // first[c]: the record's first field of column c; next[i]: the field of
    // the same column after field i; -1 ends.
    area_reset(&scratch);
    auto* first = static_cast<int32_t*>(area_alloc(sizeof(int32_t) * (size_t(ncolumns) + nfields), &scratch));
    int32_t* next = first + ncolumns;
    for (int32_t c = 0; c < ncolumns; ++c) first[c] = -1;
    for (size_t i = nfields; i-- > 0;) {
        size_t length;
        const wchar_t* name = column_name(&rec[i], &length);
        int position = 0;
        int m = field_list_match(&columns, name, length, nullptr, &position);
        if (m < 0 && !told) {
            // A name the inspection did not find: its value is lost, an
            // error said once per file.
            warn(WARN_ERROR, "fields not among the columns found are left out from %s(%d) on.\n", input_name,
                 input_number);
            told = true;
        }
        if (m != 1 || position <= 0) continue;
        next[i] = first[position - 1];
        first[position - 1] = int32_t(i);
    }
    for (int32_t c = 0; c < ncolumns; ++c) {
        if (c > 0) out_putwc(L',');
        int32_t i = first[c];
        if (i < 0) continue;
        if (next[i] < 0) {
            csv_write_cell(rec[i].value, field_value_length(&rec[i]));
            continue;
        }
        // Several values: one quoted cell, a value per line.
        out_putwc(L'"');
        for (; i >= 0; i = next[i]) {
            csv_write_quoted_part(rec[i].value, field_value_length(&rec[i]));
            if (next[i] >= 0) out_putwc(L'\n');
        }
        out_putwc(L'"');
    }
    out_putwc(L'\n');
    out_mark();
}

// Finds the columns in a record: each new name goes right after the column
// of the field before it in the record (at the front for the first one), so
// that the record's order of fields is kept.
static void fix_columns_of(const Field* rec) {
    FieldListEntry* current = nullptr;
    for (const Field* f = rec; f->start; ++f) {
        size_t length;
        const wchar_t* name = column_name(f, &length);
        FieldListEntry* entry = nullptr;
        int m = field_list_match(&columns, name, length, &entry, nullptr);
        if (m == 0) continue;  // excluded
        current = m > 0 ? entry : field_list_insert(&columns, current, name, length, &names);
    }
}

static void fix_columns() {
    for (int32_t r = 0; r < nheld; ++r) fix_columns_of(held_records()[r]);
}

// A regular file is read through once for its columns, every record in
// turn, none held; then it is read again to be written.
static void find_all_columns(Input* in) {
    while (Field* rec = next_record(in, &text, &table)) {
        fix_columns_of(rec);
        area_reset(&table);
        area_reset(&text);
    }
    write_header();
}

// Fixes the columns and writes the table so far: the header and the held
// records. The areas are released behind the last of them.
static void end_inspection() {
    fix_columns();
    write_header();
    for (int32_t r = 0; r < nheld; ++r) write_line(held_records()[r]);
    if (nheld > 0) {
        Field* last = record_end(held_records()[nheld - 1]);
        area_release(last->end + 1, &text);
        area_release(last + 1, &table);
    }
    area_reset(&held);
    nheld = 0;
    inspecting = false;
}

// When the text, table or reference area runs full while records are held:
// with irecs of them held the columns are fixed and the table so far is
// written, which frees the area; with fewer the area doubles, the held
// records following it.
static bool enough_held() { return inspecting && nheld >= irecs && nheld > 0; }

static int text_full(void*, void*, Area* area) {
    if (enough_held()) {
        end_inspection();
        area_resize(area_size(area), area);  // nothing moved: relocations are identities
        return 0;
    }
    area_double(nullptr, nullptr, area);
    for (int32_t r = 0; r < nheld; ++r) relocate_record(held_records()[r], area);
    return 0;
}

static int table_full(void*, void*, Area* area) {
    if (enough_held()) {
        end_inspection();
        area_resize(area_size(area), area);
        return 0;
    }
    area_double(nullptr, nullptr, area);
    for (int32_t r = 0; r < nheld; ++r) area_relocate_cell(&held_records()[r], area);
    return 0;
}

static int held_full(void*, void*, Area* area) {
    if (enough_held()) {
        end_inspection();  // empties the area
        return 0;
    }
    return area_double(nullptr, nullptr, area);
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    out_units(OUT_MARKED);  // a unit is a line of the table
    tool_area("rsize", &text, text_full);
    tool_area("tsize", &table, table_full);
    tool_area("dsize", &held, held_full);
    tool_area("nsize", &names);
    tool_area("wsize", &scratch);
    tool_field_list(columns_text ? columns_text : "^", &columns, &names);

    tool_each_file([](Input& in) {
        area_reset(&text);
        area_reset(&table);
        area_reset(&held);
        nheld = 0;
        told = false;
        inspecting = false;
        if (!columns.inclusive) {
            field_list_clear_included(&columns);
            if (input_rereadable(&in)) {
                find_all_columns(&in);
                if (!reread_input(&in)) return;
            } else {
                inspecting = true;
            }
        } else if (header_always) {
            write_header();
        }
        while (Field* rec = next_record(&in, &text, &table)) {
            if (inspecting) {
                auto** slot = static_cast<Field**>(area_alloc(sizeof(Field*), &held));
                if (inspecting) {
                    *slot = rec;
                    ++nheld;
                    continue;
                }
                area_reset(&held);
            }
            write_line(rec);
            area_reset(&table);
            area_reset(&text);
        }
        if (inspecting) end_inspection();
    });
}
