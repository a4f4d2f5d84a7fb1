// Shared set-up of the fuzz targets: the runtime started once in a UTF-8
// locale, and helpers to split an input into parts.
#pragma once

#include <climits>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "runtime.h"

inline void fuzz_start() {
    static bool started = false;
    if (started) return;
    started = true;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    setenv("LC_ALL", "C.UTF-8", 1);
    runtime_init(1, argv);
}

// Standard output, captured into `written` once capture_output was called.
static std::string written;
inline void capture_output() {
    static bool made = false;
    if (made) return;
    made = true;
    out_redirect([](const char* bytes, size_t n) {
        written.append(bytes, n);
        return long(n);
    });
}

// The start of a target that reads text: false for text that does not
// decode (it ends a program at once), else the runtime is started, standard
// output captured and the input named "fuzz".
inline bool valid_text(const uint8_t* data, size_t size);
inline bool start_text_target(const uint8_t* data, size_t size) {
    fuzz_start();
    if (!valid_text(data, size)) return false;
    capture_output();
    input_name = "fuzz";
    return true;
}

// The parts of data between zero bytes (at most `most`; the last part takes
// the rest, zero bytes included).
inline std::vector<std::string> split_parts(const uint8_t* data, size_t size, size_t most) {
    std::vector<std::string> parts;
    std::string cur;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && parts.size() + 1 < most) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(char(data[i]));
        }
    }
    parts.push_back(cur);
    while (parts.size() < most) parts.emplace_back();
    return parts;
}

// Wide text from bytes, one character per byte (no zero characters).
inline std::wstring widen_bytes(const std::string& s) {
    std::wstring w;
    for (unsigned char c : s)
        if (c) w.push_back(wchar_t(c));
    return w;
}

// Whether bytes are valid text in the locale (as the readers decode it).
inline bool valid_text(const uint8_t* data, size_t size) {
    mbstate_t st{};
    for (size_t i = 0; i < size;) {
        wchar_t wc;
        size_t r = std::mbrtowc(&wc, reinterpret_cast<const char*>(data + i), size - i, &st);
        if (r == size_t(-1) || r == size_t(-2)) return false;
        i += r == 0 ? 1 : r;
    }
    return true;
}
