// Option scanner and -D tokenizer: arguments are the parts between zero bytes.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_start();
    std::vector<std::string> parts = split_parts(data, size, 64);
    while (!parts.empty() && parts.back().empty()) parts.pop_back();
    std::vector<std::vector<char>> store;
    for (auto& p : parts) store.emplace_back(p.begin(), p.end()), store.back().push_back(0);
    std::vector<char*> argv;
    for (auto& s : store) argv.push_back(s.data());
    argv.push_back(nullptr);
    args = argv.data();
    nargs = int32_t(argv.size() - 1);
    opt_rewind();
    int32_t a = 0, b = 0;
    Setting settings[] = {{"rsize", &a}, {"tsize", &b}, {nullptr, nullptr}};
    const char* options = "nF0123D:g:k:";
    int letter;
    int32_t before = nargs;
    while (opt_next(options, &letter)) {
        if (opt_index > nargs || opt_index < 0) __builtin_trap();
        if (letter != '?' && (letter == ':' || !std::strchr(options, letter))) __builtin_trap();
        if (letter == 'D') settings_apply(settings, const_cast<char*>(opt_arg));
    }
    opt_shift();
    if (nargs < 0 || nargs > before) __builtin_trap();
    error_count = 0;
    return 0;
}
