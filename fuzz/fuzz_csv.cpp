// CSV cells: any text read by the cell reader ends, and never gives more
// characters than it holds; the cells it gives (a quoted line break taken
// as a blank), written back by the cell writer and read again, are the
// same cells; a cell of several values joined by line breaks comes back as
// those values (but for a carriage return at the end of a value, which
// belongs to the line break after it).
#include "csv.h"
#include "fuzz_common.h"

using Lines = std::vector<std::vector<std::wstring>>;

// Every line of the text as its cells; a quoted line break gives `brk`.
// A byte-order mark at the start is dropped when `mark` is set.
static Lines read_all(const std::string& text, std::wstring brk, bool mark = false) {
    WStream* s = ws_memory(text.data(), text.size());
    CsvReader r{s};
    if (mark) ws_skip_byte_order_mark(r.in);
    Lines lines;
    while (csv_more(&r)) {
        lines.emplace_back();
        bool more;
        do {
            std::wstring cell;
            more = csv_read_cell(&r, [&](wchar_t c) { cell.push_back(c); }, [&] { cell += brk; });
            lines.back().push_back(cell);
        } while (more);
    }
    ws_close(s);
    return lines;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!start_text_target(data, size)) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    Lines lines = read_all(text, L" ", true);
    error_count = 0;
    size_t chars = 0;
    for (const auto& l : lines)
        for (const auto& c : l) chars += c.size();
    if (chars > size) __builtin_trap();

    // Written back: a line per line, cells by the writer's rule.
    written.clear();
    for (const auto& l : lines) {
        for (size_t i = 0; i < l.size(); ++i) {
            if (i > 0) out_putwc(L',');
            csv_write_cell(l[i].data(), l[i].size());
        }
        out_putwc(L'\n');
    }
    out_flush();
    // A line of one empty cell is an empty line, which reads as the same.
    if (read_all(written, L" ") != lines) __builtin_trap();

    // Each line's cells as the values of one cell.
    written.clear();
    for (const auto& l : lines) {
        out_putwc(L'"');
        for (size_t i = 0; i < l.size(); ++i) {
            if (i > 0) out_putwc(L'\n');
            csv_write_quoted_part(l[i].data(), l[i].size());
        }
        out_lit("\"\n");
    }
    out_flush();
    Lines joined = read_all(written, L"\n");
    if (joined.size() != lines.size()) __builtin_trap();
    for (size_t i = 0; i < lines.size(); ++i) {
        std::wstring want;
        for (size_t k = 0; k < lines[i].size(); ++k) {
            if (k > 0 && !want.empty() && want.back() == L'\r') want.pop_back();
            want += (k ? L"\n" : L"") + lines[i][k];
        }
        if (joined[i].size() != 1 || joined[i][0] != want) __builtin_trap();
    }
    return 0;
}
