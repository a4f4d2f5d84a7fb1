// The common frame of the programs' main routines.
#include <cstdio>
#include <cstring>

#include "tool.h"

#ifndef RK_VERSION
#error "the build defines RK_VERSION, the suite's version"
#endif

static const ToolSpec* spec_in_use = nullptr;

// --help and --version, which the option scanner returns as unknown options
// with the whole argument in opt_arg. Anything else unknown is left to the
// caller, which gives the usage text on standard error. An error counted
// before (a bad -D) ends the run with status 2 first. The name in the
// version line is the program's own, the first word of its usage text,
// whatever name it was started under. --help ends with a line naming the
// program's manual page, which the usage after a bad option leaves out.
static void answer_long_option(const char* usage) {
    bool help = std::strcmp(opt_arg, "--help") == 0;
    if (!help && std::strcmp(opt_arg, "--version") != 0) return;
    exit_if_errors(2);
    size_t name_length = std::strcspn(usage, " \t\n");
    if (help) {
        out_str(usage);
        out_lit("\tManual: man ");
        out_bytes(usage, name_length);
        out_lit("\n");
    } else {
        out_bytes(usage, name_length);
        out_lit(" (Rk tools) " RK_VERSION "\n");
    }
    rk_exit(0);
}

// A program whose settings hold `digits` (the cell number_digits) writes
// its numbers with that many significant digits. A value out of range is a
// counted error; the default stays for anything written before the stop.
static void check_digits() {
    if (number_digits >= 1 && number_digits <= NUMBER_DIGITS_MAX) return;
    warn(WARN_ERROR, "-D digits=%d is out of range (1 to %d).\n", int(number_digits), int(NUMBER_DIGITS_MAX));
    number_digits = NUMBER_DIGITS_DEFAULT;
}

void tool_start(const ToolSpec& spec, int argc, char** argv) {
    runtime_init(argc, argv);
    spec_in_use = &spec;
    int letter;
    while (opt_next(spec.options, &letter)) {
        if (letter == '?') answer_long_option(spec.usage);
        if (letter == 'D') {
            settings_apply(spec.settings, const_cast<char*>(opt_arg));
        } else if (spec.count && letter >= '0' && letter <= '9') {
            int digit = letter - '0';
            int32_t& n = *spec.count;
            n = n > (INT32_MAX - digit) / 10 ? INT32_MAX : n * 10 + digit;
        } else if (letter == '?' || spec.option == nullptr || !spec.option(letter)) {
            if (spec.quiet_unknown) rk_exit(2);
            if (!spec.scan_goes_on) usage_exit(spec.usage);
            std::fputs(spec.usage, stderr);
            ++error_count;
        }
    }
    opt_shift();
    check_digits();
}

int32_t tool_setting(const char* name) {
    for (const Setting* s = spec_in_use->settings; s->name; ++s)
        if (std::strcmp(s->name, name) == 0) return *s->value;
    fatal("program error (no setting %s).\n", name);
}

void tool_area(const char* name, Area* area, PactFn growth, int32_t pacts) {
    int32_t kb = tool_setting(name);
    int32_t saved = pact_capacity[0];
    if (pacts > 0) pact_capacity[0] = pacts;
    if (growth == nullptr) {
        area_create_doubling(kb, name, area);
    } else {
        area_create_kb(kb, name, area);
        area_push_pact(0, growth, nullptr, nullptr, area);
    }
    pact_capacity[0] = saved;
}

WStream* open_next_stream(const char** name) {
    *name = nullptr;
    WStream* in;
    if (nargs == 0 || std::strcmp(args[0], "-") == 0) {
        in = ws_stdin();
    } else {
        *name = args[0];
        in = ws_open(*name);
    }
    if (nargs > 0) ++args, --nargs;
    if (in == nullptr) {
        warn_errno(WARN_ERROR, *name, "can't open %s.\n", *name);
        return nullptr;
    }
    input_name = *name ? *name : "(stdin)";
    ws_skip_byte_order_mark(in);
    return in;
}

void tool_finish() {
    watch_report();
    exit_if_errors(1);
    rk_exit(0);
}
