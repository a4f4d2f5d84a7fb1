// The JSON reader and writer (json.h). The reader runs RapidJSON's SAX
// parser over the input buffer, one top-level value at a time and without
// recursion (so that no depth of nesting can exhaust the stack); the
// elements of a top-level array are taken one at a time too, so memory
// holds one record, whatever the length of the input. A record is gathered
// as bytes and written when its object ends, so an error never leaves half
// a record in the output.
#include "json.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The parser's few objects on the heap come from malloc, placed with the
// inline placement new, so that no program needs the C++ runtime library.
template <typename T>
static T* json_new() {
    return ::new (checked_malloc(sizeof(T))) T();
}
template <typename T>
static void json_delete(T* p) {
    if (!p) return;
    p->~T();
    std::free(p);
}
#define RAPIDJSON_NEW(x) json_new<decltype(x)>()
#define RAPIDJSON_DELETE(x) json_delete(x)
#if defined(__SSE2__)
#define RAPIDJSON_SSE2
#endif
#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

// Bytes that grow: the record being read, the name of the member.
struct Bytes {
    char* p = nullptr;
    size_t n = 0, cap = 0;
    void put(const char* s, size_t k) {
        if (k == 0) return;  // p may still be null
        grow_table(p, cap, n + k);
        std::memcpy(p + n, s, k);
        n += k;
    }
    void put(char c) { put(&c, 1); }
};

// The input as RapidJSON reads it: the bytes of the stream's buffer,
// refilled as they are consumed. Lines are counted in input_number; the
// offset of the start of the current line is kept to tell where reading
// may go on after an error.
struct JsonStream {
    typedef char Ch;
    WStream* in;
    size_t base = 0;        // the offset of in->buf[0] in the input
    size_t line_start = 0;  // the offset of the current line
    Ch Peek() { return in->pos < in->len ? Ch(in->buf[in->pos]) : refill(); }
    Ch Take() {
        Ch c = Peek();
        if (in->pos == in->len) return c;  // the end
        ++in->pos;
        if (c == '\n') {
            ++input_number;
            line_start = Tell();
        }
        return c;
    }
    size_t Tell() const { return base + in->pos; }
    bool at_end() { return Peek() == '\0' && in->pos >= in->len; }
    Ch refill();
    // Not used: the reader does not parse in place.
    Ch* PutBegin() { return nullptr; }
    void Put(Ch) {}
    void Flush() {}
    size_t PutEnd(Ch*) { return 0; }
};

JsonStream::Ch JsonStream::refill() {
    base += in->pos;
    if (ws_fill(in)) return Ch(in->buf[in->pos]);
    if (in->error)
        fatal_code_error(nullptr, "code error in the file %s(%d), irrecoverable.\n", input_name, input_number);
    return '\0';
}

// RapidJSON works out a number's value even when it hands on the text,
// and takes one beyond the range of a double (1e400, an integer of 309
// digits) for an error. Such a value is read again through this stream,
// as is every value read from the JsonStream (one that the buffer cuts
// or one with an error), which shows the parser no more than two digits of each run of a
// number's digits (enough to keep a leading zero and a missing run) and
// keeps the whole text of the number in number_text, which the handler
// writes in its place. It follows strings, where digits are text.
static Bytes number_text;
enum NumberState { OUTSIDE, IN_STRING, ESCAPE, IN_NUMBER };

template <typename Stream>
struct NumberText {
    typedef char Ch;
    Stream* s;
    NumberState state = OUTSIDE;
    int run = 0;  // the digits of the current run shown
    static bool digit(Ch c) { return c >= '0' && c <= '9'; }
    Ch Peek() {
        Ch c = s->Peek();
        for (; state == IN_NUMBER && run >= 2 && digit(c); c = s->Peek()) number_text.put(s->Take());
        return c;
    }
    Ch Take() {
        Ch c = Peek();
        s->Take();
        follow(c);
        return c;
    }
    void follow(Ch c) {
        if (state == ESCAPE) {
            state = IN_STRING;
            return;
        }
        if (state == IN_STRING) {
            if (c == '\\' || c == '"') state = c == '"' ? OUTSIDE : ESCAPE;
            return;
        }
        if (state == IN_NUMBER) {
            if (digit(c) || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-') {
                run = digit(c) ? run + 1 : 0;
                return number_text.put(c);
            }
            state = OUTSIDE;
        }
        if (c == '"') state = IN_STRING;
        if (c != '-' && !digit(c)) return;
        state = IN_NUMBER;
        number_text.n = 0;
        number_text.put(c);
        run = digit(c) ? 1 : 0;
    }
    size_t Tell() const { return s->Tell(); }
    Ch* PutBegin() { return nullptr; }
    void Put(Ch) {}
    void Flush() {}
    size_t PutEnd(Ch*) { return 0; }
};

static const JsonReading* how = nullptr;
static const char* file_name = nullptr;
static Bytes record, name;
// The containers open in the value being read: the length of the name when
// each began, to which it goes back at its end.
static size_t* open_at = nullptr;
static size_t open_room = 0, depth = 0;
static bool not_object = false;  // the value being read is not an object: ignored

// A value is first read straight from the buffer, in a trial that any
// error spoils (it is then read again, by the stream, and the error told
// once): whether a message is to be held back, for a trial spoilt.
static bool trial = false, spoiled = false;
static bool quiet() {
    spoiled = spoiled || trial;
    return trial;
}

static void character_error() {
    if (quiet()) return;
    warn(WARN_ERROR, "a character the locale can't encode in %s(%d), written as ?.\n", input_name, input_number);
}

static void not_utf8() {
    if (quiet()) return;
    warn(WARN_ERROR, "a byte that is not UTF-8 in %s(%d), written as ?.\n", input_name, input_number);
}

// The length of the UTF-8 sequence at s (n bytes left) of one character,
// a surrogate (which a \u escape gives) included; 0 when there is none.
static size_t utf8_length(const unsigned char* s, size_t n) {
    unsigned char c = s[0];
    size_t k = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (k == 0 || k > n) return 0;
    for (size_t i = 1; i < k; ++i)
        if ((s[i] & 0xC0) != 0x80) return 0;
    bool overlong = (c == 0xE0 && s[1] < 0xA0) || (c == 0xF0 && s[1] < 0x90);
    return overlong || (c == 0xF4 && s[1] > 0x8F) ? 0 : k;
}

// The character of the k bytes of UTF-8 at s in the locale's encoding; a
// surrogate, or a character the encoding lacks, as ?.
static void put_character(Bytes* b, const unsigned char* s, size_t k) {
    bool surrogate = k == 3 && s[0] == 0xED && s[1] >= 0xA0;
    if (utf8_locale && !surrogate) return b->put(reinterpret_cast<const char*>(s), k);
    static const unsigned char lead_bits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    wchar_t c = wchar_t(s[0] & lead_bits[k]);
    for (size_t i = 1; i < k; ++i) c = wchar_t((c << 6) | (s[i] & 0x3F));
    char out[16];
    int m = surrogate ? -1 : encode_char(c, out);
    if (m < 0) {
        character_error();
        return b->put('?');
    }
    b->put(out, size_t(m));
}

static void colon_in_name() {
    if (quiet()) return;
    warn(WARN_ERROR, "the member name in %s(%d) holds a colon, where a field name ends.\n", input_name, input_number);
}

// Puts the text s[0..n) of a string (UTF-8, the parser's escapes decoded)
// in the locale's encoding, a NUL left out (a counted error), bytes that
// are not UTF-8 as ?; at a newline line_break() instead. In a name a colon
// is a counted error.
template <typename Break>
static void put_text(Bytes* b, const char* text, size_t n, bool is_name, Break line_break) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    size_t from = 0;
    for (size_t i = 0; i < n;) {
        unsigned char c = s[i];
        if (c >= 0x20 && c < 0x80 && c != ':' && ascii_compatible) {
            ++i;
            continue;
        }
        b->put(text + from, i - from);
        size_t k = c < 0x80 ? 1 : utf8_length(s + i, n - i);
        if (k == 0) {
            not_utf8();
            b->put('?');
            k = 1;
        } else if (c == '\n') {
            line_break();
        } else if (c == 0) {
            if (!quiet()) warn(WARN_ERROR, "skips a NULL character in the file %s(%d).\n", input_name, input_number);
        } else {
            if (c == ':' && is_name) colon_in_name();
            put_character(b, s + i, k);
        }
        i += k;
        from = i;
    }
    b->put(text + from, n - from);
}

// The name of a member: a colon or a line break in it would end the name
// too soon or break the record, a counted error (the line break as ?).
static void put_name(const char* text, size_t n) {
    put_text(&name, text, n, true, [] {
        if (!quiet())
            warn(WARN_ERROR, "a line break in a member name in %s(%d), written as ?.\n", input_name, input_number);
        name.put('?');
    });
}

// A field of the member's name: a string's text (split at its newlines,
// or with the newline text in their place), or a word as it is.
static bool put_field(const char* value, size_t n, bool text) {
    if (depth == 0) not_object = true;  // a top-level value that is no object
    if (not_object) return true;
    record.put(name.p, name.n);
    record.put(':');
    if (!text) {
        record.put(value, n);
        record.put('\n');
        return true;
    }
    put_text(&record, value, n, false, [] {
        if (how->newline) return record.put(how->newline, std::strlen(how->newline));
        record.put('\n');
        record.put(name.p, name.n);
        record.put(':');
    });
    record.put('\n');
    return !spoiled;
}

static void end_record() {
    if (how->filenames && file_name) {
        out_bytes(record.p, record.n);
        write_filename(file_name);
        out_putwc(L'\n');
    } else if (record.n > 0) {  // a record without fields is none
        record.put('\n');
        out_bytes(record.p, record.n);
    }
    record.n = 0;
}

struct Handler : rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Handler> {
    bool Default() { return true; }
    bool Null() { return put_field("", 0, false); }
    bool Bool(bool b) { return b ? put_field("true", 4, false) : put_field("false", 5, false); }
    bool stand_ins = false;  // the parser is shown stand-ins for numbers: their text is in number_text
    bool RawNumber(const char* s, rapidjson::SizeType n, bool) {
        return stand_ins ? put_field(number_text.p, number_text.n, false) : put_field(s, n, false);
    }
    bool String(const char* s, rapidjson::SizeType n, bool) { return put_field(s, n, true); }
    bool Key(const char* s, rapidjson::SizeType n, bool) {
        if (not_object) return true;
        name.n = open_at[depth - 1];
        if (depth > 1) name.put(how->separator, std::strlen(how->separator));
        put_name(s, n);
        return !spoiled;
    }
    static bool open(bool object) {
        if (depth == 0 && !object) not_object = true;
        if (not_object) return true;
        grow_table(open_at, open_room, depth + 1);
        open_at[depth++] = name.n;
        return true;
    }
    static bool close() {
        if (not_object) return true;
        name.n = open_at[--depth];
        return true;
    }
    bool StartObject() { return open(true); }
    bool EndObject(rapidjson::SizeType) { return close(); }
    bool StartArray() { return open(false); }
    bool EndArray(rapidjson::SizeType) { return close(); }
};

static void skip_blanks(JsonStream* s) {
    for (char c = s->Peek(); c == ' ' || c == '\t' || c == '\n' || c == '\r'; c = s->Peek()) s->Take();
}

// After an error in a value begun on the line `begun`: reading goes on
// where the error stands when only blanks precede it on a later line (a
// line cut short before it), at the next line otherwise.
static void recover(JsonStream* s, int32_t begun) {
    if (input_number > begun && s->line_start >= s->base) {
        const unsigned char* p = s->in->buf + (s->line_start - s->base);
        const unsigned char* to = s->in->buf + s->in->pos;
        while (p < to && (*p == ' ' || *p == '\t' || *p == '\r')) ++p;
        if (p == to) return;
    }
    for (int32_t line = input_number; input_number == line && !s->at_end();) s->Take();
}

static void not_json(JsonStream* s, int32_t begun, const char* reason) {
    size_t n = std::strlen(reason);
    if (n > 0 && reason[n - 1] == '.') --n;
    warn(WARN_ERROR, "text that is not JSON in %s(%d) (%.*s), read on from the next line.\n", input_name,
         input_number, int(n), reason);
    recover(s, begun);
}

static rapidjson::Reader* parser = nullptr;

constexpr unsigned parse_flags = rapidjson::kParseIterativeFlag | rapidjson::kParseStopWhenDoneFlag |
                                 rapidjson::kParseNumbersAsStringsFlag;

static void start_value() {
    depth = 0;
    not_object = spoiled = false;
    record.n = name.n = 0;
}

// Parses a value from s, the parser shown stand-ins for its numbers.
template <typename Stream>
[[gnu::noinline]] static rapidjson::ParseResult parse_as_written(Stream* s) {
    NumberText<Stream> numbers;
    numbers.s = s;
    Handler handler;
    handler.stand_ins = true;
    start_value();
    return parser->Parse<parse_flags>(numbers, handler);
}

// The trial: the value read from the bytes buffered, a 0 after them; true
// when it ends there with no error (a value that reaches the end of the
// buffer may go on after it).
static bool read_in_buffer(JsonStream* s) {
    WStream* in = s->in;
    const char* from = reinterpret_cast<const char*>(in->buf + in->pos);
    size_t n = in->len - in->pos;
    in->buf[in->len] = 0;  // in the slack after the bytes
    rapidjson::StringStream text(from);
    Handler handler;
    start_value();
    trial = true;
    rapidjson::ParseResult r = parser->Parse<parse_flags>(text, handler);
    if (r.Code() == rapidjson::kParseErrorNumberTooBig) {
        text = rapidjson::StringStream(from);
        r = parse_as_written(&text);
    }
    bool whole = !r.IsError() && (text.Tell() < n || in->eof);
    trial = false;
    if (!whole) return false;
    for (const char* p = from; (p = static_cast<const char*>(std::memchr(p, '\n', text.Tell() - size_t(p - from))));) {
        ++input_number;
        s->line_start = s->Tell() + size_t(++p - from);
    }
    in->pos += text.Tell();
    return true;
}

// Reads one top-level value (an element of a top-level array too); false
// when it is not JSON.
static bool read_value(JsonStream* s) {
    int32_t begun = input_number;
    if (!read_in_buffer(s)) {
        rapidjson::ParseResult r = parse_as_written(s);
        if (r.IsError()) {
            not_json(s, begun, rapidjson::GetParseError_En(r.Code()));
            return false;
        }
    }
    if (not_object)
        warn(WARN_ERROR, "a value that is not an object in %s(%d), left out.\n", input_name, input_number);
    else
        end_record();
    return true;
}

// The top level: values one after the other; an array's elements, between
// commas, each as a value.
static void read_values(JsonStream* s) {
    bool in_array = false, element_done = false;
    for (;;) {
        skip_blanks(s);
        if (s->at_end()) break;
        char c = s->Peek();
        if (in_array && c == ']') {
            s->Take();
            in_array = false;
            continue;
        }
        if (!in_array && c == '[') {
            s->Take();
            in_array = true;
            element_done = false;
            continue;
        }
        if (in_array && element_done) {
            if (c != ',') {
                not_json(s, input_number, "Missing a comma or ']' after an array element.");
                element_done = false;
                continue;
            }
            s->Take();
        }
        element_done = read_value(s);
    }
    if (in_array) not_json(s, input_number, "The top-level array does not end.");
}

void json_convert(WStream* in, const char* file, const JsonReading& reading) {
    how = &reading;
    file_name = file;
    input_number = 1;
    rapidjson::Reader reader;
    parser = &reader;
    JsonStream s;
    s.in = in;
    s.base = 0;
    s.line_start = 0;
    read_values(&s);
    parser = nullptr;
}

// The writer. A record's names form a tree: the root, a node per name (per
// part of a name between unnest texts, with unnest), each node with the
// chain of its fields, in the order of first occurrence. Nodes are found
// by a hash of (parent, part). The tree is walked without recursion, as a
// name may have any number of parts, once, when it is built: the walk
// leaves the object's text around its values as a list of ops, and each
// record of the tree's names is written by that list.
struct Node {
    const wchar_t* part;
    size_t length, at;  // of the part, and where it begins in the name
    int32_t parent, first_child, last_child, next;
    int32_t first_value, last_value;
    bool flat;  // both a value and an object: written as given
};

// A member's values as the writer takes them: the text before them (the
// punctuation, the name and the colon, an opening bracket for an array)
// and the chain of their fields.
struct Op {
    size_t text_at, text_length;  // in the tree's `texts`
    int32_t first_value;
    bool array;
};

// A tree and what it was built for: the names of the record, one after the
// other, with their lengths and offsets (the nodes' parts lie in them), and
// the ops with their texts, the end of the object last.
struct Tree {
    Node* nodes = nullptr;
    size_t node_room = 0;
    int32_t nnodes = 0;
    int32_t* next_value = nullptr;  // the field after each field in its node's chain
    size_t value_room = 0;
    wchar_t* names = nullptr;
    size_t names_room = 0;
    size_t *name_lengths = nullptr, *name_at = nullptr;
    size_t lengths_room = 0, at_room = 0, nnames = 0;
    bool whole = true;
    Bytes texts;
    Op* ops = nullptr;
    size_t op_room = 0, nops = 0;
};

// The tree in use first, then the trees of the records before with other
// names, the one used last first: most records have the names of the
// record before, and records of a few kinds, in any order, mostly find
// theirs.
enum { TREES = 4 };
static Tree trees[TREES];
static Tree* order[TREES] = {&trees[0], &trees[1], &trees[2], &trees[3]};
static int32_t* slots = nullptr;  // the hash table of the tree being built, -1 empty
static size_t slot_room = 0, nslots = 0;

bool json_number(const wchar_t* p, size_t n) {
    const wchar_t* end = p + n;
    auto digits = [&p, end] {
        const wchar_t* from = p;
        while (p < end && *p >= L'0' && *p <= L'9') ++p;
        return p > from;
    };
    if (p < end && *p == L'-') ++p;
    if (p < end && *p == L'0') ++p;
    else if (p == end || *p == L'0' || !digits()) return false;
    if (p < end && *p == L'.' && (++p, !digits())) return false;
    if (p < end && (*p == L'e' || *p == L'E')) {
        ++p;
        if (p < end && (*p == L'+' || *p == L'-')) ++p;
        if (!digits()) return false;
    }
    return p == end;
}

static size_t slot_of(int32_t parent, const wchar_t* part, size_t length) {
    size_t h = size_t(parent) * 0x9E3779B97F4A7C15u;
    for (size_t i = 0; i < length; ++i) h = (h ^ size_t(part[i])) * 0x100000001B3u;
    return (h ^ (h >> 29)) & (nslots - 1);
}

static bool same_part(const Node& node, int32_t parent, const wchar_t* part, size_t length) {
    if (node.parent != parent || node.length != length) return false;
    for (size_t i = 0; i < length; ++i)
        if (node.part[i] != part[i]) return false;
    return true;
}

static void rehash(Tree* t, size_t size) {
    nslots = size;
    grow_table(slots, slot_room, nslots);
    for (size_t i = 0; i < nslots; ++i) slots[i] = -1;
    for (int32_t k = 1; k < t->nnodes; ++k) {
        const Node& node = t->nodes[k];
        size_t i = slot_of(node.parent, node.part, node.length);
        while (slots[i] >= 0) i = (i + 1) & (nslots - 1);
        slots[i] = k;
    }
}

static int32_t new_node(Tree* t, int32_t parent, const wchar_t* part, size_t length, size_t at) {
    grow_table(t->nodes, t->node_room, size_t(t->nnodes) + 1);
    t->nodes[t->nnodes] = Node{part, length, at, parent, -1, -1, -1, -1, -1, false};
    if (parent >= 0) {
        Node& p = t->nodes[parent];
        (p.last_child >= 0 ? t->nodes[p.last_child].next : p.first_child) = t->nnodes;
        p.last_child = t->nnodes;
    }
    return t->nnodes++;
}

// The child of `parent` named by the part, made when there is none. The
// few nodes of most records are searched in turn; the hash table is built
// when there are more.
enum { FEW_NODES = 32 };
static int32_t child(Tree* t, int32_t parent, const wchar_t* part, size_t length, size_t at) {
    if (t->nnodes <= FEW_NODES) {
        for (int32_t k = 1; k < t->nnodes; ++k)
            if (same_part(t->nodes[k], parent, part, length)) return k;
        if (t->nnodes < FEW_NODES) return new_node(t, parent, part, length, at);
    }
    if (size_t(t->nnodes) * 2 >= nslots) rehash(t, nslots < 4 * FEW_NODES ? 4 * FEW_NODES : nslots * 2);
    size_t i = slot_of(parent, part, length);
    for (; slots[i] >= 0; i = (i + 1) & (nslots - 1))
        if (same_part(t->nodes[slots[i]], parent, part, length)) return slots[i];
    return slots[i] = new_node(t, parent, part, length, at);
}

// The node of the field's name, its parts cut at the unnest text.
static int32_t node_of(Tree* t, const wchar_t* name, size_t n, const JsonWriting& how) {
    size_t u = how.unnest_length, at = 0;
    int32_t node = 0;
    for (size_t i = 0; u > 0 && i + u <= n; ++i) {
        if (std::wmemcmp(name + i, how.unnest, u) != 0) continue;
        node = child(t, node, name + at, i - at, at);
        i += u - 1;
        at = i + 1;
    }
    return child(t, node, name + at, n - at, at);
}

// Whether a[0..n) equals b[0..n), 8 bytes at a time: names are short, and
// a call to compare them would cost more than the comparing.
static bool same_chars(const wchar_t* a, const wchar_t* b, size_t n) {
    constexpr size_t k = 8 / sizeof(wchar_t);
    size_t i = 0;
    for (; i + k <= n; i += k) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y) return false;
    }
    for (; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

static bool same_names(const Tree& t, const Field* rec, size_t nfields) {
    if (t.nnodes == 0 || nfields != t.nnames) return false;
    for (size_t i = 0; i < nfields; ++i) {
        size_t n = field_name_length(&rec[i]);
        if (n != t.name_lengths[i] || !same_chars(t.names + t.name_at[i], rec[i].start, n)) return false;
    }
    return true;
}

static void keep_names(Tree* t, const Field* rec, size_t nfields) {
    size_t total = 0;
    grow_table(t->name_lengths, t->lengths_room, nfields + 1);
    grow_table(t->name_at, t->at_room, nfields + 1);
    for (size_t i = 0; i < nfields; ++i) {
        t->name_at[i] = total;
        t->name_lengths[i] = field_name_length(&rec[i]);
        total += t->name_lengths[i];
    }
    grow_table(t->names, t->names_room, total + 1);
    for (size_t i = 0; i < nfields; ++i) std::wmemcpy(t->names + t->name_at[i], rec[i].start, t->name_lengths[i]);
    t->nnames = nfields;
}

static void make_nodes(Tree* t, const JsonWriting& how) {
    t->nnodes = 0;
    nslots = 0;
    new_node(t, -1, nullptr, 0, 0);
    grow_table(t->next_value, t->value_room, t->nnames);
    for (size_t i = 0; i < t->nnames; ++i) {
        int32_t k = node_of(t, t->names + t->name_at[i], t->name_lengths[i], how);
        Node& node = t->nodes[k];
        t->next_value[i] = -1;
        (node.last_value >= 0 ? t->next_value[node.last_value] : node.first_value) = int32_t(i);
        node.last_value = int32_t(i);
    }
    t->whole = true;
    for (int32_t k = 1; k < t->nnodes; ++k) {
        Node& node = t->nodes[k];
        node.flat = node.first_value >= 0 && node.first_child >= 0;
        t->whole = t->whole && !node.flat;
    }
}

// The object is made in `json`, as UTF-8 whatever the locale's encoding,
// and written at once.
static Bytes json;

// Copies the characters of p[0..n) that are printable ASCII but for the
// double quote and the backslash, from the start on, 8 and 4 at a time, to o;
// returns how many it copied.
static size_t copy_plain(const wchar_t* p, size_t n, char* o) {
    size_t i = 0;
#if defined(__SSE2__) && WCHAR_MAX > 0xFFFF
    const __m128i below = _mm_set1_epi32(0x20), above = _mm_set1_epi32(0x7F);
    const __m128i quote = _mm_set1_epi32(L'"'), backslash = _mm_set1_epi32(L'\\');
    auto bad = [&](__m128i v) {
        __m128i out = _mm_or_si128(_mm_cmplt_epi32(v, below), _mm_cmpgt_epi32(v, above));
        return _mm_or_si128(out, _mm_or_si128(_mm_cmpeq_epi32(v, quote), _mm_cmpeq_epi32(v, backslash)));
    };
    for (; i + 8 <= n; i += 8) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 4));
        if (_mm_movemask_epi8(_mm_or_si128(bad(a), bad(b))) != 0) break;
        __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_setzero_si128());
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o + i), bytes);
    }
    if (i + 4 <= n) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        if (_mm_movemask_epi8(bad(a)) != 0) return i;
        int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(a, a), a));
        std::memcpy(o + i, &bytes, 4);
        i += 4;
    }
#else
    (void)p, (void)n, (void)o;
#endif
    return i;
}

static char* put_utf8(char* o, uint32_t c) {
    size_t k = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    static const unsigned char lead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (size_t j = k; j-- > 1; c >>= 6) o[j] = char(0x80 | (c & 0x3F));
    o[0] = char(k == 1 ? c : lead[k] | c);
    return o + k;
}

static char* put_escape(char* o, wchar_t c) {
    static const char short_form[] = "\b\f\n\r\t";
    const char* s = c != 0 ? std::strchr(short_form, int(c)) : nullptr;
    *o++ = '\\';
    if (c == L'"' || c == L'\\' || s) {
        *o++ = s ? "bfnrt"[s - short_form] : char(c);
        return o;
    }
    static const char hex[] = "0123456789abcdef";
    const char u[] = {'u', '0', '0', hex[c >> 4], hex[c & 15]};
    std::memcpy(o, u, 5);
    return o + 5;
}

// The writers below put their bytes at o, in room made for the whole
// object, and return the end.
static char* write_string(char* o, const wchar_t* p, size_t n) {
    *o++ = '"';
    size_t i = copy_plain(p, n, o);
    o += i;
    for (; i < n; ++i) {
        wchar_t c = p[i];
        if (uint32_t(c - 0x20) < 0x60 && c != L'"' && c != L'\\') *o++ = char(c);
        else if (uint32_t(c) < 0x20 || c == L'"' || c == L'\\') o = put_escape(o, c);
        else o = put_utf8(o, uint32_t(c));
    }
    *o++ = '"';
    return o;
}

static char* write_value(char* o, const Field* f, const JsonWriting& how) {
    size_t n = field_value_length(f);
    wchar_t c = n > 0 ? f->value[0] : L'x';  // a number starts with a digit or '-'
    bool number = !how.strings && (c == L'-' || uint32_t(c - L'0') < 10) && json_number(f->value, n);
    if (!number) return write_string(o, f->value, n);
    for (size_t i = 0; i < n; ++i) o[i] = char(f->value[i]);  // ASCII
    return o + n;
}

// The ops: the texts are made by walking the tree as the object is
// written, each member's values left out as an op.
static void put_key(Tree* t, const wchar_t* p, size_t n) {
    char* o = grow_table(t->texts.p, t->texts.cap, t->texts.n + 6 * n + 2) + t->texts.n;
    t->texts.n += size_t(write_string(o, p, n) - o);
}

static void put_op(Tree* t, int32_t first_value, const JsonWriting& how) {
    bool array = how.arrays || t->next_value[first_value] >= 0;
    t->texts.put(array ? ":[" : ":", array ? 2 : 1);
    size_t from = t->nops == 0 ? 0 : t->ops[t->nops - 1].text_at + t->ops[t->nops - 1].text_length;
    grow_table(t->ops, t->op_room, t->nops + 1);
    t->ops[t->nops++] = Op{from, t->texts.n - from, first_value, array};
}

// The node after k in the order of first occurrence within the subtree of
// `top`, -1 after the last.
static int32_t next_in(const Tree* t, int32_t k, int32_t top) {
    if (t->nodes[k].first_child >= 0) return t->nodes[k].first_child;
    for (; k != top; k = t->nodes[k].parent)
        if (t->nodes[k].next >= 0) return t->nodes[k].next;
    return -1;
}

// A node that is both a value and an object: its members with their names
// as given from its part on.
static void put_flat(Tree* t, int32_t top, const JsonWriting& how) {
    size_t at = t->nodes[top].at;
    for (int32_t k = top; k >= 0; k = next_in(t, k, top)) {
        int32_t v = t->nodes[k].first_value;
        if (v < 0) continue;
        if (k != top) t->texts.put(',');
        put_key(t, t->names + t->name_at[v] + at, t->name_lengths[v] - at);
        put_op(t, v, how);
    }
}

static void make_ops(Tree* t, const JsonWriting& how) {
    t->texts.n = 0;
    t->nops = 0;
    t->texts.put('{');
    for (int32_t k = t->nodes[0].first_child; k >= 0;) {
        const Node& node = t->nodes[k];
        if (node.flat) {
            put_flat(t, k, how);
        } else {
            put_key(t, node.part, node.length);
            if (node.first_child >= 0) {
                t->texts.put(":{", 2);
                k = node.first_child;
                continue;
            }
            put_op(t, node.first_value, how);
        }
        // The next sibling, closing the objects left.
        for (; t->nodes[k].next < 0 && k != 0; k = t->nodes[k].parent)
            if (t->nodes[k].parent != 0) t->texts.put('}');
        k = k == 0 ? -1 : t->nodes[k].next;
        if (k >= 0) t->texts.put(',');
    }
    t->texts.put('}');
    grow_table(t->texts.p, t->texts.cap, t->texts.n + 16);  // room for put_text's last move
}

// The tree of the record's names, found among the kept ones or built in
// place of the one used longest ago, first in the order from now on.
static const Tree& tree_of(const Field* rec, const JsonWriting& how) {
    size_t nfields = size_t(record_end(rec) - rec);
    int i = 0;
    bool found = false;
    while (i < TREES && !(found = same_names(*order[i], rec, nfields))) ++i;
    if (!found) --i;
    Tree* t = order[i];
    for (; i > 0; --i) order[i] = order[i - 1];
    order[0] = t;
    if (!found) {
        keep_names(t, rec, nfields);
        make_nodes(t, how);
        make_ops(t, how);
    }
    return *t;
}

// Copies a text of the ops: most are short, and go in one 16-byte move
// (the texts and the object have room for it beyond their ends).
static char* put_text(char* o, const char* p, size_t n) {
    if (n <= 16) std::memcpy(o, p, 16);
    else std::memcpy(o, p, n);
    return o + n;
}

// Room for the object: the texts, and the longest form of each character
// of the values (6 bytes: an escape, or UTF-8) with a comma or a bracket.
static char* object_room(const Field* rec, const Tree& t) {
    const Field* end = record_end(rec);
    size_t n = t.texts.n + 6 * size_t(end->end - rec->start) + 2 * size_t(end - rec) + 32;
    return grow_table(json.p, json.cap, n);
}

bool json_write_record(const Field* rec, const JsonWriting& how) {
    const Tree& t = tree_of(rec, how);
    char* start = object_room(rec, t);
    char* o = start;
    const char* texts = t.texts.p;
    for (size_t i = 0; i < t.nops; ++i) {
        const Op& op = t.ops[i];
        o = put_text(o, texts + op.text_at, op.text_length);
        for (int32_t v = op.first_value; v >= 0; v = t.next_value[v]) {
            o = write_value(o, &rec[v], how);
            if (t.next_value[v] >= 0) *o++ = ',';
        }
        if (op.array) *o++ = ']';
    }
    size_t end_at = t.nops == 0 ? 0 : t.ops[t.nops - 1].text_at + t.ops[t.nops - 1].text_length;
    o = put_text(o, texts + end_at, t.texts.n - end_at);
    out_bytes(start, size_t(o - start));
    return t.whole;
}
