// rkmeasure: runs a shell command line several times and reports its median
// wall-clock time and its peak resident set size.
//
//   rkmeasure [-r RUNS] [-w WARMUP] [-o OUTFILE] -- 'command line' ['command line' ...]
//
// Several command lines take turns: each round (warm-ups too) runs every one
// of them once, in the order given, so that a machine whose speed drifts
// (a shared or virtual one) slows them alike.
//
// The command runs as `/bin/sh -c 'command line'` with standard input from
// /dev/null (unless the command line redirects it) and standard output into
// OUTFILE (default /dev/null), truncated before every run, so that OUTFILE
// holds the output of the last run afterwards. Standard error is inherited.
//
// Peak RSS comes from wait4() on the shell. On Linux the rusage a parent
// collects for a child covers the child and every descendant that was reaped
// below it, and ru_maxrss is the maximum over all of them. Since the shell
// waits for every process of a pipeline, the figure is the largest peak among
// the shell and all the commands it ran; for a single command it is that
// command's own peak (a shell is much smaller than anything worth measuring).
//
// Output, one line per command line, in their order:
//   median_s=0.1234 min_s=0.1200 max_s=0.1300 maxrss_mb=3.4 runs=5 status=0
// status is 0 if every timed run exited 0; otherwise the exit status of the
// first failing run (128+N for a death by signal N), and rkmeasure itself
// then exits with 1. The lines after the first end with
//   paired=0.25
// the median, over the rounds, of the first command's time divided by this
// one's in the same round.

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

[[noreturn]] void usage() {
    std::fprintf(stderr,
                 "usage: rkmeasure [-r RUNS] [-w WARMUP] [-o OUTFILE] -- 'command line' ...\n"
                 "  -r RUNS     timed runs (default 5); the median is reported\n"
                 "  -w WARMUP   untimed runs first (default 0)\n"
                 "  -o OUTFILE  where the command's standard output goes (default /dev/null)\n"
                 "  several command lines take turns, one run each per round\n");
    std::exit(2);
}

int parse_count(const char* s, int min) {
    int v = 0;
    const char* end = s + std::strlen(s);
    auto r = std::from_chars(s, end, v);
    if (r.ec != std::errc() || r.ptr != end || v < min) usage();
    return v;
}

double now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Result {
    double seconds = 0;
    long maxrss_kb = 0;
    int status = 0;  // shell-style: exit code, or 128+signal
};

Result run_once(const std::string& cmd, const std::string& outfile) {
    int out = open(outfile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        std::fprintf(stderr, "rkmeasure: %s: %s\n", outfile.c_str(), std::strerror(errno));
        std::exit(2);
    }
    int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        std::fprintf(stderr, "rkmeasure: /dev/null: %s\n", std::strerror(errno));
        std::exit(2);
    }
    std::fflush(nullptr);

    Result res;
    double start = now();
    pid_t pid = fork();
    if (pid < 0) {
        std::fprintf(stderr, "rkmeasure: fork: %s\n", std::strerror(errno));
        std::exit(2);
    }
    if (pid == 0) {
        if (dup2(in, 0) < 0 || dup2(out, 1) < 0) _exit(127);
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in);
    close(out);

    int wstatus = 0;
    rusage ru{};
    pid_t w;
    do {
        w = wait4(pid, &wstatus, 0, &ru);
    } while (w < 0 && errno == EINTR);
    res.seconds = now() - start;
    if (w < 0) {
        std::fprintf(stderr, "rkmeasure: wait4: %s\n", std::strerror(errno));
        std::exit(2);
    }
    res.maxrss_kb = ru.ru_maxrss;  // kilobytes on Linux
    if (WIFEXITED(wstatus))
        res.status = WEXITSTATUS(wstatus);
    else if (WIFSIGNALED(wstatus))
        res.status = 128 + WTERMSIG(wstatus);
    return res;
}

// The median of the values (sorts them).
double median(std::vector<double>& v) {
    std::sort(v.begin(), v.end());
    std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5, warmup = 0;
    std::string outfile = "/dev/null";
    int i = 1;
    for (; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--") {
            ++i;
            break;
        }
        if ((a == "-r" || a == "-w" || a == "-o") && i + 1 < argc) {
            const char* v = argv[++i];
            if (a == "-r")
                runs = parse_count(v, 1);
            else if (a == "-w")
                warmup = parse_count(v, 0);
            else
                outfile = v;
        } else {
            usage();
        }
    }
    if (i >= argc) usage();
    const std::vector<std::string> cmds(argv + i, argv + argc);
    const std::size_t m = cmds.size();

    for (int k = 0; k < warmup; ++k)
        for (const std::string& cmd : cmds) run_once(cmd, outfile);

    std::vector<std::vector<double>> times(m);
    std::vector<long> maxrss_kb(m, 0);
    std::vector<int> status(m, 0);
    for (int k = 0; k < runs; ++k) {
        for (std::size_t c = 0; c < m; ++c) {
            Result r = run_once(cmds[c], outfile);
            times[c].push_back(r.seconds);
            maxrss_kb[c] = std::max(maxrss_kb[c], r.maxrss_kb);
            if (status[c] == 0 && r.status != 0) status[c] = r.status;
        }
    }

    bool failed = false;
    for (std::size_t c = 0; c < m; ++c) {
        std::vector<double> sorted = times[c];
        const double mid = median(sorted);
        std::printf("median_s=%.4f min_s=%.4f max_s=%.4f maxrss_mb=%.1f runs=%d status=%d", mid, sorted.front(),
                    sorted.back(), static_cast<double>(maxrss_kb[c]) / 1024.0, runs, status[c]);
        if (c > 0) {
            std::vector<double> ratios;
            for (int k = 0; k < runs; ++k)
                ratios.push_back(times[c][k] > 0 ? times[0][k] / times[c][k] : 0);
            std::printf(" paired=%.4f", median(ratios));
        }
        std::printf("\n");
        failed = failed || status[c] != 0;
    }
    return failed ? 1 : 0;
}
