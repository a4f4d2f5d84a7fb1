// Key-field lists, keys built from records, and their comparison.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwctype>

#include "keys.h"

uint32_t default_key_flags = 0;

uint32_t parse_key_flags(const wchar_t* text, const wchar_t** rest) {
    uint32_t flags = 0;
    for (;; ++text) {
        switch (*text) {
        case L'b': flags |= KEY_BLANKS; continue;
        case L'd': flags |= KEY_DICTIONARY; continue;
        case L'f': flags |= KEY_FOLD; continue;
        case L'i': flags |= KEY_PRINTABLE; continue;
        case L'n': flags |= KEY_NUMERIC; continue;
        case L'r': flags |= KEY_REVERSE; continue;
        }
        break;
    }
    if (rest) *rest = text;
    return flags;
}

void key_default_flags(const char* text, Area* area) {
    wchar_t* w = mbs_to_area(text, area);
    if (w == nullptr) {
        warn(WARN_ERROR, "code error in the -k option.\n");
        return;
    }
    const wchar_t* rest;
    default_key_flags = parse_key_flags(w, &rest);
    if (*rest) warn(WARN_ERROR, "unknown key flag '%lc' in -k option.\n", wint_t(*rest));
}

void key_list_resolve(FieldList* list, Area* area) {
    for (FieldListEntry* e = list->included; e; e = e->next) {
        if (e->new_name_end == nullptr) {
            e->flags = &default_key_flags;
            continue;
        }
        const wchar_t* rest;
        uint32_t flags = parse_key_flags(e->new_name, &rest);
        if (rest != e->new_name_end) {
            // The name ends at its colon: cut it there for the message.
            wchar_t* colon = e->name + e->length - 1;
            *colon = 0;
            warn(WARN_ERROR, "unknown key flag '%lc' in field %ls.\n", wint_t(*rest), e->name);
            *colon = L':';
        }
        uint32_t* word;
        {
            Relocated<FieldListEntry> entry(&e, area);
            area_align(alignof(uint32_t), area);
            word = static_cast<uint32_t*>(area_alloc(sizeof(uint32_t), area));
        }
        *word = flags;
        e->flags = word;
    }
}

void key_list_extend(Field* record, FieldList* list, Area* area) {
    if (list->inclusive) return;
    for (Field* f = record; f->start; ++f) {
        if (f->value == nullptr || !field_has_name(f)) continue;
        if (field_list_match(list, f->start, field_name_key(f), nullptr, nullptr) != -1) continue;
        FieldListEntry* e = field_list_insert(list, list->included_last, f->start, field_name_key(f), area);
        e->flags = &default_key_flags;
    }
}

namespace {

// Builds one key as an object at the head of the key area. Positions inside
// the key are kept as offsets, which a move of the object leaves valid.
struct KeyBuilder {
    Area* area;
    uint32_t* key = nullptr;

    size_t size() const { return size_t(area->head - reinterpret_cast<char*>(key)); }
    uint32_t* room(size_t words) {
        return static_cast<uint32_t*>(area_extend(words * sizeof(uint32_t), &key, area));
    }
    void give_back(size_t words) { area_giveback(words * sizeof(uint32_t), area); }
    void put_double(double v) { std::memcpy(room(2), &v, sizeof v); }
};

bool same_name(const Field* f, const FieldListEntry* e) {
    return f->value != nullptr && f->value != f->start && size_t(f->value - f->start) == e->length &&
           same_text(f->start, e->name, e->length);
}

// The parts take the fields of their key field one by one, in record order,
// from `next`, which returns null after the last.
template <typename Next>
void text_part(KeyBuilder& kb, Next next, uint32_t flags) {
    bool filtered = flags & (KEY_DICTIONARY | KEY_PRINTABLE | KEY_FOLD);
    while (Field* f = next()) {
        const wchar_t* v = f->value;
        if (flags & KEY_BLANKS)
            while (v < f->end && std::iswspace(wint_t(*v))) ++v;
        size_t n = size_t(f->end - v);
        uint32_t* out = kb.room(n + 1);
        size_t m = 0;
        if (!filtered) {
            for (size_t i = 0; i < n; ++i) out[i] = key_code(v[i]);
            m = n;
        } else {
            for (const wchar_t* p = v; p < f->end; ++p) {
                wint_t c = wint_t(*p);
                if ((flags & KEY_DICTIONARY) && !(std::iswalpha(c) || std::iswdigit(c) || std::iswspace(c))) continue;
                if ((flags & KEY_PRINTABLE) && !std::iswprint(c)) continue;
                if ((flags & KEY_FOLD) && std::iswlower(c)) c = std::towupper(c);
                out[m++] = key_code(wchar_t(c));
            }
        }
        out[m++] = 1;
        kb.give_back(n + 1 - m);
        f->value = nullptr;  // each field serves one key field only
    }
    *kb.room(1) = 0;
}

template <typename Next>
void numeric_part(KeyBuilder& kb, Next next) {
    size_t counter = kb.size();
    kb.put_double(0);
    double count = 0;
    while (Field* f = next()) {
        wchar_t saved = *f->end;
        *f->end = 0;
        double v = parse_number(f->value);
        *f->end = saved;
        kb.put_double(v);
        count += 1;
        f->value = nullptr;
    }
    std::memcpy(reinterpret_cast<char*>(kb.key) + counter, &count, sizeof count);
}

template <typename Next>
void key_part(KeyBuilder& kb, const FieldListEntry* e, Next next) {
    uint32_t flags = *e->flags;
    if (flags & KEY_NUMERIC)
        numeric_part(kb, next);
    else
        text_part(kb, next, flags);
}

// For a long list the fields of a record are first gathered under their key
// fields, one lookup each, so that a key costs time in proportion to the
// record's fields and the list's entries rather than to their product:
// first[p] is the first field for the entry at position p, next[i] the field
// after field i for the same entry; NONE ends a chain. first holds NONE
// between keys. Both arrays come from malloc, grow to the longest list and
// record met and are kept for the next keys, so that records in general
// take no allocation.
constexpr size_t NONE = ~size_t(0);

struct Gathering {
    size_t* first = nullptr;
    size_t first_size = 0;
    size_t* next = nullptr;
    size_t next_size = 0;
} gathering;

// Room for the positions 1..entries and for the fields; false when the
// memory can't be had (the key is then built by walking the record).
bool gathering_room(size_t entries, size_t fields) {
    Gathering& g = gathering;
    if (entries + 1 > g.first_size) {
        size_t n = std::max(entries + 1, 2 * g.first_size);
        void* p = std::realloc(g.first, n * sizeof(size_t));
        if (p == nullptr) return false;
        g.first = static_cast<size_t*>(p);
        std::fill(g.first + g.first_size, g.first + n, NONE);
        g.first_size = n;
    }
    if (fields > g.next_size) {
        size_t n = std::max(fields, 2 * g.next_size);
        void* p = std::realloc(g.next, n * sizeof(size_t));
        if (p == nullptr) return false;
        g.next = static_cast<size_t*>(p);
        g.next_size = n;
    }
    return true;
}

// Each key field takes the fields of its name in record order: those whose
// name's first entry in the list it is (a later entry of the same name gets
// none), which make_key gathers for long lists and finds by walking the
// record for short ones.
void gathered_parts(KeyBuilder& kb, Field* record, size_t fields, const FieldList* list) {
    Gathering& g = gathering;
    for (size_t i = fields; i-- > 0;) {
        Field* f = record + i;
        if (f->value == nullptr || !field_has_name(f)) continue;
        FieldListEntry* e;
        int position;
        if (field_list_match(list, f->start, field_name_key(f), &e, &position) != 1) continue;
        g.next[i] = g.first[position];
        g.first[position] = i;
    }
    // The entries in list order: from the index, built by the lookups above,
    // or (a record without named fields) from the chain. Most key fields of
    // a long list have no field in a given record; their parts are all zero
    // words (a text part's 0, a numeric part's count 0.0), one or two per key
    // field, and a run of them is written in one piece.
    const FieldListIndex& x = list->index;
    const FieldListEntry* e = nullptr;
    size_t zeros = 0;
    for (size_t position = 1; position <= size_t(list->included_count); ++position) {
        e = x.ready && x.positions ? x.order[position - 1] : e ? e->next : list->included;
        size_t i = g.first[position];
        if (i == NONE) {
            zeros += (*e->flags & KEY_NUMERIC) ? 2 : 1;
            continue;
        }
        g.first[position] = NONE;
        if (zeros) std::memset(kb.room(zeros), 0, zeros * sizeof(uint32_t));
        zeros = 0;
        key_part(kb, e, [&]() -> Field* {
            if (i == NONE) return nullptr;
            Field* f = record + i;
            i = g.next[i];
            return f;
        });
    }
    if (zeros) std::memset(kb.room(zeros), 0, zeros * sizeof(uint32_t));
}

void walked_parts(KeyBuilder& kb, Field* record, const FieldList* list) {
    for (const FieldListEntry* e = list->included; e; e = e->next) {
        Field* f = record;
        key_part(kb, e, [&]() -> Field* {
            for (; f->start; ++f)
                if (same_name(f, e)) return f++;
            return nullptr;
        });
    }
}

}  // namespace

uint32_t* make_key(Field* record, FieldList* list, Area* key_area, Area* list_area) {
    if (!list->inclusive) key_list_extend(record, list, list_area);
    KeyBuilder kb{key_area};
    area_align(alignof(uint32_t), key_area);
    Relocated<uint32_t> key(&kb.key, key_area);
    kb.room(1);
    size_t fields = 0;
    if (list->included_count > FIELD_LIST_INDEX_MIN &&
        gathering_room(size_t(list->included_count), fields = size_t(record_end(record) - record)))
        gathered_parts(kb, record, fields, list);
    else
        walked_parts(kb, record, list);
    kb.key[0] = uint32_t(kb.size());
    return kb.key;
}

double key_number(const uint32_t* p) {
    double v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

const uint32_t* key_part(const uint32_t* p, const FieldListEntry* e, KeyPart* part) {
    part->entry = e;
    part->numeric = *e->flags & KEY_NUMERIC;
    if (part->numeric) {
        part->count = size_t(key_number(p));
        part->begin = p + 2;
        part->end = part->begin + 2 * part->count;
        return part->end;
    }
    part->begin = p;
    while (*p) ++p;
    part->end = p;
    return p + 1;
}

namespace {

const uint32_t empty_part[3] = {0, 0, 0};  // an absent part: no text, no values


// A total order on doubles: NaN equals NaN and lies below every number.
int compare_numbers(double a, double b) {
    bool na = std::isnan(a), nb = std::isnan(b);
    if (na || nb) return na == nb ? 0 : na ? -1 : 1;
    return a < b ? -1 : a > b ? 1 : 0;
}

// Compares the parts at a and b; when they are equal, leaves both cursors
// after them (on a difference the caller stops, so they are left as they are).
int compare_part(const uint32_t*& a, const uint32_t*& b, bool numeric) {
    if (numeric) {
        size_t na = size_t(key_number(a)), nb = size_t(key_number(b));
        const uint32_t* va = a + 2;
        const uint32_t* vb = b + 2;
        a = va + 2 * na;
        b = vb + 2 * nb;
        for (size_t i = 0; i < na && i < nb; ++i)
            if (int c = compare_numbers(key_number(va + 2 * i), key_number(vb + 2 * i))) return c;
        return na < nb ? -1 : na > nb ? 1 : 0;
    }
    for (;; ++a, ++b) {
        if (*a != *b) return int(int64_t(*a) - int64_t(*b));
        if (*a == 0) {
            ++a;
            ++b;
            return 0;
        }
    }
}

}  // namespace

int compare_keys(const uint32_t* k1, const uint32_t* k2, const FieldList* list) {
    const uint32_t* end1 = k1 + k1[0] / 4;
    const uint32_t* end2 = k2 + k2[0] / 4;
    // Keys of a long list are long: two that are the same word for word are
    // equal without a walk through their parts.
    if (list->included_count > FIELD_LIST_INDEX_MIN && k1[0] == k2[0] && std::memcmp(k1, k2, k1[0]) == 0) return 0;
    const uint32_t* a = k1 + 1;
    const uint32_t* b = k2 + 1;
    for (const FieldListEntry* e = list->included; e; e = e->next) {
        bool absent_a = a >= end1, absent_b = b >= end2;
        if (absent_a && absent_b) return 0;
        const uint32_t* pa = absent_a ? empty_part : a;
        const uint32_t* pb = absent_b ? empty_part : b;
        uint32_t flags = *e->flags;
        int c = compare_part(pa, pb, flags & KEY_NUMERIC);
        if (!absent_a) a = pa;
        if (!absent_b) b = pb;
        if (c != 0) return (flags & KEY_REVERSE) ? -c : c;
    }
    return 0;
}

void print_key(const uint32_t* key, const FieldList* list) {
    const uint32_t* end = key + key[0] / 4;
    const uint32_t* p = key + 1;
    for (const FieldListEntry* e = list->included; e && p < end; e = e->next) {
        KeyPart part;
        p = key_part(p, e, &part);
        auto name = [e]() {
            out_write(e->name, e->length);  // the name and its colon
        };
        if (part.numeric) {
            for (size_t i = 0; i < part.count; ++i) {
                name();
                print_number(key_number(part.begin + 2 * i));
                out_putwc(L'\n');
            }
            continue;
        }
        bool open = false;
        for (const uint32_t* c = part.begin; c < part.end; ++c) {
            if (!open) {
                name();
                open = true;
            }
            if (*c == 1) {
                out_putwc(L'\n');
                open = false;
            } else {
                out_putwc(key_char(*c));
            }
        }
    }
}
