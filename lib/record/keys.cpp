// Key-field lists, keys built from records, and their comparison.
#include <cmath>
#include <cstring>
#include <cwctype>

#include "record.h"

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
        area_push_pact(0, relocate_pair, &e, nullptr, area);
        area_align(alignof(uint32_t), area);
        uint32_t* word = static_cast<uint32_t*>(area_alloc(sizeof(uint32_t), area));
        area_pop_pact(0, area);
        *word = flags;
        e->flags = word;
    }
}

// The last entry of the ordinary chain.
static FieldListEntry* last_included(FieldList* list) {
    FieldListEntry* last = nullptr;
    for (FieldListEntry* e = list->included; e; e = e->next) last = e;
    return last;
}

void key_list_extend(Field* record, FieldList* list, Area* area) {
    if (list->inclusive) return;
    FieldListEntry* last = nullptr;
    bool found_last = false;
    for (Field* f = record; f->start; ++f) {
        if (f->value == nullptr || !field_has_name(f)) continue;
        if (field_list_match(list, f->start, field_name_key(f), nullptr, nullptr) != -1) continue;
        if (!found_last) {
            last = last_included(list);
            found_last = true;
        }
        area_push_pact(0, relocate_pair, &last, nullptr, area);
        last = field_list_insert(list, last, f->start, field_name_key(f), area);
        area_pop_pact(0, area);
        last->flags = &default_key_flags;
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

void text_part(KeyBuilder& kb, Field* record, const FieldListEntry* e, uint32_t flags) {
    bool filtered = flags & (KEY_DICTIONARY | KEY_PRINTABLE | KEY_FOLD);
    for (Field* f = record; f->start; ++f) {
        if (!same_name(f, e)) continue;
        const wchar_t* v = f->value;
        if (flags & KEY_BLANKS)
            while (v < f->end && std::iswspace(wint_t(*v))) ++v;
        size_t n = size_t(f->end - v);
        uint32_t* out = kb.room(n + 1);
        size_t m = 0;
        if (!filtered) {
            for (size_t i = 0; i < n; ++i) out[i] = uint32_t(v[i]);
            m = n;
        } else {
            for (const wchar_t* p = v; p < f->end; ++p) {
                wint_t c = wint_t(*p);
                if ((flags & KEY_DICTIONARY) && !(std::iswalpha(c) || std::iswdigit(c) || std::iswspace(c))) continue;
                if ((flags & KEY_PRINTABLE) && !std::iswprint(c)) continue;
                if ((flags & KEY_FOLD) && std::iswlower(c)) c = std::towupper(c);
                out[m++] = uint32_t(c);
            }
        }
        out[m++] = 1;
        kb.give_back(n + 1 - m);
        f->value = nullptr;  // each field serves one key field only
    }
    *kb.room(1) = 0;
}

void numeric_part(KeyBuilder& kb, Field* record, const FieldListEntry* e) {
    size_t counter = kb.size();
    kb.put_double(0);
    double count = 0;
    for (Field* f = record; f->start; ++f) {
        if (!same_name(f, e)) continue;
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

}  // namespace

uint32_t* make_key(Field* record, FieldList* list, Area* key_area, Area* list_area) {
    if (!list->inclusive) key_list_extend(record, list, list_area);
    KeyBuilder kb{key_area};
    area_align(alignof(uint32_t), key_area);
    area_push_pact(0, relocate_pair, &kb.key, nullptr, key_area);
    kb.room(1);
    for (const FieldListEntry* e = list->included; e; e = e->next) {
        uint32_t flags = *e->flags;
        if (flags & KEY_NUMERIC)
            numeric_part(kb, record, e);
        else
            text_part(kb, record, e, flags);
    }
    kb.key[0] = uint32_t(kb.size());
    area_pop_pact(0, key_area);
    return kb.key;
}

namespace {

const uint32_t empty_part[3] = {0, 0, 0};  // an absent part: no text, no values

double load_double(const uint32_t* p) {
    double v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// A total order on doubles: NaN equals NaN and lies below every number.
int compare_numbers(double a, double b) {
    bool na = std::isnan(a), nb = std::isnan(b);
    if (na || nb) return na == nb ? 0 : na ? -1 : 1;
    return a < b ? -1 : a > b ? 1 : 0;
}

// Compares the parts at a and b and leaves both cursors after them.
int compare_part(const uint32_t*& a, const uint32_t*& b, bool numeric) {
    if (numeric) {
        size_t na = size_t(load_double(a)), nb = size_t(load_double(b));
        const uint32_t* va = a + 2;
        const uint32_t* vb = b + 2;
        a = va + 2 * na;
        b = vb + 2 * nb;
        for (size_t i = 0; i < na && i < nb; ++i)
            if (int c = compare_numbers(load_double(va + 2 * i), load_double(vb + 2 * i))) return c;
        return na < nb ? -1 : na > nb ? 1 : 0;
    }
    for (;; ++a, ++b) {
        if (*a != *b) {
            int c = int(int64_t(*a) - int64_t(*b));
            // Leave the cursors at the ends of their parts.
            while (*a) ++a;
            while (*b) ++b;
            ++a;
            ++b;
            return c;
        }
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
        auto name = [e]() {
            out_write(e->name, e->length);  // the name and its colon
        };
        if (*e->flags & KEY_NUMERIC) {
            size_t n = size_t(load_double(p));
            p += 2;
            for (size_t i = 0; i < n; ++i, p += 2) {
                name();
                print_number(load_double(p));
                out_putwc(L'\n');
            }
            continue;
        }
        bool open = false;
        for (; *p; ++p) {
            if (!open) {
                name();
                open = true;
            }
            if (*p == 1) {
                out_putwc(L'\n');
                open = false;
            } else {
                out_putwc(wchar_t(*p));
            }
        }
        ++p;
    }
}
