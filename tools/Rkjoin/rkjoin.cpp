// Rkjoin: joins Rk-files by key. By default a merge of files sorted by the
// key: for each key the groups of the files that have it are combined when
// the output specs allow that set of files. With -c the first file drives
// in its own order and every other file is loaded into a key tree.
#include <cstdlib>
#include <cstring>

#include "keytree.h"
#include "merge.h"
#include "tool.h"

static const char usage[] =
    "Rkjoin [-options] [^]key-field-list [input-file ..]\n"
    "\tjoins (n-way) Rk-files by key-field.\n"
    "\t\tInput files must be sorted by key-field-list order.\n"
    "\tOptions:\n"
    "\t-c\tperform core join.\n"
    "\t-k keyflags\tdefault key flags.\n"
    "\t-o output-spec\tfollowing; two or more -o are 'or'ed.\n"
    "\t\tmatched\toutput fully matched records only (DEFAULT).\n"
    "\t\tany\toutput any matched, unmatched, partially matched records.\n"
    "\t\t[10x]+ string: where 1 means corresponding file matches,\n"
    "\t\t\t0 means unmatches, and x means don't care.\n"
    "\t\t\t-o 111... is -o matched, -o xxx... is -o any.\n";

static int32_t rsize = 4, tsize = 1, dsize = 1, ksize = 1, vsize = 1, nsize = 1;
static Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"dsize", &dsize}, {"ksize", &ksize},
                             {"vsize", &vsize}, {"nsize", &nsize}, {nullptr, nullptr}};
static bool core = false;
static const char* flags_text = nullptr;

// The output specs as given, then as positions: '1' the input has the
// key, '0' it has not, anything else (stored as 'x') either.
struct Spec {
    const char* text;
    char* marks;
    int32_t length;
};
static Spec* specs = nullptr;
static int32_t nspecs = 0;

static bool option(int letter) {
    switch (letter) {
    case 'c': core = true; return true;
    case 'k': flags_text = opt_arg; return true;
    case 'o':
        specs = static_cast<Spec*>(checked_realloc(specs, sizeof(Spec) * size_t(nspecs + 1)));
        specs[nspecs++] = Spec{opt_arg, nullptr, 0};
        return true;
    }
    return false;
}

static const ToolSpec spec = {usage, "ck:o:D:", settings, option, nullptr};

static Area names;
static FieldList list;
static int32_t ninputs;
static bool any_set = false;
static bool* required;
static int32_t nrequired = 0;

// Reads the spec's characters (of the locale's encoding) as marks.
static void read_marks(Spec* s) {
    size_t n = std::strlen(s->text);
    s->marks = static_cast<char*>(checked_malloc(n + 1));
    s->length = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s->text);
    while (n > 0) {
        wchar_t c;
        int k = decode_char(p, n, &c);
        if (k <= 0) k = 1, c = L'x';
        s->marks[s->length++] = c == L'1' ? '1' : c == L'0' ? '0' : 'x';
        p += k;
        n -= size_t(k);
    }
}

// Which inputs every writable set must contain, from the specs.
static void derive_flags() {
    required = static_cast<bool*>(checked_malloc(sizeof(bool) * size_t(ninputs)));
    for (int32_t i = 0; i < ninputs; ++i) required[i] = true;
    if (core && nspecs == 0) {
        any_set = true;
        for (int32_t i = 1; i < ninputs; ++i) required[i] = false;
    }
    for (int32_t j = 0; j < nspecs && !any_set; ++j) {
        Spec* s = &specs[j];
        if (std::strcmp(s->text, "any") == 0) {
            any_set = true;
        } else if (std::strcmp(s->text, "matched") != 0) {
            read_marks(s);
            for (int32_t i = 0; i < ninputs; ++i)
                if (i >= s->length || s->marks[i] != '1') required[i] = false;
        }
    }
    if (!any_set)
        for (int32_t i = 0; i < ninputs; ++i) nrequired += required[i];
    if (core && !required[0]) warn(WARN_ERROR, "with -c option, -o option's top must be '1'.\n");
}

// Whether some spec fits the inputs from `first` on, has[i] telling which
// have the key.
static bool some_spec_fits(const bool* has, int32_t first) {
    for (int32_t j = 0; j < nspecs; ++j) {
        const Spec* s = &specs[j];
        bool fits = true;
        if (s->marks == nullptr) {  // matched
            for (int32_t i = first; i < ninputs && fits; ++i) fits = has[i];
        } else {
            int32_t end = s->length < ninputs ? s->length : ninputs;
            for (int32_t i = first; i < end && fits; ++i)
                fits = s->marks[i] == 'x' || (s->marks[i] == '1') == has[i];
        }
        if (fits) return true;
    }
    return false;
}

// Whether the set of inputs that have a key may be written: has[i] tells
// which, count how many.
static bool may_write(const bool* has, int32_t count) {
    return any_set || (count >= nrequired && (nrequired == ninputs || some_spec_fits(has, 0)));
}

// Which inputs' records are written alone: those without a key, which
// pair with none.
static bool* alone;

static void keyless(const MergeInput* s, const Field* rec) {
    if (alone[s->number]) write_record(rec);
}

// The odometer of the combinations: each wheel turns through `size`
// positions, the last wheel fastest; false when all wheels went round.
static bool turn(int32_t* wheel, const int32_t* size, int32_t n) {
    for (int32_t j = n - 1; j >= 0; --j) {
        if (++wheel[j] < size[j]) return true;
        wheel[j] = 0;
    }
    return false;
}

// The merge mode.
[[noreturn]] static void merge_join() {
    Merge m;
    merge_make(&m, ninputs, &list, &names, keyless, ", or use -c");
    bool* has = static_cast<bool*>(checked_malloc(sizeof(bool) * size_t(ninputs)));
    int32_t* wheel = static_cast<int32_t*>(checked_malloc(sizeof(int32_t) * size_t(ninputs)));
    int32_t* sizes = static_cast<int32_t*>(checked_malloc(sizeof(int32_t) * size_t(ninputs)));
    alone = static_cast<bool*>(checked_malloc(sizeof(bool) * size_t(ninputs)));
    std::memset(has, 0, sizeof(bool) * size_t(ninputs));
    for (int32_t i = 0; i < ninputs; ++i) {
        has[i] = true;
        alone[i] = may_write(has, 1);
        has[i] = false;
    }
    merge_start(&m);
    for (;;) {
        if (m.run == 0) break;
        if (nrequired > 0) {
            bool stop = false;
            for (int32_t i = 0; i < ninputs && !stop; ++i) stop = required[i] && m.inputs[i].size == 0;
            if (stop) break;
        }
        int32_t run = m.run;
        for (int32_t i = 0; i < run; ++i) has[merge_at(&m, i)->number] = true;
        if (may_write(has, run)) {
            for (int32_t i = 0; i < run; ++i) {
                wheel[i] = 0;
                sizes[i] = merge_at(&m, i)->size;
            }
            do {
                write_record_text(merge_group(merge_at(&m, 0))[wheel[0]]);
                for (int32_t i = 1; i < run; ++i) write_nonkey_fields(merge_group(merge_at(&m, i))[wheel[i]]);
                out_putwc(L'\n');
            } while (turn(wheel, sizes, run));
        }
        for (int32_t i = 0; i < run; ++i) has[merge_at(&m, i)->number] = false;
        merge_advance(&m);
    }
    tool_finish();
}

// The core mode: the record list of an indexed input, in its dsize area,
// one entry per record in file order. `next` chains the records of one key;
// the first record of a key keeps the last one of its chain in `last`.
struct Listed {
    Field* record;
    int32_t next;
    int32_t last;
};

struct Indexed {
    Input in;
    Area text, table, list, keys, nodes;  // rsize, tsize, dsize, ksize, vsize
    KeyTree tree;
    int32_t count;
    Listed* entries() const { return reinterpret_cast<Listed*>(list.base); }
};

static int grow_indexed_text(void* a, void*, Area* area) {
    area_double(nullptr, nullptr, area);
    auto* x = static_cast<Indexed*>(a);
    for (int32_t i = 0; i < x->count; ++i) relocate_record(x->entries()[i].record, area);
    return 0;
}

static int grow_indexed_table(void* a, void*, Area* area) {
    area_double(nullptr, nullptr, area);
    auto* x = static_cast<Indexed*>(a);
    for (int32_t i = 0; i < x->count; ++i) area_relocate_cell(&x->entries()[i].record, area);
    return 0;
}

// Reads all of an input into its areas and its key tree.
static void load(Indexed* x) {
    area_create_kb(rsize, "rsize", &x->text);
    area_push_pact(0, grow_indexed_text, x, nullptr, &x->text);
    area_create_kb(tsize, "tsize", &x->table);
    area_push_pact(0, grow_indexed_table, x, nullptr, &x->table);
    area_create_doubling(dsize, "dsize", &x->list);
    area_create_doubling(ksize, "ksize", &x->keys);
    // Room for pacts beyond the growth: the tree refers to nodes and keys
    // by offsets and pushes none, but callers of the key builder do.
    int32_t saved = pact_capacity[0];
    pact_capacity[0] += 20;
    area_create_doubling(vsize, "vsize", &x->nodes);
    pact_capacity[0] = saved;
    x->tree = keytree_make(&x->nodes, &x->keys, &list);
    x->count = 0;
    open_input(&x->in, INPUT_ONE_FILE);
    while (Field* rec = next_record(&x->in, &x->text, &x->table)) {
        uint32_t* key = make_key(rec, &list, &x->keys, &names);
        if (key_is_empty(key)) {  // no key: no record finds it
            drop_last_record(rec, key, &x->text, &x->table, &x->keys);
            continue;
        }
        auto* e = static_cast<Listed*>(area_alloc(sizeof(Listed), &x->list));
        int32_t at = x->count++;
        *e = Listed{rec, -1, at};
        bool added;
        uint32_t value = keytree_insert(&x->tree, key, &added);
        uint32_t* first = keytree_word(&x->tree, value);
        if (added) {
            *first = uint32_t(at);
        } else {
            Listed* head = &x->entries()[*first];
            x->entries()[head->last].next = at;
            head->last = at;
        }
        if (x->count == INT32_MAX) fatal("can't allocate necessary memory!\n");
    }
}

[[noreturn]] static void core_join() {
    Input in;
    Area text, table, keys;
    tool_area("rsize", &text);
    tool_area("tsize", &table);
    tool_area("ksize", &keys);
    open_input(&in, INPUT_ONE_FILE);
    auto* indexed = static_cast<Indexed*>(std::calloc(size_t(ninputs), sizeof(Indexed)));
    auto* current = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * size_t(ninputs)));
    auto* has = static_cast<bool*>(std::calloc(size_t(ninputs), sizeof(bool)));
    if (indexed == nullptr || current == nullptr || has == nullptr) fatal("can't allocate necessary memory!\n");
    for (int32_t i = 1; i < ninputs; ++i) load(&indexed[i]);
    int32_t* first = static_cast<int32_t*>(checked_malloc(sizeof(int32_t) * size_t(ninputs)));

    while (Field* rec = next_record(&in, &text, &table)) {
        uint32_t* key = make_key(rec, &list, &keys, &names);
        bool keyed = !key_is_empty(key);  // a record without a key finds none
        for (int32_t i = 1; i < ninputs; ++i) {
            uint32_t value = keyed ? keytree_find(&indexed[i].tree, key) : KEYTREE_NONE;
            has[i] = value != KEYTREE_NONE;
            first[i] = has[i] ? int32_t(*keytree_word(&indexed[i].tree, value)) : -1;
            current[i] = first[i];
        }
        if (any_set || some_spec_fits(has, 1)) {
            for (;;) {
                write_record_text(rec);
                for (int32_t i = 1; i < ninputs; ++i)
                    if (has[i]) write_nonkey_fields(indexed[i].entries()[current[i]].record);
                out_putwc(L'\n');
                // The chains turn like an odometer, the last input fastest.
                int32_t i = ninputs - 1;
                for (; i >= 1; --i) {
                    if (!has[i]) continue;
                    current[i] = indexed[i].entries()[current[i]].next;
                    if (current[i] >= 0) break;
                    current[i] = first[i];
                }
                if (i < 1) break;
            }
        }
        area_reset(&table);
        area_reset(&text);
        area_reset(&keys);
    }
    tool_finish();
}

int main(int argc, char** argv) {
    tool_start(spec, argc, argv);
    tool_area("nsize", &names);
    tool_key_list(take_argument(usage), flags_text, &list, &names);
    if (nargs == 0) usage_exit(usage);
    ninputs = merge_input_count();
    derive_flags();
    exit_if_errors(2);
    if (core) core_join();
    merge_join();
}
