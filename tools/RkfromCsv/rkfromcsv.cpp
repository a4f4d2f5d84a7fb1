// RkfromCsv: makes records of CSV files. The first line of each file names
// the columns; every further line becomes a record of one field per column,
// its cells read by the CSV rules (double quotes around cells that hold
// commas, double quotes or line breaks; a doubled double quote inside).
#include <cstring>
#include <cwchar>

#include "csv.h"
#include "tool.h"

static const char usage[] =
    "RkfromCsv [-options] field-format-list [input-file ..]\n"
    "\tmakes Rk-file from csv files.\n"
    "\tOptions:\n"
    "\t-F\tadd filename: field.\n";

static int32_t nsize = 4, dsize = 1;
static Setting settings[] = {{"nsize", &nsize}, {"dsize", &dsize}, {nullptr, nullptr}};
static bool filenames = false;

static bool option(int letter) {
    if (letter != 'F') return false;
    filenames = true;
    return true;
}

static const ToolSpec spec = {usage, "FD:", settings, option, nullptr};

// The column names, each "name:" in `names`, and where they lie (offsets,
// as the area may move) in `columns`.
struct Column {
    size_t at, length;
};
static Area names, columns;
static int32_t ncolumns = 0;
static Column* column_table() { return reinterpret_cast<Column*>(columns.base); }

static CsvReader reader;

// A field name ends at its first colon, so the records cannot keep a column
// name that holds one: its values would read as part of the name. Written
// all the same, but reported, so that the run does not pass for a success.
static void check_name(const wchar_t* name, size_t length, int32_t line) {
    if (std::wmemchr(name, L':', length) == nullptr) return;
    warn(WARN_ERROR, "the column name %.*ls in %s(%d) holds a colon, where a field name ends; rename the column.\n",
         int(length), name, input_name, line);
}

static void read_header() {
    area_reset(&names);
    area_reset(&columns);
    ncolumns = 0;
    bool more;
    do {
        // The name grows at the head of `names`; its start as an offset.
        size_t at = size_t(names.head - names.base);
        auto put = [](wchar_t c) { *static_cast<wchar_t*>(area_alloc(sizeof(wchar_t), &names)) = c; };
        int32_t line = reader.line;
        more = csv_read_cell(&reader, put, [] {});
        put(L':');
        size_t length = size_t(names.head - names.base) - at;
        check_name(reinterpret_cast<const wchar_t*>(names.base + at), length / sizeof(wchar_t) - 1, line);
        *static_cast<Column*>(area_alloc(sizeof(Column), &columns)) = Column{at, length / sizeof(wchar_t)};
        ++ncolumns;
    } while (more);
}

static void write_name(int32_t c) {
    const Column& col = column_table()[c];
    out_write(reinterpret_cast<const wchar_t*>(names.base + col.at), col.length);
}

static void write_records(const char* file_name) {
    while (csv_more(&reader)) {
        bool more = true;
        int32_t c = 0;
        auto put = [](wchar_t ch) { out_putwc(ch); };
        for (; c < ncolumns; ++c) {
            write_name(c);
            if (more) more = csv_read_cell(&reader, put, [c] {
                out_putwc(L'\n');
                write_name(c);
            });
            out_putwc(L'\n');
        }
        // Cells beyond the columns: more fields of the last column.
        int32_t last = ncolumns - 1;
        while (more) {
            write_name(last);
            more = csv_read_cell(&reader, put, [last] {
                out_putwc(L'\n');
                write_name(last);
            });
            out_putwc(L'\n');
        }
        if (filenames) write_filename(file_name);
        out_putwc(L'\n');
    }
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    tool_area("nsize", &names);
    tool_area("dsize", &columns);
    tool_each_stream([](WStream* in, const char* file_name) {
        reader = CsvReader{in};
        read_header();
        write_records(file_name);
    });
}
