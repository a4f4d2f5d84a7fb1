// Rk-records: the in-memory record, the reader over the file arguments and
// the writers.
#pragma once

#include <cstdint>
#include <cwchar>
#include <initializer_list>

#include "runtime.h"

// One field of a record. The name is start .. value-2 (the colon excluded),
// the value is value .. end-1, and end is the newline that ends the line.
// A field without a name has value == start. A record is an array of fields
// closed by a triple whose start and value are null and whose end points at
// the 0 character after the record's text.
struct Field {
    wchar_t* start;
    wchar_t* value;
    wchar_t* end;
};

inline bool field_has_name(const Field* f) { return f->value != f->start; }
inline size_t field_name_length(const Field* f) { return f->value == f->start ? 0 : size_t(f->value - f->start - 1); }
inline size_t field_value_length(const Field* f) { return size_t(f->end - f->value); }
// The closing triple of a record.
inline Field* record_end(Field* rec) {
    while (rec->start) ++rec;
    return rec;
}
inline const Field* record_end(const Field* rec) {
    while (rec->start) ++rec;
    return rec;
}

// Applies fn to each pointer (start, value, end) of the fields from up to
// (not including) to that is not null.
template <typename Fn>
inline void for_each_field_pointer(Field* from, Field* to, Fn fn) {
    for (Field* f = from; f < to; ++f)
        for (wchar_t** p : {&f->start, &f->value, &f->end})
            if (*p) fn(*p);
}
// Translates every pointer of the record, its closing triple included,
// after the area holding its text was resized.
void relocate_record(Field* rec, Area* text);

// Reading modes of an input.
enum { INPUT_EXHAUSTED = 0, INPUT_ONE_FILE = 1, INPUT_ALL_FILES = 2 };

struct Input {
    WStream* stream;
    int32_t mode;
    const char* name;  // file argument being read; null for standard input
    int32_t number;    // record number in the current file, from 1
    int32_t total;     // records read since the input was opened
};

// Opens the input over the remaining arguments (standard input when there
// are none): INPUT_ALL_FILES reads them all as one input, INPUT_ONE_FILE
// takes just the next one. Files that can't be opened are counted errors.
void open_input(Input* in, int mode);
// Stops reading the input early.
void close_input(Input* in);
// Whether the input, still open, is a regular file named as an argument,
// which reread_input can read again.
bool input_rereadable(const Input* in);
// Opens the file argument just read (INPUT_ONE_FILE) again from its start,
// for a second reading; false, with a counted error, when it can't be.
// The notes on its text were given in the first reading and are not
// repeated.
bool reread_input(Input* in);
// The next record of the input, or null when it is exhausted. The record's
// text is one new object at the head of `text`, its table (closed by the
// closing triple) one new object at the head of `table`; both areas may
// grow and nothing else in them changes. Sets input_name and input_number.
Field* next_record(Input* in, Area* text, Area* table);
// The same for one stream, or null when the stream holds no more fields.
// The first line of the stream that holds only a carriage return (the
// empty line of a file with CR LF line ends) gets a note on standard error
// naming input_name and input_number, and sets s->told_cr.
Field* read_record(WStream* s, Area* text, Area* table);

// A record's text as the bytes of the input: its lines, each with its
// newline, without the empty line that ends it. They lie in a stream's
// buffer, whose 64 bytes after them may be read (to be ignored).
struct RecordBytes {
    const unsigned char* text;
    size_t length;
};
// read_record for programs that can often work on the bytes of a record:
// when the record's text would be written back exactly as read (in an
// ASCII-compatible locale, every character of it one that encodes back to
// its own bytes, no NUL, no line of only a carriage return, the whole record
// within the stream's buffer), sets *bytes to them (valid until the stream
// is read again) and returns null; otherwise reads the record as
// read_record does and leaves bytes->text null. Both null: the stream holds
// no more fields.
Field* read_record_bytes(WStream* s, RecordBytes* bytes, Area* text, Area* table);
// next_record with read_record_bytes: a record, or null with bytes->text
// set, or null with bytes->text null at the end of the input.
Field* next_record_bytes(Input* in, RecordBytes* bytes, Area* text, Area* table);
// The record whose bytes were given, read into the areas as read_record
// reads it.
Field* widen_record(const RecordBytes* bytes, Area* text, Area* table);
// Writes a record given as bytes, then the empty line that ends it.
void write_record_bytes(const RecordBytes* bytes);

// Writes the field lines of a record as read: its text, which is one
// object of the text area.
void write_record_text(const Field* rec);
// The same, then the empty line that ends the record.
inline void write_record(const Field* rec) {
    write_record_text(rec);
    out_putwc(L'\n');
}
// Writes the record field by field, then the empty line; writes nothing for
// a record without fields.
void write_fields(const Field* rec);
// Writes the field "filename:" with the input's name, when it has one
// (standard input has none). A newline or a byte that is no character of the
// locale's encoding is written as '?', so that no name can break the record
// or make the output unreadable.
void write_filename(const char* name);
// Writes one field line, newline included.
inline void write_field(const Field* f) { out_write(f->start, size_t(f->end - f->start) + 1); }
// Field lines that go out unchanged, gathered while they follow each other
// in the record's text, so that each run of them is written at once.
struct LineRun {
    const wchar_t* from = nullptr;
    void keep(const Field* f) {
        if (from == nullptr) from = f->start;
    }
    // Writes the lines kept so far, which end where `to` begins.
    void flush(const wchar_t* to) {
        if (from == nullptr) return;
        out_write(from, size_t(to - from));
        from = nullptr;
    }
};
