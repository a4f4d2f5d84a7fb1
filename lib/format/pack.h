// The common start of the programs that pack and unpack repeating fields:
// the -t and -z options, the areas, the field-format list and its checks,
// and per-record tables of the listed fields.
#pragma once

#include "format.h"
#include "tool.h"

struct PackTool {
    Area text, table, names, work;  // rsize, tsize, nsize, wsize
    FieldList list;
};

// Options, areas, the default format from -t and -z in the direction, the
// list (its formats all repeating in the input direction) and the checks
// that name `program` in their messages; status 2 after faults.
void pack_start(PackTool* tool, const char* usage, const char* options, const char* program, int direction,
                int argc, char** argv);
// Which of the record's n fields the list selects.
bool* pack_listed(const PackTool* tool, const Field* rec, size_t n);
// Room for n chain links and n marks (cleared), reused from record to record.
int32_t* pack_next(size_t n);
bool* pack_marks(size_t n);
// The format of a listed field: its entry's, or the default one.
const FieldFormat* pack_format(const PackTool* tool, const Field* f);
