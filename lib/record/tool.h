// The frame of every program's main routine. A program states its usage
// text, option letters and settings table (with the defaults) once, in a
// ToolSpec; the frame does the rest of the common sequence:
//
//   1. tool_start: start-up, the option loop (-D into the settings, the
//      digits of a count, anything unknown to the usage text), the shift
//      past the options;
//   2. tool_area for each storage area, tool_field_list / tool_key_list;
//   3. tool_each_record or tool_each_file: the status-2 check, the input,
//      the program's work per record or per file (with the per-record areas
//      emptied after each record), then the status-1 check and exit 0.
//
// A program whose work does not fit step 3 calls exit_if_errors(2), reads
// the input itself and ends with tool_finish.
#pragma once

#include <cstdint>

#include "keys.h"
#include "record.h"

struct ToolSpec {
    const char* usage;    // written on a bad option or missing argument
    const char* options;  // letters as opt_next takes them, D: included
    Setting* settings;    // the program's settings, holding the defaults
    // Takes one option letter of `options` other than D and the digits
    // (opt_arg holds its argument); false for a letter it does not know.
    bool (*option)(int letter);
    // When set, the digit letters of `options` form a count here (-10 is
    // ten; digits accumulate across options).
    int32_t* count;
    // When set, an unknown option writes the usage text and counts an error,
    // and the scan goes on (the program stops with status 2 after it).
    bool scan_goes_on = false;
    // When set, an unknown option ends the run with status 2 without a
    // text (the usage text answers --help only).
    bool quiet_unknown = false;
};

// Steps 1 to 3 of the frame. Keeps the spec for the calls below.
void tool_start(const ToolSpec& spec, int argc, char** argv);
// The value of the setting `name` of the program's table.
int32_t tool_setting(const char* name);
// Creates `area` from the size setting `name` (KB) and pushes its growth
// pact: doubling, or the program's own `growth`. `pacts`, when given, is
// the room of its row 0 of pacts (the default holds four).
void tool_area(const char* name, Area* area, PactFn growth = nullptr, int32_t pacts = 0);
// Parses a field list into `list`, in `names`, whose relocation pact for
// the list it pushes first.
void tool_field_list(const char* text, FieldList* list, Area* names);
// The same for a key-field list, with the default flags of a -k argument
// (null when none was given), each entry's flags resolved.
void tool_key_list(const char* text, const char* flags, FieldList* list, Area* names);
// Groups of consecutive records (-g): builds the record's group key in
// `keys` and tells whether it differs from *previous, the key of the
// records before (kept translated by the caller's pact on `keys`). When it
// does, before() runs while *previous is still whole (to write what the
// group before gathered), then the area is released up to the new key,
// which becomes *previous; an equal key is given back.
template <typename Before>
bool next_group(Field* rec, FieldList* list, Area* keys, Area* names, const uint32_t** previous, Before before) {
    uint32_t* key = make_key(rec, list, keys, names);
    if (compare_keys(key, *previous, list) == 0) {
        area_drop(key, keys);
        return false;
    }
    before();
    area_release(key, keys);
    *previous = key;
    return true;
}
// The start of a program whose first argument is a field list: tool_start,
// then the areas text, table and names from the settings rsize, tsize and
// nsize, and the list parsed from the argument (the usage text when none).
struct ListTool {
    Area text, table, names;
    FieldList list;
};
void tool_list_start(const ToolSpec& spec, int argc, char** argv, ListTool* tool);
// The status-1 check, then exit 0.
[[noreturn]] void tool_finish();

// Gives each record of the input (the file arguments in turn, or standard
// input) to each(record, input); after it the text and table areas are
// emptied. Then tool_finish.
template <typename Each>
[[noreturn]] void tool_each_record(Area* text, Area* table, Each each) {
    exit_if_errors(2);
    Input in;
    open_input(&in, INPUT_ALL_FILES);
    while (Field* rec = next_record(&in, text, table)) {
        each(rec, in);
        area_reset(table);
        area_reset(text);
    }
    tool_finish();
}

// tool_each_record for programs that can often work on a record's bytes:
// each(record, bytes, input) gets the record read (bytes.text null) or
// else its bytes (record null), as next_record_bytes gives them. Taking
// the bytes costs a pass over them, which pays only where most records
// need not be read.
template <typename Each>
[[noreturn]] void tool_each_record_bytes(Area* text, Area* table, Each each) {
    exit_if_errors(2);
    Input in;
    open_input(&in, INPUT_ALL_FILES);
    RecordBytes bytes;
    for (;;) {
        Field* rec = next_record_bytes(&in, &bytes, text, table);
        if (rec == nullptr && bytes.text == nullptr) break;
        each(rec, bytes, in);
        area_reset(table);
        area_reset(text);
    }
    tool_finish();
}

// Opens the next file argument ("-", or none at all, is standard input) as
// a stream of bytes, past a byte-order mark, and sets input_name; *name is
// the file's name, null for standard input. A file that can't be opened is
// a counted error and gives null. The arguments move past the file.
WStream* open_next_stream(const char** name);
// Gives each file argument (or standard input) to each(stream, name) as
// open_next_stream opens it, and closes it after. Then tool_finish.
template <typename Each>
[[noreturn]] void tool_each_stream(Each each) {
    exit_if_errors(2);
    do {
        const char* name;
        if (WStream* in = open_next_stream(&name)) {
            each(in, name);
            ws_close(in);
        }
    } while (nargs > 0);
    tool_finish();
}
// Gives each file argument (or standard input), opened as an input of its
// own, to each(input). Then tool_finish.
template <typename Each>
[[noreturn]] void tool_each_file(Each each) {
    exit_if_errors(2);
    do {
        Input in;
        open_input(&in, INPUT_ONE_FILE);
        each(in);
    } while (nargs > 0);
    tool_finish();
}
