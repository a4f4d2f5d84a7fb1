// Helpers shared by the unit tests: start-up with a given command line,
// storage areas that stay reachable for the whole run, and input streams
// fed from memory (a temporary file, or a pipe written piece by piece).
#pragma once

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "runtime.h"

// Under AddressSanitizer an impossible malloc must return null, as it does
// in the real programs, rather than abort the test program. (Each test
// program includes this header from a single source file.)
extern "C" __attribute__((used)) const char* __asan_default_options() { return "allocator_may_return_null=1"; }

// A string that lives (and keeps its address) until the end of the run.
inline char* keep_string(const std::string& s) {
    static auto* kept = new std::deque<std::string>;
    kept->push_back(s);
    return kept->back().data();
}

// Starts the runtime as the program "rt" with the given arguments, in a
// UTF-8 locale whatever the environment says.
inline void start(const std::vector<std::string>& words = {}) {
    static auto* vectors = new std::deque<std::vector<char*>>;
    setenv("LC_ALL", "C.UTF-8", 1);
    std::vector<char*> v{keep_string("rt")};
    for (const std::string& w : words) v.push_back(keep_string(w));
    v.push_back(nullptr);
    vectors->push_back(v);
    runtime_init(int(v.size()) - 1, vectors->back().data());
}

inline char* at(const void* p) { return static_cast<char*>(const_cast<void*>(p)); }

// Areas are never freed, as in the programs; they stay reachable here (a
// table that is never destroyed) for the leak checker.
inline Area* new_area(size_t size, const char* name = "t") {
    static auto* areas = new std::deque<Area>;
    areas->emplace_back();
    area_create(size, name, &areas->back());
    return &areas->back();
}

struct TempFile {
    std::string path;
    explicit TempFile(const std::string& bytes) {
        std::string t = testing::TempDir() + "rkunitXXXXXX";
        int fd = mkstemp(t.data());
        EXPECT_GE(fd, 0);
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        close(fd);
        path = t;
    }
    ~TempFile() { unlink(path.c_str()); }
    WStream* open() const { return ws_open(path.c_str()); }
};

// A stream over a pipe. Each piece is written only once the reader has
// drained the pipe, so every piece arrives in reads of its own.
struct PipeFeed {
    int fds[2];
    std::atomic<bool> stop{false};
    std::thread writer;
    WStream* stream;

    explicit PipeFeed(std::vector<std::string> pieces) {
        std::signal(SIGPIPE, SIG_IGN);
        EXPECT_EQ(pipe(fds), 0);
        stream = ws_open(("/dev/fd/" + std::to_string(fds[0])).c_str());
        writer = std::thread([this, pieces = std::move(pieces)] {
            for (const std::string& piece : pieces) {
                int avail = 1;
                while (!stop && ioctl(fds[0], FIONREAD, &avail) == 0 && avail > 0) usleep(200);
                if (stop || write(fds[1], piece.data(), piece.size()) != ssize_t(piece.size())) break;
            }
            close(fds[1]);
        });
    }
    ~PipeFeed() {
        stop = true;
        writer.join();
        ws_close(stream);
        close(fds[0]);
    }
};

// Cuts text into pieces of irregular small sizes.
inline std::vector<std::string> small_pieces(const std::string& text, size_t first = 1) {
    std::vector<std::string> v;
    for (size_t i = 0, k = first; i < text.size(); i += k, k = k * 7 % 4099 + 1) v.push_back(text.substr(i, k));
    return v;
}
