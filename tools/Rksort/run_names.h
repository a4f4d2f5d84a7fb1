// Names of Rksort's run files: the directory and stem, a dot and a suffix
// that counts the runs: three digits for 0-999, a letter and two digits for
// 1000-3599, three letters for 3600-21175.
#pragma once

constexpr long LAST_RUN = 21175;

// Writes the name of run i (at most LAST_RUN) into buf, which holds the
// prefix and five more bytes. Only plain character operations are used, so
// that a signal handler may call it.
inline void run_name(char* buf, const char* prefix, long i) {
    char* o = buf;
    for (const char* p = prefix; *p; ++p) *o++ = *p;
    *o++ = '.';
    if (i < 1000) {
        *o++ = char('0' + i / 100);
        *o++ = char('0' + i / 10 % 10);
        *o++ = char('0' + i % 10);
    } else if (i < 3600) {
        *o++ = char('a' + (i - 1000) / 100);
        *o++ = char('0' + (i - 1000) % 100 / 10);
        *o++ = char('0' + (i - 1000) % 10);
    } else {
        long v = i - 3600;
        *o++ = char('a' + v / 676);
        *o++ = char('a' + v / 26 % 26);
        *o++ = char('a' + v % 26);
    }
    *o = 0;
}
