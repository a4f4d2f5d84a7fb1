// Declarations shared by the runtime's own files, not part of its interface.
#pragma once

// Finds out, after the locale was set, whether ASCII encodes as itself and
// whether the UTF-8 shortcuts agree with the C library.
void detect_ascii_compatible();
// A write to standard output failed (errno tells why): a closed pipe ends
// the program quietly by its signal, anything else is fatal.
[[noreturn]] void output_error();
