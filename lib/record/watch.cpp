// Names that match nothing. A person who mistypes a field name in a list
// gets an empty column or no output at all, with status 0; so while
// standard error is a terminal, the names a program was given are looked
// for in every record it reads until each was found once, and at the end
// one note names each that no record held. Scripts and logs (standard
// error not a terminal) see nothing new and pay one test per record.
#include <unistd.h>

#include "fieldlist.h"

bool watch_pending = false;

namespace {

struct Watched {
    wchar_t* name;  // with its colon, as field_list_match takes names
    size_t length;
    bool found;
};
Watched* watched = nullptr;
size_t watched_count = 0, watched_room = 0, unfound = 0;
bool records_seen = false;

bool to_a_person() {
    static int terminal = -1;
    if (terminal < 0) terminal = isatty(STDERR_FILENO) ? 1 : 0;
    return terminal == 1;
}

}  // namespace

void watch_name(const wchar_t* name, size_t length) {
    if (length == 0 || !to_a_person()) return;
    for (size_t i = 0; i < watched_count; ++i)
        if (watched[i].length == length && same_text(watched[i].name, name, length)) return;
    wchar_t* copy = static_cast<wchar_t*>(checked_malloc(length * sizeof(wchar_t)));
    std::wmemcpy(copy, name, length);
    grow_table(watched, watched_room, watched_count + 1)[watched_count] = Watched{copy, length, false};
    ++watched_count;
    ++unfound;
    watch_pending = true;
}

void watch_list(const FieldList* list) {
    if (!list->inclusive) return;
    for (const FieldListEntry* e = list->included; e; e = e->next) watch_name(e->name, e->length);
}

void watch_record_slow(const Field* rec) {
    records_seen = true;
    for (const Field* f = rec; f->start; ++f) {
        size_t n = field_name_key(f);
        for (size_t i = 0; n && i < watched_count; ++i) {
            Watched& w = watched[i];
            if (!w.found && w.length == n && same_text(w.name, f->start, n)) w.found = true, --unfound;
        }
    }
    watch_pending = unfound > 0;
}

void watch_report() {
    if (!records_seen || unfound == 0) return;
    out_flush_checked();
    for (size_t i = 0; i < watched_count; ++i)
        if (!watched[i].found)
            warn(WARN_NOTE, "no record has the field %.*ls.\n", int(watched[i].length - 1), watched[i].name);
}
