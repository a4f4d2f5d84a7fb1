// Rkproj: keeps the fields of each record that a field list selects.
#include <cstring>

#include "tool.h"

static const char usage[] =
    "Rkproj [^]field-list [input-file ..]\n"
    "\toutputs specified fields.\n";

static int32_t rsize = 4, tsize = 1, nsize = 4;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {nullptr, nullptr}};
static const ToolSpec spec = {usage, "D:", settings, nullptr, nullptr};

static ListTool tool;
static const FieldList& list = tool.list;

// The first n bytes (at most 16) of the 16 at p, the rest cleared.
static void first_bytes(const unsigned char* p, size_t n, uint64_t out[2]) {
    std::memcpy(out, p, 16);
    if (n < 8) out[0] &= (uint64_t(1) << 8 * n) - 1, out[1] = 0;
    else if (n < 16) out[1] &= (uint64_t(1) << 8 * (n - 8)) - 1;
}

// Whether the list keeps the field whose line starts at p, and where the
// line's newline is. The names at each line of the record before are
// kept with their answers: the records of a file mostly repeat their names
// in one order, which then cost a comparison of two words.
static bool keeps(const unsigned char* p, const unsigned char* end, size_t line, const unsigned char** nl) {
    enum { LINES = 64, NAME = 16 };
    static struct {
        uint64_t name[2];
        size_t length;  // 0: nothing kept
        bool keep;
    } seen[LINES];
    auto* e = line < LINES ? &seen[line] : nullptr;
    if (e && e->length) {
        uint64_t name[2];
        first_bytes(p, e->length, name);
        if (name[0] == e->name[0] && name[1] == e->name[1]) {
            *nl = static_cast<const unsigned char*>(std::memchr(p + e->length, '\n', size_t(end - p) - e->length));
            return e->keep;
        }
    }
    *nl = static_cast<const unsigned char*>(std::memchr(p, '\n', size_t(end - p)));
    const unsigned char* colon = p;
    while (colon < *nl && *colon != ':') ++colon;
    size_t n = colon < *nl ? size_t(colon + 1 - p) : 0, length;
    const wchar_t* wide = widen_known(p, n, &length);
    bool keep = field_list_match(&list, wide, length, nullptr, nullptr) != 0;
    if (e) {
        e->length = n <= NAME ? n : 0;
        first_bytes(p, e->length, e->name);
        e->keep = keep;
    }
    return keep;
}

// The lines of a record given as bytes, kept or left as the list says,
// each run of kept lines written at once.
static void project_bytes(const RecordBytes& b) {
    const unsigned char* end = b.text + b.length;
    const unsigned char* run = nullptr;  // kept lines not written yet
    bool any = false;
    size_t line = 0;
    for (const unsigned char *p = b.text, *nl; p < end; p = nl + 1, ++line) {
        if (keeps(p, end, line, &nl)) {
            if (run == nullptr) run = p;
            any = true;
        } else if (run) {
            out_bytes(reinterpret_cast<const char*>(run), size_t(p - run));
            run = nullptr;
        }
    }
    if (run) out_bytes(reinterpret_cast<const char*>(run), size_t(end - run));
    if (any) out_putwc(L'\n');
}

int main(int argc, char** argv) {
    tool_list_start(spec, argc, argv, &tool);
    tool_each_record_bytes(&tool.text, &tool.table, [](Field* rec, const RecordBytes& bytes, const Input&) {
        if (rec == nullptr) {
            project_bytes(bytes);
            return;
        }
        bool any = false;
        LineRun kept;
        const Field* f = rec;
        for (; f->start; ++f)
            if (field_list_match(&list, f->start, field_name_key(f), nullptr, nullptr)) {
                kept.keep(f);
                any = true;
            } else {
                kept.flush(f->start);
            }
        kept.flush(f->end);
        if (any) out_putwc(L'\n');
    });
}
