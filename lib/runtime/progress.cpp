// The progress line: a countdown of calls between looks at the monotonic
// clock, and the line written with one write(2) each time.
#include "progress.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace progress_detail {
int32_t countdown = INT32_MAX;
}

namespace {

constexpr int32_t CALLS_PER_LOOK = 4096;
constexpr int64_t FIRST_AFTER_MS = 2000;
constexpr int64_t EVERY_MS = 250;

int64_t every_ms = EVERY_MS;
int32_t calls_per_look = CALLS_PER_LOOK;
bool enabled = false;
bool shown = false;
int64_t due_ms = 0;  // when the next line may be written

int64_t now_ms() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

void put(const char* p, size_t n) {
    while (n > 0) {
        ssize_t r = write(2, p, n);
        if (r <= 0) return;  // a terminal that went away: nothing to tell
        p += r;
        n -= size_t(r);
    }
}

}  // namespace

bool progress_detail::look() {
    countdown = enabled ? calls_per_look : INT32_MAX;
    if (!enabled) return false;
    int64_t now = now_ms();
    if (now < due_ms) return false;
    due_ms = now + every_ms;
    return true;
}

void progress_start() {
    enabled = isatty(2);
    if (!enabled) return;
    // RK_PROGRESS_DELAY (milliseconds) replaces both the first delay and
    // the time between lines, and the clock is looked at on every call:
    // for the tests only.
    const char* d = std::getenv("RK_PROGRESS_DELAY");
    bool test = d && *d;
    int64_t first_ms = test ? std::strtol(d, nullptr, 10) : FIRST_AFTER_MS;
    every_ms = test ? first_ms : EVERY_MS;
    calls_per_look = test ? 1 : CALLS_PER_LOOK;
    due_ms = now_ms() + first_ms;
    progress_detail::countdown = calls_per_look;
}

void progress_show(const char* format, ...) {
    char line[128] = "\r";
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(line + 1, sizeof line - 8, format, ap);
    va_end(ap);
    if (n < 0) return;
    size_t end = 1 + (size_t(n) < sizeof line - 9 ? size_t(n) : sizeof line - 9);
    for (const char* p = "\033[K"; *p; ++p) line[end++] = *p;
    put(line, end);
    shown = true;
}

void progress_erase() {
    if (!shown) return;
    shown = false;
    put("\r\033[K", 4);
}

const char* progress_bytes(char* buf, uint64_t n) {
    static const char* const units[] = {"bytes", "KB", "MB", "GB", "TB"};
    double v = double(n);
    int u = 0;
    while (v >= 1024 && u < 4) {
        v /= 1024;
        ++u;
    }
    std::snprintf(buf, 16, u == 0 ? "%.0f %s" : "%.1f %s", v, units[u]);
    return buf;
}
