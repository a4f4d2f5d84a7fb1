// Rkl built-ins: the prefix functions, the special values, substitution
// (SUBST, SUBSTG) and shell commands (QX).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwctype>

#include "eval_internal.h"

namespace rkl_detail {

namespace {

RklValue no_numbers() { return RklValue{RKL_NUMBERS, 0, nullptr}; }

double apply(int kind, double x) {
    switch (kind) {
    case RKL_ABS: return x < 0 ? -x : x;
    case RKL_INT: return truncated(x);
    case RKL_SQRT: return std::sqrt(x);
    case RKL_EXP: return std::exp(x);
    case RKL_LOG: return std::log(x);
    case RKL_LOG10: return std::log10(x);
    case RKL_SIN: return std::sin(x);
    case RKL_COS: return std::cos(x);
    case RKL_TAN: return std::tan(x);
    case RKL_ATAN: return std::atan(x);
    case RKL_NEGATE: return -x;
    default: return x;  // prefix POWER: the numbers as they are
    }
}

// MIN, MAX, SUM, AVG: one number, or nothing for an empty operand.
RklValue summary(int kind, const RklValue& v) {
    if (v.count == 0) return no_numbers();
    const double* x = numbers(v);
    double r = x[0];
    for (int32_t i = 1; i < v.count; ++i) {
        if (kind == RKL_MIN) r = x[i] < r ? x[i] : r;
        else if (kind == RKL_MAX) r = x[i] > r ? x[i] : r;
        else r += x[i];
    }
    return one_number(kind == RKL_AVG ? r / v.count : r);
}

int32_t occurrences(const RklFieldRef* r) {
    int32_t n = 0;
    for (const Field* f = rkl.record; f->start; ++f) n += is_field(f, r);
    return n;
}

}  // namespace

RklValue eval_function(RklNode* n) {
    RklValue ops[2] = {eval(n->left), {RKL_NO_VALUE, 0, nullptr}};
    int32_t held = 2;
    Hold hold(ops, &held);
    RklValue& v = ops[0];
    switch (n->kind) {
    case RKL_COUNT:
    case RKL_EXISTS: {
        int32_t count = v.kind == RKL_FIELD_REF ? occurrences(static_cast<RklFieldRef*>(v.items)) : v.count;
        return one_number(n->kind == RKL_COUNT ? count : count > 0);
    }
    case RKL_MIN: case RKL_MAX: case RKL_SUM: case RKL_AVG:
        return summary(n->kind, to_numbers(v));
    case RKL_CAPS: {
        v = to_strings(v);
        ops[1] = new_list(RKL_STRINGS, v.count);
        ops[1].count = 0;
        for (int32_t i = 0; i < v.count; ++i) {
            const wchar_t* s = strings(v)[i];
            wchar_t* c = copy_text(s, std::wcslen(s), value_area);
            for (wchar_t* p = c; *p; ++p)
                if (std::iswlower(wint_t(*p))) *p = wchar_t(std::towupper(wint_t(*p)));
            strings(ops[1])[i] = c;
            ops[1].count = i + 1;
        }
        return ops[1];
    }
    case RKL_CAT: {
        v = to_strings(v);
        size_t total = 0;
        for (int32_t i = 0; i < v.count; ++i) total += std::wcslen(strings(v)[i]);
        area_align(alignof(wchar_t), value_area);
        wchar_t* s = static_cast<wchar_t*>(area_alloc((total + 1) * sizeof(wchar_t), value_area));
        wchar_t* p = s;
        for (int32_t i = 0; i < v.count; ++i) p = wcpcpy(p, strings(v)[i]);
        *p = 0;
        ops[1] = one_string(s);
        return ops[1];
    }
    case RKL_LENGTH: {
        v = to_strings(v);
        RklValue r = new_list(RKL_NUMBERS, v.count);
        for (int32_t i = 0; i < v.count; ++i) numbers(r)[i] = double(std::wcslen(strings(v)[i]));
        return r;
    }
    case RKL_NUM:
        return to_numbers(v);
    case RKL_STR:
        return to_strings(v);
    case RKL_QX:
        return run_qx(v);
    default: {
        // Element by element, into a new list: constants and variables are
        // never changed.
        v = to_numbers(v);
        RklValue r = new_list(RKL_NUMBERS, v.count);
        for (int32_t i = 0; i < v.count; ++i) numbers(r)[i] = apply(n->kind, numbers(v)[i]);
        return r;
    }
    }
}

namespace {

RklValue part_of_match(int kind) {
    if (match.subject == nullptr) return one_string(L"");
    const wchar_t* s = match.subject;
    size_t from = kind == RKL_POSTMATCH ? match.end : kind == RKL_MATCH ? match.start : 0;
    size_t to = kind == RKL_PREMATCH ? match.start : kind == RKL_MATCH ? match.end : std::wcslen(s);
    wchar_t* c = copy_text(s + from, to - from, value_area);
    return one_string(c);
}

}  // namespace

RklValue eval_special(RklNode* n) {
    switch (n->kind) {
    case RKL_FNR:
        return one_number(rkl.final_pass || !rkl.input ? 0 : rkl.input->number);
    case RKL_NR:
        return one_number(rkl.final_pass || !rkl.input ? 0 : rkl.input->total);
    case RKL_FILENAME: {
        if (rkl.final_pass || !rkl.input || !rkl.input->name) return one_string(L"");
        // Bytes that are no character of the locale read as '?', as in the
        // filename: field that -F writes.
        wchar_t* name = nullptr;
        Relocated<wchar_t> cell(&name, value_area);
        area_align(alignof(wchar_t), value_area);
        const unsigned char* p = reinterpret_cast<const unsigned char*>(rkl.input->name);
        for (size_t n = std::strlen(rkl.input->name); n > 0;) {
            wchar_t c;
            int k = decode_char(p, n, &c);
            if (k <= 0 || c == L'\n') c = L'?', k = k <= 0 ? 1 : k;
            *static_cast<wchar_t*>(area_extend(sizeof c, &name, value_area)) = c;
            p += k, n -= size_t(k);
        }
        *static_cast<wchar_t*>(area_extend(sizeof(wchar_t), &name, value_area)) = 0;
        return one_string(name);
    }
    case RKL_FIELDS: {
        int32_t count = int32_t(record_end(rkl.record) - rkl.record);
        RklValue r = new_list(RKL_STRINGS, count);
        for (int32_t i = 0; i < count; ++i) strings(r)[i] = rkl.record[i].start;
        return r;
    }
    case RKL_MATCH:
    case RKL_PREMATCH:
    case RKL_POSTMATCH:
        return part_of_match(n->kind);
    case RKL_OUTPUT:
        if (rkl.output) rkl.output();
        return one_number(1);
    case RKL_STATUS:
        return one_number(rkl.status);
    case RKL_EPILOGUE:
        return one_number(rkl.final_pass ? 1 : 0);
    case RKL_LOCALE: {
        wchar_t* name = locale_name ? mbs_to_area(locale_name, value_area) : nullptr;
        return name ? one_string(name) : empty_strings();
    }
    case RKL_EXIT:
        if (rkl.exit_program) rkl.exit_program(error_count ? 1 : 0);
        exit_if_errors(1);
        rk_exit(0);
    default:
        fatal("program error (eval).\n");
    }
}

// ---------------------------------------------------------------------------
// Substitution.

namespace {

// Replaces the matches of e in the string `subject` (held by the caller) by
// the template: the first one, or with `global` each one in turn. Returns
// the new string in the string area, or null when nothing matched.
wchar_t* substitute(wregexp* e, const wchar_t* tmpl, const wchar_t** subject, bool global) {
    Area* area = string_area;
    wchar_t* result = nullptr;
    Relocated<wchar_t, const wchar_t> cell(&result, area, &tmpl);
    size_t pos = 0;           // where the search goes on, in *subject
    size_t copied = 0;        // the subject is in the result up to here
    size_t last_end = SIZE_MAX;
    size_t match_start = 0, match_end = 0;
    bool any = false;
    auto copy_to = [&](size_t to) {
        if (to <= copied) return;
        wchar_t* d = static_cast<wchar_t*>(area_extend((to - copied) * sizeof(wchar_t), &result, area));
        std::wmemcpy(d, *subject + copied, to - copied);
        copied = to;
    };
    area_align(alignof(wchar_t), area);
    size_t length = std::wcslen(*subject);
    while (wregexec_until(e, *subject + pos, *subject + length) == 1) {
        size_t ms = size_t(e->match_start[0] - *subject), me = size_t(e->match_end[0] - *subject);
        if (ms == me && ms == last_end) {
            // An empty match right behind the last one is no new match:
            // the next character goes over unchanged.
            if ((*subject)[ms] == 0) break;
            pos = ms + 1;
            continue;
        }
        // Text before the match and the expanded template.
        copy_to(pos);
        if (!wregsub_part(e, tmpl, *subject + pos, &result, area)) break;
        copied = me;
        any = true;
        match_start = ms, match_end = me;
        last_end = me;
        if (!global) break;
        if (ms == me) {
            if ((*subject)[me] == 0) break;
            copy_to(me + 1);
            pos = me + 1;
        } else {
            pos = me;
        }
    }
    if (!any) return nullptr;
    copy_to(length + 1);
    match = MatchContext{*subject, match_start, match_end};
    if (match.subject >= reinterpret_cast<wchar_t*>(value_area->base) &&
        match.subject < reinterpret_cast<wchar_t*>(value_area->limit))
        match.subject = copy_text(*subject, std::wcslen(*subject), string_area);
    return result;
}

}  // namespace

RklValue eval_substitution(RklNode* n) {
    // subject, pattern source, compiled patterns, replacements, result
    RklValue ops[5] = {};
    int32_t held = 5;
    Hold hold(ops, &held);
    ops[0] = to_strings(eval(n->left));
    ops[1] = eval(n->right->left);
    ops[3] = to_strings(eval(n->right->right));
    ops[2] = compile_patterns(ops[1]);
    ops[4] = new_list(RKL_STRINGS, ops[0].count);
    ops[4].count = 0;
    bool global = n->kind == RKL_SUBSTG;
    for (int32_t i = 0; i < ops[0].count; ++i) {
        const wchar_t* current = strings(ops[0])[i];
        Relocated<const wchar_t> hold_current(&current, string_area);
        for (int32_t j = 0; j < ops[2].count; ++j) {
            const wchar_t* tmpl = j < ops[3].count ? strings(ops[3])[j] : L"";
            wregexp* e = static_cast<wregexp**>(ops[2].items)[j];
            if (wchar_t* r = substitute(e, tmpl, &current, global)) current = r;
        }
        strings(ops[4])[i] = const_cast<wchar_t*>(current);
        ops[4].count = i + 1;
    }
    free_patterns(ops[2], ops[1]);
    return ops[4];
}

// ---------------------------------------------------------------------------
// QX: a shell command's output lines.

namespace {

struct Lines {
    RklValue list;
};

void add_line(const wchar_t* text, void* data) {
    RklValue* list = static_cast<RklValue*>(data);
    wchar_t* s = copy_text(text, std::wcslen(text), string_area);
    void* cell = area_extend(sizeof(wchar_t*), &list->items, value_area);
    std::memcpy(cell, &s, sizeof s);
    ++list->count;
}

}  // namespace

RklValue run_qx(const RklValue& operand) {
    RklValue ops[2] = {to_strings(operand), {RKL_STRINGS, 0, nullptr}};
    int32_t held = 1;
    Hold hold(ops, &held);
    // The command line: the elements joined by newlines, in the locale's
    // encoding, built outside the areas.
    size_t size = 1;
    for (int32_t i = 0; i < ops[0].count; ++i) size += std::wcslen(strings(ops[0])[i]) * MB_LEN_MAX + 1;
    char* line = static_cast<char*>(checked_malloc(size));
    char* w = line;
    for (int32_t i = 0; i < ops[0].count; ++i) {
        if (i > 0) *w++ = '\n';
        for (const wchar_t* p = strings(ops[0])[i]; *p; ++p) {
            int k = encode_char(*p, w);
            if (k < 0) {
                std::free(line);
                warn(WARN_ERROR, "code error in the QX command string.\n");
                return ops[1];
            }
            w += k;
        }
    }
    *w = 0;
    out_flush_units();
    int status = 0;
    area_align(alignof(void*), value_area);
    held = 2;
    bool started = rkl.run_command(line, add_line, &ops[1], &status);
    std::free(line);
    if (started) rkl.status = status;
    return ops[1];
}

}  // namespace rkl_detail

namespace {

// The default way to run a command: /bin/sh -c, its output piped to us, its
// standard input empty, so that it can never take the records this program
// has not read yet.
bool shell_command(const char* command, void (*line)(const wchar_t*, void*), void* data, int* wait_status) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        int null = open("/dev/null", O_RDONLY);
        if (null >= 0 && null != 0) {
            dup2(null, 0);
            close(null);
        }
        execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // Lines are read as text of the locale; messages about it name the
    // command line, counting its lines from 1.
    const char* saved_name = input_name;
    int32_t saved_number = input_number;
    input_name = command;
    input_number = 0;
    WStream* s = ws_fd(fds[0]);
    static Area lines;
    if (lines.base == nullptr) {
        area_create(1024, "qx", &lines);
        area_push_pact(0, area_double, nullptr, nullptr, &lines);
    }
    wchar_t* text;
    // Each line is numbered before it is read, for the messages about it.
    while ((++input_number, text = read_line(nullptr, s, &lines)) != nullptr) {
        line(text, data);
        area_reset(&lines);
    }
    ws_close(s);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    *wait_status = status;
    input_name = saved_name;
    input_number = saved_number;
    return true;
}

}  // namespace

bool (*const rkl_shell_command)(const char*, void (*)(const wchar_t*, void*), void*, int*) = shell_command;
