// Stanza files: the paragraphs of "Name: value" lines that package indexes,
// package metadata and mail headers are written in, read as records. A
// paragraph ends at an empty line (or a line of blanks); in it a line
// "Name: value" is the field Name:value (one blank after the colon
// dropped), and a line that begins with a blank continues the field above
// as another field of its name (the first blank dropped). CR LF line ends
// read as LF.
#pragma once

#include "runtime.h"

// Writes the records of the stanza text of `in` to standard output, each
// with a filename field (write_filename(file)) when with_filename is set.
// Lines are counted in input_number; a line without a colon and a
// continuation with no field above are counted errors naming input_name.
void stanza_convert(WStream* in, const char* file, bool with_filename);
