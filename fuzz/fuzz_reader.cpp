// Record reader: bytes in, records out, written back by the writer and
// compared with the records worked out directly from the text; then read
// again at every vector level, also as records' bytes where the reader
// gives them, and written the same.
#include "fuzz_common.h"
#include "record.h"
#include "simd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_start();
    if (!valid_text(data, size)) return 0;  // undecodable input ends a program at once
    static Area text, table;
    static bool made = false;
    if (!made) {
        area_create_doubling(1, "rsize", &text);
        area_create_doubling(1, "tsize", &table);
        capture_output();
        made = true;
    }
    // What the records must be: lines without NULs, grouped by empty lines.
    std::wstring all;
    mbstate_t st{};
    for (size_t i = 0; i < size;) {
        wchar_t wc;
        size_t r = std::mbrtowc(&wc, reinterpret_cast<const char*>(data + i), size - i, &st);
        i += r == 0 ? 1 : r;
        if (wc) all.push_back(wc);
    }
    std::vector<std::vector<std::wstring>> want(1);
    std::wstring line;
    bool open = false;
    for (size_t i = 0; i <= all.size(); ++i) {
        if (i == all.size() ? open : all[i] == L'\n') {
            if (line.empty()) {
                if (!want.back().empty()) want.emplace_back();
            } else {
                want.back().push_back(line);
            }
            line.clear();
            open = false;
        } else if (i < all.size()) {
            line.push_back(all[i]);
            open = true;
        }
    }
    if (want.back().empty()) want.pop_back();

    WStream* s = ws_memory(data, size);
    written.clear();
    std::wstring expected_out;
    size_t n = 0;
    while (Field* rec = read_record(s, &text, &table)) {
        if (n >= want.size()) __builtin_trap();
        const auto& w = want[n++];
        size_t k = 0;
        for (Field* f = rec; f->start; ++f, ++k) {
            if (k >= w.size() || std::wstring(f->start, f->end) != w[k] || *f->end != L'\n') __builtin_trap();
            const wchar_t* colon = std::wmemchr(f->start, L':', size_t(f->end - f->start));
            if (f->value != (colon ? colon + 1 : f->start)) __builtin_trap();
            expected_out += w[k] + L"\n";
        }
        if (k != w.size() || *record_end(rec)->end != 0) __builtin_trap();
        expected_out += L"\n";
        write_record(rec);
        area_reset(&text);
        area_reset(&table);
    }
    ws_close(s);
    out_flush();
    if (n != want.size()) __builtin_trap();
    std::string bytes;
    for (wchar_t c : expected_out) {
        char b[MB_LEN_MAX];
        mbstate_t o{};
        size_t r = std::wcrtomb(b, c, &o);
        if (r != size_t(-1)) bytes.append(b, r);
    }
    if (bytes != written) __builtin_trap();

    int best = simd_level;
    for (int level = best; level >= SIMD_SCALAR; --level) {
        simd_level = level;
        written.clear();
        s = ws_memory(data, size);
        RecordBytes b;
        for (Field* rec; (rec = read_record_bytes(s, &b, &text, &table)) || b.text;) {
            if (rec) write_record(rec);
            else write_record_bytes(&b);
            area_reset(&text);
            area_reset(&table);
        }
        ws_close(s);
        out_flush();
        if (written != bytes) __builtin_trap();
    }
    simd_level = best;
    return 0;
}
