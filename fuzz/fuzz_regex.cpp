// Regular expressions: compile, match and substitute; the matcher must give
// exactly the match and groups of the plain backtracking reference, the
// match must lie in the subject, and the substitution must keep the text
// around the match; also for patterns compiled to fold case.
#include <cstdlib>

#include "fuzz_common.h"
#include "wregex.h"

static void ignore_error(const char*) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_start();
    wreg_error = ignore_error;
    std::vector<std::string> parts = split_parts(data, size, 3);
    std::wstring pattern = widen_bytes(parts[0]), subject = widen_bytes(parts[1]), tmpl = widen_bytes(parts[2]);
    // The reference takes exponential time on nested repetitions: a bound on
    // its steps keeps every input fast, and a comparison is made only where
    // it ended.
    if (pattern.size() > 128 || subject.size() > 512) return 0;
    wreg_step_limit = 200000;
    static Area area;
    static bool made = false;
    if (!made) {
        area_create_doubling(1, "wsize", &area);
        made = true;
    }
    area_reset(&area);
    // A pattern that begins with the character 2 is compiled without regard
    // to case, and the subject put in lower case, as Rkgrep -i does.
    bool fold = !pattern.empty() && pattern[0] == 2;
    if (fold) {
        pattern.erase(0, 1);
        wreg_fold(&subject[0], subject.c_str(), subject.c_str() + subject.size());
    }
    wregexp* e = wregcomp_case(pattern.c_str(), fold);
    if (e == nullptr) return 0;
    const wchar_t* s = subject.c_str();
    const wchar_t* end = s + subject.size();
    wreg_backtrack_only = true;
    int ref_found = wregexec(e, s);
    bool ref_ended = !wreg_gave_up;
    const wchar_t *ref_start[WREG_GROUPS], *ref_end[WREG_GROUPS];
    for (int g = 0; g < WREG_GROUPS; ++g) ref_start[g] = e->match_start[g], ref_end[g] = e->match_end[g];
    wreg_backtrack_only = false;
    int found = wregexec(e, s);
    if (ref_ended) {
        if (found != ref_found) __builtin_trap();
        for (int g = 0; found && g < WREG_GROUPS; ++g)
            if (e->match_start[g] != ref_start[g] || e->match_end[g] != ref_end[g]) __builtin_trap();
    }
    if (found) {
        if (e->match_start[0] == nullptr || e->match_start[0] < s || e->match_end[0] > end ||
            e->match_start[0] > e->match_end[0])
            __builtin_trap();
        for (int g = 1; g < WREG_GROUPS; ++g)
            if (e->match_start[g] && e->match_end[g] &&
                (e->match_start[g] < s || e->match_end[g] > end))
                __builtin_trap();
        wchar_t* resume = nullptr;
        wchar_t* out = wregsub(e, tmpl.c_str(), s, &resume, &area);
        std::wstring result(out);
        size_t before = size_t(e->match_start[0] - s);
        std::wstring after(e->match_end[0]);
        if (result.compare(0, before, subject, 0, before) != 0) __builtin_trap();
        if (result.size() < before + after.size() || result.compare(result.size() - after.size(), after.size(), after) != 0)
            __builtin_trap();
        if (resume != out + (result.size() - after.size())) __builtin_trap();
    }
    std::free(e);
    return 0;
}
