// JSON reader and writer: any bytes read as JSON give whole records only;
// the records written back as JSON read again without an error, giving
// the same records with the fields of each name together (in the order of
// the names' first occurrence).
#include <algorithm>

#include "fuzz_common.h"
#include "json.h"
#include "record.h"

// The Rk-text the bytes give as JSON, and the errors counted.
static std::string convert(const std::string& bytes) {
    written.clear();
    WStream* s = ws_memory(bytes.data(), bytes.size());
    JsonReading how;
    json_convert(s, nullptr, how);
    ws_close(s);
    out_flush();
    return written;
}

// The records of the Rk-text as JSON Lines, and, in `grouped`, the same
// records with the fields of a name together.
static std::string to_json(const std::string& rk, std::string* grouped) {
    static Area text, table;
    static bool made = false;
    if (!made) {
        made = true;
        area_create_doubling(1, "rsize", &text);
        area_create_doubling(1, "tsize", &table);
    }
    std::string json;
    WStream* s = ws_memory(rk.data(), rk.size());
    while (Field* rec = read_record(s, &text, &table)) {
        written.clear();
        JsonWriting how;
        json_write_record(rec, how);
        out_flush();
        json += written + "\n";
        std::vector<std::wstring> names;
        std::vector<std::string> lines;
        for (Field* f = rec; f->start; ++f) {
            std::wstring name(f->start, f->value);
            size_t k = size_t(std::find(names.begin(), names.end(), name) - names.begin());
            if (k == names.size()) {
                names.push_back(name);
                lines.emplace_back();
            }
            for (const wchar_t* c = f->start; c <= f->end; ++c) {
                char b[MB_LEN_MAX];
                mbstate_t st{};
                lines[k].append(b, wcrtomb(b, *c, &st));
            }
        }
        for (const std::string& l : lines) *grouped += l;
        *grouped += "\n";
        area_reset(&text);
        area_reset(&table);
    }
    ws_close(s);
    return json;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_start();
    capture_output();
    input_name = "fuzz";
    std::string records = convert(std::string(reinterpret_cast<const char*>(data), size));
    // Whole records only: each ends with an empty line, none is empty.
    bool ends = records.size() >= 3 && records.compare(records.size() - 2, 2, "\n\n") == 0;
    if (!records.empty() && !ends) __builtin_trap();
    if (records.find("\n\n\n") != std::string::npos || records.rfind("\n", 0) == 0) __builtin_trap();
    std::string grouped;
    std::string json = to_json(records, &grouped);
    error_count = 0;
    std::string again = convert(json);
    if (error_count != 0 || again != grouped) __builtin_trap();
    return 0;
}
