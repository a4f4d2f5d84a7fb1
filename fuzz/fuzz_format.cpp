// Field-format lists: a list, -t and -z texts, and lines. The list is built
// in both directions; in the input direction each line is cut, with the
// following lines as its continuation; on odd sizes every input format
// repeats (as unpacking makes them). The lines, read as a record, are
// grouped by the output list in the three ways. Nothing may crash, hang or
// leak, and the groups are numbered in order.
#include "format.h"
#include "fuzz_common.h"

static long discard(const char*, size_t n) { return long(n); }

namespace {

// The lines after the first, appended one at a time to a growing copy.
struct Rest {
    std::vector<std::wstring> lines;
    size_t next = 0;
    std::wstring text;
    static bool append(void* data, wchar_t** start, wchar_t** end) {
        Rest* r = static_cast<Rest*>(data);
        if (r->next >= r->lines.size()) return false;
        r->text += L"~" + r->lines[r->next++];
        *start = r->text.data();
        *end = r->text.data() + r->text.size();
        return true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_start();
    static bool made = false;
    static Area names[2], work;
    FieldList* lists[2] = {new FieldList{}, new FieldList{}};
    if (!made) {
        made = true;
        out_redirect(discard);
        area_size_limit = size_t(16) << 20;
    }
    std::vector<std::string> parts = split_parts(data, size, 4);
    for (int direction : {FORMAT_OUTPUT, FORMAT_INPUT}) {
        Area* a = &names[direction];
        area_create_doubling(1, "nsize", a);
        format_defaults(direction, parts[1].c_str(), parts[2].c_str(), a);
        bool repeat_all = direction == FORMAT_INPUT && size % 2 == 1;
        format_list_read(parts[0].c_str(), lists[direction], direction, a, repeat_all);
        if (repeat_all) default_format.repeat = true;
    }
    area_create_doubling(1, "wsize", &work);
    Rest rest;
    std::wstring line;
    for (wchar_t c : widen_bytes(parts[3])) {
        if (c == L'\n') rest.lines.push_back(line), line.clear();
        else line.push_back(c);
    }
    rest.lines.push_back(line);
    input_name = "fuzz";
    FormatContinuation more{&rest, Rest::append};
    for (size_t i = 0; i < rest.lines.size() && i < 8; ++i) {
        rest.text = rest.lines[i];
        rest.next = i + 1;
        const wchar_t* end = rest.text.data() + rest.text.size();
        input_number = int32_t(i + 1);
        cut_line(rest.text.data(), &end, lists[FORMAT_INPUT], &work, &more);
        area_reset(&work);
    }
    static Area text, table;
    area_create_doubling(1, "rsize", &text);
    area_create_doubling(1, "tsize", &table);
    WStream* s = ws_memory(parts[3].data(), parts[3].size());
    if (valid_text(reinterpret_cast<const uint8_t*>(parts[3].data()), parts[3].size()))
        if (Field* rec = read_record(s, &text, &table)) {
            size_t n = size_t(record_end(rec) - rec);
            std::vector<int32_t> groups(n + 1), first(n + 2), next(n + 1);
            for (int algorithm : {GROUP_NTH, GROUP_SEQUENCE, GROUP_LEADING}) {
                if (algorithm != GROUP_NTH && !lists[FORMAT_OUTPUT]->inclusive) continue;
                int32_t count = format_groups(rec, n, lists[FORMAT_OUTPUT], algorithm, groups.data());
                int32_t seen = 0;
                for (size_t i = 0; i < n; ++i) {
                    if (groups[i] < 0 || groups[i] > count) __builtin_trap();
                    // Sequence and leading groups open in record order.
                    if (algorithm != GROUP_NTH && groups[i] != 0 && groups[i] != seen && groups[i] != seen + 1)
                        __builtin_trap();
                    if (groups[i] > seen) seen = groups[i];
                }
                if (seen != count) __builtin_trap();
                group_chains(groups.data(), n, count, first.data(), next.data());
            }
        }
    ws_close(s);
    area_destroy(&text);
    area_destroy(&table);
    // Free what the formats hold outside the areas.
    for (FieldListEntry* e = lists[FORMAT_INPUT]->included; e; e = e->next)
        if (e->format && e->format->regex != default_format.regex) std::free(e->format->regex);
    std::free(default_format.regex);
    default_format.regex = nullptr;
    for (int direction : {FORMAT_OUTPUT, FORMAT_INPUT}) {
        delete lists[direction];
        area_destroy(&names[direction]);
    }
    area_destroy(&work);
    error_count = 0;
    return 0;
}
