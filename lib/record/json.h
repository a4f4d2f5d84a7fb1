// JSON text and records. Reading: each object of the input (JSON Lines,
// any sequence of values, or the elements of a top-level array) is one
// record, its members fields in order; an array gives a field per element,
// a nested object's members are named outer.inner. Writing: a record is one
// object, a name that occurs more than once an array of its values.
#pragma once

#include "record.h"

struct JsonReading {
    const char* separator = ".";  // between the names of nested members
    const char* newline = nullptr;  // written for a newline in a string; null: the value splits there
    bool filenames = false;       // a filename field ends each record
};

// Writes the records of the JSON text of `in` to standard output (the
// fields of `file`'s name with filenames set). A value that is not JSON,
// or not an object, is a counted error naming input_name and the line (in
// input_number); nothing of it is written, and reading goes on at the next
// line. A string's NUL characters are left out and characters the locale
// can't encode, or bytes that are not UTF-8, written as '?', each a counted
// error.
void json_convert(WStream* in, const char* file, const JsonReading& how);

struct JsonWriting {
    const wchar_t* unnest = nullptr;  // names holding it become nested objects
    size_t unnest_length = 0;
    bool arrays = false;   // every value in an array
    bool strings = false;  // every value a string
};

// Whether text[0..n) is a JSON number as written: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
bool json_number(const wchar_t* text, size_t n);
// Writes the record as one JSON object, without a line end, in UTF-8
// whatever the locale's encoding.
// False when a name is both a value and an object
// (with unnest): such names are written as given.
bool json_write_record(const Field* rec, const JsonWriting& how);
