// A progress line for a person who watches long work. When standard error
// is a terminal, from about two seconds after progress_start on, the work
// keeps one line there, rewritten at most four times a second; the line is
// erased before any message and before the program ends (rk_exit, fatal
// errors). Nothing is written when standard error is not a terminal.
//
// The work calls progress_due often (each record, say): it looks at the
// clock only every few thousand calls, and says when a new line is due.
#pragma once

#include <cstdint>

namespace progress_detail {
extern int32_t countdown;  // calls of progress_due left before the next look at the clock
bool look();
}  // namespace progress_detail

// Starts the clock of the work; decides once whether a line may be shown.
void progress_start();
// True when the line is due to be written again (progress_show).
inline bool progress_due() { return --progress_detail::countdown <= 0 && progress_detail::look(); }
// Writes the line, a short one (it must not wrap), over the one before.
void progress_show(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Erases the line when one is shown; a signal handler may call it.
void progress_erase();
// "12.3 MB" and the like for n bytes, into buf (16 bytes).
const char* progress_bytes(char* buf, uint64_t n);
