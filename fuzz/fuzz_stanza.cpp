// Stanza reader: any text read at every vector level gives the records
// worked out line by line from the text (a CR before a newline and NULs
// dropped, lines of blanks ending paragraphs, one blank after the colon and
// before a continuation dropped).
#include "fuzz_common.h"
#include "simd.h"
#include "stanza.h"

static bool blank(char c) { return c == ' ' || c == '\t'; }

// The Rk-text that the stanza text must give.
static std::string model(const std::string& text) {
    std::string out, name;
    bool open = false, above = false;
    for (size_t at = 0; at < text.size();) {
        size_t nl = text.find('\n', at);
        std::string line = text.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        at = nl == std::string::npos ? text.size() : nl + 1;
        if (nl != std::string::npos && !line.empty() && line.back() == '\r') line.pop_back();
        std::erase(line, '\0');
        if (line.find_first_not_of(" \t") == std::string::npos) {
            if (open) out += "\n";
            open = above = false;
            continue;
        }
        size_t colon = line.find(':');
        if (blank(line[0])) {
            if (!above) name = ":";
            line = name + line.substr(1);
        } else if (colon != std::string::npos) {
            name = line.substr(0, colon + 1);
            if (colon + 1 < line.size() && blank(line[colon + 1])) line.erase(colon + 1, 1);
        } else {
            name.clear();
        }
        out += line + "\n";
        open = above = true;
    }
    return open ? out + "\n" : out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!start_text_target(data, size)) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string want = model(text);
    int best = simd_level;
    for (int level = best; level >= SIMD_SCALAR; --level) {
        simd_level = level;
        written.clear();
        WStream* s = ws_memory(text.data(), text.size());
        stanza_convert(s, nullptr, false);
        ws_close(s);
        out_flush();
        if (written != want) __builtin_trap();
    }
    simd_level = best;
    error_count = 0;
    return 0;
}
