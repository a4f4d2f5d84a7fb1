// The record reader's two ways, shared by its units: a record's bytes
// found in a stream's buffer, and the reader character by character.
#pragma once

#include "record.h"

enum Take { TAKE_BYTES, TAKE_WIDE, TAKE_ENDED };
// Takes the next record of s as its bytes when they can stand for it (see
// read_record_bytes): TAKE_BYTES with *bytes set and the stream past the
// record; TAKE_WIDE when the record must be read character by character
// (nothing of it consumed); TAKE_ENDED when the stream holds no more
// fields. Empty lines before the record are consumed in every case.
Take take_bytes(WStream* s, RecordBytes* bytes);
// read_record's character-by-character reader.
Field* read_record_wide(WStream* s, Area* text, Area* table);
