// The regular-expression engine. The compiler parses the pattern twice by
// recursive descent: the first pass counts the words of the program and
// checks the syntax, the second emits it. The matcher walks the program with
// an explicit stack of choice points, so neither the length of the subject
// nor the shape of the pattern can exhaust the native stack.
#include "wregex.h"

#include <cstdlib>
#include <cstring>
#include <cwctype>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

enum Op : uint32_t {
    END = 0,
    LINE_START = 1,
    LINE_END = 2,
    ANY_CHAR = 3,
    ANY_OF = 4,
    ANY_BUT = 5,
    BRANCH = 6,
    LOOP_BACK = 7,
    LITERAL = 8,
    EMPTY = 9,
    REPEAT_STAR = 10,
    REPEAT_PLUS = 11,
    OPEN = 20,   // OPEN + n, n = 1..9
    CLOSE = 30,  // CLOSE + n
};

constexpr uint32_t MAGIC = 156;
constexpr uint32_t RANGE = 0xFFFF;  // in a set: from the entry before to the entry after
constexpr long MAX_WORDS = 32767;

// Flags of a parsed piece.
enum { HAS_WIDTH = 1, SIMPLE = 2, STARTS_REPEAT = 4, WORST = 0 };

bool is_meta(wchar_t c) { return c != 0 && std::wcschr(L"^$.[()|?+*\\", c) != nullptr; }
bool is_repeat(wchar_t c) { return c == L'*' || c == L'+' || c == L'?'; }

// ---------------------------------------------------------------------------
// Compiler

struct Compiler {
    const wchar_t* parse;  // position in the pattern
    int groups;            // groups so far, plus one
    bool counting;         // first pass: only count
    long size;             // words counted
    uint32_t* code;        // the program (second pass)
    long emit;             // next word to emit
    bool failed = false;
    bool fold = false;     // compile for subjects in lower case (case-blind)

    long fail(const char* message) {
        if (!failed) wreg_error(message);
        failed = true;
        return -1;
    }

    uint32_t op(long node) const { return code[node]; }
    long next(long node) const {
        uint32_t offset = code[node + 1];
        if (offset == 0) return -1;
        return op(node) == LOOP_BACK ? node - long(offset) : node + long(offset);
    }

    long node(uint32_t op) {
        if (counting) {
            size += 2;
            return 0;
        }
        long at = emit;
        code[emit++] = op;
        code[emit++] = 0;
        return at;
    }
    void word(uint32_t w) {
        if (counting)
            ++size;
        else
            code[emit++] = w;
    }
    // Puts a node in front of the operand that starts at `at`.
    void insert(uint32_t op, long at) {
        if (counting) {
            size += 2;
            return;
        }
        std::memmove(code + at + 2, code + at, sizeof(uint32_t) * size_t(emit - at));
        emit += 2;
        code[at] = op;
        code[at + 1] = 0;
    }
    // Links the last node of the chain from p to val.
    void tail(long p, long val) {
        if (counting) return;
        long scan = p;
        for (long t; (t = next(scan)) >= 0;) scan = t;
        code[scan + 1] = uint32_t(op(scan) == LOOP_BACK ? scan - val : val - scan);
    }
    // tail() on the operand of a BRANCH.
    void operand_tail(long p, long val) {
        if (counting || p < 0 || op(p) != BRANCH) return;
        tail(p + 2, val);
    }

    // A character of a literal: in lower case when folding.
    uint32_t literal(wchar_t c) const { return uint32_t(fold ? wchar_t(std::towlower(wint_t(c))) : c); }
    // Adds to a set the lower-case forms of its members from..to, as runs:
    // a subject in lower case matches the set when a member's lower-case
    // form is its character. False when the program grows too big.
    bool fold_members(uint32_t from, uint32_t to) {
        if (!fold) return true;
        uint32_t first = 0, last = 0;  // the run being gathered, first 0: none
        if (to > 0x10FFFF) to = 0x10FFFF;  // no cases beyond
        for (uint32_t v = from; v <= to; ++v) {
            uint32_t l = uint32_t(std::towlower(wint_t(v)));
            if (l == v) continue;
            if (first != 0 && l == last + 1) {
                last = l;
                continue;
            }
            if (first != 0) run(first, last);
            first = last = l;
            if (counting && size >= MAX_WORDS) return false;
        }
        if (first != 0) run(first, last);
        return true;
    }
    void run(uint32_t first, uint32_t last) {
        word(first);
        if (first == last) return;
        word(RANGE);
        word(last);
    }

    long alternation(bool paren, int* flags);
    long branch(int* flags);
    long piece(int* flags);
    long atom(int* flags);
    long bracket_set();
    long literal_run(int* flags);
};

long Compiler::alternation(bool paren, int* flags) {
    *flags = HAS_WIDTH;
    long ret = -1;
    int group = 0;
    if (paren) {
        if (groups >= WREG_GROUPS) return fail("too many ()");
        group = groups++;
        ret = node(OPEN + group);
    }
    int f;
    long br = branch(&f);
    if (br < 0) return -1;
    if (ret >= 0)
        tail(ret, br);
    else
        ret = br;
    if (!(f & HAS_WIDTH)) *flags &= ~HAS_WIDTH;
    *flags |= f & STARTS_REPEAT;
    while (*parse == L'|') {
        ++parse;
        br = branch(&f);
        if (br < 0) return -1;
        tail(ret, br);
        if (!(f & HAS_WIDTH)) *flags &= ~HAS_WIDTH;
        *flags |= f & STARTS_REPEAT;
    }
    long ender = node(paren ? CLOSE + group : END);
    tail(ret, ender);
    if (!counting)
        for (long b = ret; b >= 0; b = next(b)) operand_tail(b, ender);
    if (paren) {
        if (*parse++ != L')') return fail("unmatched ()");
    } else if (*parse != 0) {
        return fail("unmatched ()");  // only a ')' can stop the top level early
    }
    return ret;
}

long Compiler::branch(int* flags) {
    *flags = WORST;
    long ret = node(BRANCH);
    long chain = -1;
    bool any = false;
    while (*parse != 0 && *parse != L'|' && *parse != L')') {
        int f;
        long latest = piece(&f);
        if (latest < 0) return -1;
        *flags |= f & HAS_WIDTH;
        if (!any)
            *flags |= f & STARTS_REPEAT;
        else
            tail(chain, latest);
        chain = latest;
        any = true;
    }
    if (!any) node(EMPTY);
    return ret;
}

long Compiler::piece(int* flags) {
    int f;
    long ret = atom(&f);
    if (ret < 0) return -1;
    wchar_t op = *parse;
    if (!is_repeat(op)) {
        *flags = f;
        return ret;
    }
    if (!(f & HAS_WIDTH) && op != L'?') return fail("*+ operand could be empty");
    *flags = op != L'+' ? (WORST | STARTS_REPEAT) : (WORST | HAS_WIDTH);
    if (op == L'*' && (f & SIMPLE)) {
        insert(REPEAT_STAR, ret);
    } else if (op == L'*') {
        // x* as a branch of x looping back to itself, or nothing.
        insert(BRANCH, ret);
        operand_tail(ret, node(LOOP_BACK));
        operand_tail(ret, ret);
        tail(ret, node(BRANCH));
        tail(ret, node(EMPTY));
    } else if (op == L'+' && (f & SIMPLE)) {
        insert(REPEAT_PLUS, ret);
    } else if (op == L'+') {
        // x+ as x followed by a branch looping back to x, or nothing.
        long next_branch = node(BRANCH);
        tail(ret, next_branch);
        tail(node(LOOP_BACK), ret);
        tail(next_branch, node(BRANCH));
        tail(ret, node(EMPTY));
    } else {
        // x? as a branch of x or nothing.
        insert(BRANCH, ret);
        tail(ret, node(BRANCH));
        long nothing = node(EMPTY);
        tail(ret, nothing);
        operand_tail(ret, nothing);
    }
    ++parse;
    if (is_repeat(*parse)) return fail("nested *?+");
    return ret;
}

// A set after its '[': ANY_OF or, with '^', ANY_BUT, then its members (a
// range as from, RANGE, to), ended by 0.
long Compiler::bracket_set() {
    long ret;
    if (*parse == L'^') {
        ret = node(ANY_BUT);
        ++parse;
    } else {
        ret = node(ANY_OF);
    }
    if (*parse == L']' || *parse == L'-') word(uint32_t(*parse++));
    while (*parse != 0 && *parse != L']') {
        uint32_t from, to;
        if (*parse == L'-') {
            ++parse;
            if (*parse == L']' || *parse == 0) {
                word(L'-');
                continue;
            }
            from = uint32_t(parse[-2]) + 1, to = uint32_t(*parse);
            if (from > to + 1) return fail("invalid [] range");
            word(from);
            word(RANGE);
            word(to);
            ++parse;
        } else {
            from = to = uint32_t(*parse);
            word(uint32_t(*parse++));
        }
        if (!fold_members(from, to)) return fail("wregexp too big");
    }
    word(0);
    if (*parse != L']') return fail("unmatched []");
    ++parse;
    return ret;
}

// A run of ordinary characters as one LITERAL node.
long Compiler::literal_run(int* flags) {
    size_t len = 0;
    while (parse[len] != 0 && !is_meta(parse[len])) ++len;
    // The last character of a run that a repetition follows is an atom
    // of its own.
    if (len > 1 && is_repeat(parse[len])) --len;
    *flags |= HAS_WIDTH;
    if (len == 1) *flags |= SIMPLE;
    long ret = node(LITERAL);
    for (; len > 0; --len) word(literal(*parse++));
    word(0);
    return ret;
}

long Compiler::atom(int* flags) {
    *flags = WORST;
    long ret;
    wchar_t c = *parse++;
    switch (c) {
    case L'^':
        ret = node(LINE_START);
        break;
    case L'$':
        ret = node(LINE_END);
        break;
    case L'.':
        ret = node(ANY_CHAR);
        *flags |= HAS_WIDTH | SIMPLE;
        break;
    case L'[':
        ret = bracket_set();
        if (ret < 0) return -1;
        *flags |= HAS_WIDTH | SIMPLE;
        break;
    case L'(': {
        int f;
        ret = alternation(true, &f);
        if (ret < 0) return -1;
        *flags |= f & (HAS_WIDTH | STARTS_REPEAT);
        break;
    }
    case 0:
    case L'|':
    case L')':
        --parse;
        return fail(c == L')' ? "unmatched ()" : "internal disaster");
    case L'?':
    case L'+':
    case L'*':
        return fail("?+* follows nothing");
    case L'\\':
        if (*parse == 0) return fail("trailing \\");
        ret = node(LITERAL);
        word(literal(*parse++));
        word(0);
        *flags |= HAS_WIDTH | SIMPLE;
        break;
    default:
        --parse;
        ret = literal_run(flags);
        break;
    }
    return ret;
}

size_t literal_length(const uint32_t* p) {
    size_t n = 0;
    while (p[n]) ++n;
    return n;
}

}  // namespace

// Numbers the nodes of a compiled program in the order they stand: a node
// is its opcode and next words, then a character run or a set ending in a
// zero word for LITERAL, ANY_OF and ANY_BUT, nothing for the others (the
// simple node of a repetition follows it as a node of its own).
static void number_nodes(wregexp* r) {
    uint32_t* index = r->program + r->program_words;
    const uint32_t* code = r->program;
    int n = 0;
    index[0] = 0;  // the magic word
    for (long w = 1; w < r->program_words;) {
        uint32_t op = code[w];
        index[w] = uint32_t(n++);
        index[w + 1] = 0;
        long end = w + 2;
        if (op == LITERAL || op == ANY_OF || op == ANY_BUT) {
            while (code[end] != 0) index[end++] = 0;
            index[end++] = 0;
        }
        w = end;
    }
    r->node_index = index;
    r->node_count = n;
}

wregexp* wregcomp(const wchar_t* pattern) { return wregcomp_case(pattern, false); }

void wreg_fold(wchar_t* to, const wchar_t* from, const wchar_t* end) {
    for (; from < end; ++from, ++to) *to = wchar_t(std::towlower(wint_t(*from)));
}

// The fields that let the matcher skip hopeless positions, from the
// emitted program of a single top-level branch (none for several): its
// first character or anchor, and the literals every match contains.
static void find_hints(wregexp* r, const Compiler& c, int flags) {
    long scan = 1;  // the first BRANCH
    if (c.next(scan) < 0 || c.op(c.next(scan)) != END) return;
    scan += 2;
    if (c.op(scan) == LITERAL) {
        r->first_char = wchar_t(r->program[scan + 2]);
        r->literal_only = c.next(scan) >= 0 && c.op(c.next(scan)) == END;
    }
    else if (c.op(scan) == LINE_START)
        r->anchored = 1;
    // The literals met along the next links from the branch's first node
    // are in every match (the insides of repetitions, alternatives and
    // groups are not visited). The longest, the later on equal length,
    // is must_text when the branch starts with a repetition, and is the
    // required literal in any case.
    size_t best = 0;
    for (; scan >= 0; scan = c.next(scan))
        if (c.op(scan) == LITERAL && literal_length(r->program + scan + 2) >= best) {
            r->required_text = r->program + scan + 2;
            best = literal_length(r->required_text);
        }
    r->required_length = int(best);
    if (flags & STARTS_REPEAT) {
        r->must_text = r->required_text;
        r->must_length = r->required_length;
    }
}

wregexp* wregcomp_case(const wchar_t* pattern, bool fold) {
    if (pattern == nullptr) {
        wreg_error("NULL argument");
        return nullptr;
    }
    Compiler c{pattern, 1, true, 0, nullptr, 0};
    c.fold = fold;
    int flags;
    c.word(MAGIC);
    if (c.alternation(false, &flags) < 0) return nullptr;
    if (c.size >= MAX_WORDS) {
        wreg_error("wregexp too big");
        return nullptr;
    }
    // The block: the fixed part, the program, and the node numbers of its words.
    wregexp* r = static_cast<wregexp*>(std::malloc(sizeof(wregexp) + 2 * sizeof(uint32_t) * size_t(c.size)));
    if (r == nullptr) {
        wreg_error("out of space");
        return nullptr;
    }
    r->program = reinterpret_cast<uint32_t*>(r + 1);
    c = Compiler{pattern, 1, false, 0, r->program, 0};
    c.fold = fold;
    c.word(MAGIC);
    c.alternation(false, &flags);
    for (int i = 0; i < WREG_GROUPS; ++i) r->match_start[i] = r->match_end[i] = nullptr;
    r->first_char = 0;
    r->anchored = 0;
    r->must_text = nullptr;
    r->must_length = 0;
    r->required_text = nullptr;
    r->required_length = 0;
    r->literal_only = 0;
    r->program_words = int(c.emit);
    number_nodes(r);
    find_hints(r, c, flags);
    return r;
}

// ---------------------------------------------------------------------------
// Matcher

void wreg_report_error(const char* message) { warn(WARN_ERROR, "regular expression error (%s).\n", message); }
void (*wreg_error)(const char* message) = wreg_report_error;

unsigned long wreg_step_limit = 0;
bool wreg_backtrack_only = false;
bool wreg_gave_up = false;

namespace {

// A choice point or an undo record on the matcher's stack.
// Sixteen bytes, since a long subject may need millions of them.
struct Choice {
    enum Kind : uint32_t { ALTERNATIVE, REPEAT, UNDO_START, UNDO_END };
    const wchar_t* pos;  // position to resume at, or the value to restore
    uint32_t tag;        // kind (top two bits), least count (bit 29), node or group
    uint32_t count;      // REPEAT (whose node is the repetition's): the next count to try

    static constexpr uint32_t NONE = 0x1FFFFFFF;  // no node
    static Choice make(Kind k, long a, const wchar_t* pos, uint32_t count = 0, uint32_t min = 0) {
        return Choice{pos, uint32_t(k) << 30 | min << 29 | (a < 0 ? NONE : uint32_t(a)), count};
    }
    Kind kind() const { return Kind(tag >> 30); }
    long a() const { return (tag & NONE) == NONE ? -1 : long(tag & NONE); }
    uint32_t min() const { return tag >> 29 & 1; }
};

unsigned long steps_left = 0;  // of the current match, when wreg_step_limit is set

// The matcher's stack outlives a match, so that matching many short texts
// allocates nothing.
Choice* stack = nullptr;
size_t capacity = 0;

// The states already run in the current wregexec, a bit per program node
// and subject position; kept, like the stack, from match to match.
uint64_t* seen_bits = nullptr;
size_t seen_capacity = 0;  // in 64-bit words

struct Matcher {
    wregexp* expr;
    const uint32_t* code;
    const wchar_t* line_start;
    size_t depth = 0;
    bool broken = false;
    // Only what every match needs is set here; the rest is set before use.
    const wchar_t* line_end;  // the subject's terminating 0, when known
    Matcher(wregexp* e, const wchar_t* subject, const wchar_t* end)
        : expr(e), code(e->program), line_start(subject), line_end(end) {}
    // The memory of states run, set up after a few failures of a match (most
    // matches of short texts end with fewer, and a bounded number of steps
    // before it costs a bounded amount of time): null until then, and for
    // good when backtracking alone is wanted or no memory is left.
    uint64_t* seen = nullptr;
    bool may_remember = !wreg_backtrack_only;
    int failures_before_memory = 8;
    long resume_node;  // where the failure that set the memory up stood
    const wchar_t* resume_pos;
    bool limited = wreg_backtrack_only && wreg_step_limit;  // the step limit binds the reference alone

    size_t bit(long node, const wchar_t* pos) const {
        return size_t(pos - line_start) * size_t(expr->node_count) + expr->node_index[node];
    }
    bool was_seen(long node, const wchar_t* pos) const {
        size_t b = bit(node, pos);
        return seen[b >> 6] >> (b & 63) & 1;
    }
    // Marks the state; true when it was marked before.
    bool visit(long node, const wchar_t* pos) {
        size_t b = bit(node, pos);
        uint64_t m = uint64_t(1) << (b & 63);
        bool was = seen[b >> 6] & m;
        seen[b >> 6] |= m;
        return was;
    }
    void remember() {
        may_remember = false;
        size_t length = line_end ? size_t(line_end - line_start) : std::wcslen(line_start);
        size_t words = ((length + 1) * size_t(expr->node_count) + 63) / 64;
        if (words > seen_capacity) {
            uint64_t* grown = static_cast<uint64_t*>(std::realloc(seen_bits, words * sizeof(uint64_t)));
            if (grown == nullptr) {  // without it the time could grow exponentially: no match
                wreg_error("out of space");
                broken = true;
                return;
            }
            seen_bits = grown;
            seen_capacity = words;
        }
        std::memset(seen_bits, 0, words * sizeof(uint64_t));
        seen = seen_bits;
    }

    // Whether the node matches one character: a literal (by its first
    // character), any character, or a set.
    bool simple(long node) const {
        uint32_t op = code[node];
        return op == LITERAL || op == ANY_CHAR || op == ANY_OF || op == ANY_BUT;
    }
    // Whether the simple node matches the character c (not the final zero).
    bool one(long node, wchar_t c) const {
        const uint32_t* operand = code + node + 2;
        switch (code[node]) {
        case ANY_CHAR: return c != 0;
        case LITERAL: return c != 0 && uint32_t(c) == operand[0];
        case ANY_OF: return c != 0 && in_set(operand, c);
        case ANY_BUT: return c != 0 && !in_set(operand, c);
        }
        return false;
    }

    // How many characters in a row from pos the repetition `rep` takes, up
    // to a position of the run where it ran before: everything from there on
    // has failed, so the count ends there.
    long unseen_count(long rep, const wchar_t* pos) {
        long operand = rep + 2;
        if (!simple(operand)) return long(count(operand, pos));  // which reports the damage
        const wchar_t* p = pos;
        while (one(operand, *p)) {
            ++p;
            if (was_seen(rep, p)) break;
        }
        return long(p - pos);
    }

    // The repetition `rep` at pos failed with every count: so does it at
    // each later position of the run, whose counts are among those tried.
    void fail_run(long rep, const wchar_t* pos) {
        long operand = rep + 2;
        for (const wchar_t* p = pos; one(operand, *p) && !visit(rep, p + 1); ++p) {
        }
    }

    bool push(const Choice& c) {
        if (depth == capacity) {
            size_t n = capacity ? capacity * 2 : 256;
            Choice* s = static_cast<Choice*>(std::realloc(stack, n * sizeof(Choice)));
            if (s == nullptr) {
                wreg_error("out of space");
                broken = true;
                return false;
            }
            stack = s;
            capacity = n;
        }
        stack[depth++] = c;
        return true;
    }

    long next(long node) const {
        uint32_t offset = code[node + 1];
        if (offset == 0) return -1;
        return code[node] == LOOP_BACK ? node - long(offset) : node + long(offset);
    }

    // An entry followed by the marker starts a range (and is no member by
    // itself: the range a-a holds a, then the empty range b..a).
    static bool in_set(const uint32_t* set, wchar_t c) {
        uint32_t v = uint32_t(c);
        for (const uint32_t* p = set; *p; ++p) {
            if (p[1] == RANGE && p[2] != 0) {
                if (p[0] <= v && v <= p[2]) return true;
                p += 2;
            } else if (*p == v) {
                return true;
            }
        }
        return false;
    }

    // Whether the alternative of the BRANCH node b can begin at pos: false
    // only when its first node is a character matcher that fails there.
    bool can_start(long b, const wchar_t* pos) const {
        long first = b + 2;
        return !simple(first) || one(first, *pos);
    }

    // How many characters in a row from pos the simple node matches.
    size_t count(long node, const wchar_t* pos) {
        const wchar_t* p = pos;
        const uint32_t* operand = code + node + 2;
        switch (code[node]) {
        case ANY_CHAR:
            while (*p) ++p;
            break;
        case LITERAL:
            while (*p && uint32_t(*p) == operand[0]) ++p;
            break;
        case ANY_OF:
            while (*p && in_set(operand, *p)) ++p;
            break;
        case ANY_BUT:
            while (*p && !in_set(operand, *p)) ++p;
            break;
        default:
            wreg_error("internal foulup");
            broken = true;
            return 0;
        }
        return size_t(p - pos);
    }

    // The largest count from `from` down to `min` after which the rest may
    // start (the next node's literal must begin there), or -1.
    long usable_count(long after, const wchar_t* base, long from, long min) const {
        if (after >= 0 && code[after] == LITERAL) {
            uint32_t first = code[after + 2];
            for (long c = from; c >= min; --c)
                if (uint32_t(base[c]) == first) return c;
            return -1;
        }
        return from >= min ? from : -1;
    }

    // Runs the program from the first node at pos; on success *end is where
    // it ended. Without the memory of states first; with it from the failure
    // that sets it up on, resumed at that failure.
    bool run(const wchar_t* pos, const wchar_t** end) {
        depth = 0;
        long node = 1;
        if (seen) return loop<true>(node, pos, end, false) == MATCHED;
        int r = loop<false>(node, pos, end, false);
        if (r != REMEMBER) return r == MATCHED;
        remember();
        return seen && loop<true>(resume_node, resume_pos, end, true) == MATCHED;
    }

    // The steps of the loop below that do more than compare a character.
    // Each returns whether matching goes on (false: back to the latest
    // choice) and sets `broken` when the match must end.

    // A BRANCH: the first alternative that can start at pos, with a choice
    // of the next one that can kept on the stack; a lone alternative is
    // entered as it is.
    [[gnu::always_inline]] bool branch(long& node, const wchar_t* pos) {
        long alt = next(node);
        if (alt < 0 || code[alt] != BRANCH) {
            node += 2;
            return true;
        }
        long b = node;
        while (b >= 0 && code[b] == BRANCH && !can_start(b, pos)) b = next(b);
        if (b < 0 || code[b] != BRANCH) return false;
        long v = next(b);
        while (v >= 0 && code[v] == BRANCH && !can_start(v, pos)) v = next(v);
        if (v >= 0 && code[v] == BRANCH && !push(Choice::make(Choice::ALTERNATIVE, v, pos))) return false;
        node = b + 2;
        return true;
    }

    // A repetition of a simple node: the most characters after which the
    // rest may start, with a choice of fewer kept on the stack.
    template <bool M>
    [[gnu::always_inline]] bool repeat(uint32_t op, long& node, const wchar_t*& pos) {
        long min = op == REPEAT_PLUS ? 1 : 0;
        long n = M ? unseen_count(node, pos) : long(count(node + 2, pos));
        if (broken) return false;
        long after = next(node);
        long c = usable_count(after, pos, n, min);
        if (c < 0) {
            if (M) fail_run(node, pos);
            return false;
        }
        // With the memory of states the choice stays until every count
        // failed, which then marks the run.
        if ((c > min || M) && !push(Choice::make(Choice::REPEAT, node, pos, uint32_t(c - 1), uint32_t(min))))
            return false;
        pos += c;
        node = after;
        return true;
    }

    // OPEN n or CLOSE n: the group's start or end is pos, and the old one is
    // kept on the stack to be restored when matching backs over it.
    [[gnu::always_inline]] bool mark_group(uint32_t op, long& node, const wchar_t* pos) {
        if (op > OPEN && op < uint32_t(OPEN) + WREG_GROUPS) {
            int g = int(op - OPEN);
            if (!push(Choice::make(Choice::UNDO_START, g, expr->match_start[g]))) return false;
            expr->match_start[g] = pos;
        } else if (op > CLOSE && op < uint32_t(CLOSE) + WREG_GROUPS) {
            int g = int(op - CLOSE);
            if (!push(Choice::make(Choice::UNDO_END, g, expr->match_end[g]))) return false;
            expr->match_end[g] = pos;
        } else {
            wreg_error("memory corruption");
            broken = true;
            return false;
        }
        node = next(node);
        return true;
    }

    enum { FAILED, MATCHED, REMEMBER };
    // The matcher's loop from node at pos, or from the backtracking of a
    // failure there when `failing`. M: with the memory of states. Without
    // it, returns REMEMBER at the failure that should set the memory up.
    template <bool M>
    int loop(long node, const wchar_t* pos, const wchar_t** end, bool failing) {
        if (failing && !back<M>(node, pos)) return FAILED;
        for (;;) {
            if (limited && steps_left-- == 0) {
                wreg_gave_up = broken = true;
                return FAILED;
            }
            if (node < 0) {
                wreg_error("corrupted pointers");
                broken = true;
                return FAILED;
            }
            bool ok = true;
            uint32_t op = code[node];
            const uint32_t* operand = code + node + 2;
            if (M && visit(node, pos)) op = ~0u;  // has failed before
            switch (op) {
            case ~0u:
                ok = false;
                break;
            case END:
                *end = pos;
                return MATCHED;
            case LINE_START:
                ok = pos == line_start;
                node = next(node);
                break;
            case LINE_END:
                ok = *pos == 0;
                node = next(node);
                break;
            case ANY_CHAR:
                ok = *pos != 0;
                ++pos;
                node = next(node);
                break;
            case ANY_OF:
            case ANY_BUT:
                ok = *pos != 0 && in_set(operand, *pos) == (op == ANY_OF);
                ++pos;
                node = next(node);
                break;
            case LITERAL: {
                size_t i = 0;
                for (; operand[i]; ++i)
                    if (uint32_t(pos[i]) != operand[i]) break;
                ok = operand[i] == 0;
                pos += i;
                node = next(node);
                break;
            }
            case BRANCH:
                ok = branch(node, pos);
                if (!ok && broken) return FAILED;
                break;
            case EMPTY:
            case LOOP_BACK:
                node = next(node);
                break;
            case REPEAT_STAR:
            case REPEAT_PLUS:
                ok = repeat<M>(op, node, pos);
                if (!ok && broken) return FAILED;
                break;
            default:
                ok = mark_group(op, node, pos);
                if (!ok && broken) return FAILED;
                break;
            }
            if (ok) continue;
            if (!M && may_remember && --failures_before_memory == 0) {
                resume_node = node;
                resume_pos = pos;
                return REMEMBER;
            }
            if (!back<M>(node, pos)) return FAILED;
        }
    }

    // Back to the latest choice, undoing group records on the way: node and
    // pos are set to where matching goes on; false when no choice is left.
    template <bool M>
    bool back(long& node, const wchar_t*& pos) {
        for (;;) {
            if (depth == 0) return false;
            Choice& ch = stack[depth - 1];
            Choice::Kind kind = ch.kind();
            if (kind == Choice::UNDO_START) {
                expr->match_start[ch.a()] = ch.pos;
                --depth;
            } else if (kind == Choice::UNDO_END) {
                expr->match_end[ch.a()] = ch.pos;
                --depth;
            } else if (kind == Choice::ALTERNATIVE) {
                node = ch.a();
                pos = ch.pos;
                --depth;
                return true;
            } else {
                long after = next(ch.a());
                long c = ch.count == uint32_t(-1) ? -1 : usable_count(after, ch.pos, long(ch.count), long(ch.min()));
                if (c < 0) {
                    if (M) fail_run(ch.a(), ch.pos);
                    --depth;
                    continue;
                }
                pos = ch.pos + c;
                node = after;
                if (c > long(ch.min()) || M)
                    ch.count = uint32_t(c - 1);
                else
                    --depth;
                return true;
            }
        }
    }

    // A failed try undoes every group it recorded, so the groups are still
    // clear when the next try starts.
    bool try_at(const wchar_t* pos) {
        const wchar_t* end;
        if (!run(pos, &end)) return false;
        expr->match_start[0] = pos;
        expr->match_end[0] = end;
        return true;
    }
};

}  // namespace

static const wchar_t* wreg_find_last_required(const wregexp* expr, const wchar_t* text, size_t n);

// The next occurrence of c from p, or null at the terminating zero. Subjects
// are mostly short field texts, where a plain loop beats the library call.
static inline const wchar_t* find_char(const wchar_t* p, wchar_t c) {
    for (; *p != c; ++p)
        if (*p == 0) return nullptr;
    return p;
}

// A plain text: its first occurrence is the match. (The reference matcher
// runs its program instead.) Having no groups, it never sets the others.
static inline int match_literal(wregexp* expr, const wchar_t* subject, const wchar_t* end) {
    expr->match_start[0] = expr->match_end[0] = nullptr;
    if (end == nullptr) end = subject + std::wcslen(subject);
    const wchar_t* p = subject;
    wchar_t c = wchar_t(expr->required_text[0]);
    if (expr->required_length == 1) {
        // Most delimiters are one character and near: a plain look at
        // the first few characters before the library's search.
        for (const wchar_t* stop = end - subject > 16 ? subject + 16 : end; p < stop && *p != c;) ++p;
    }
    if (p == end || *p != c || expr->required_length > 1) {
        p = wreg_find_required(expr, p, size_t(end - p));
        if (p == nullptr) return 0;
    }
    expr->match_start[0] = p;
    expr->match_end[0] = p + expr->required_length;
    return 1;
}

// Whether the subject holds must_text, which every match contains.
static inline bool contains_must_text(const wregexp* expr, const wchar_t* subject) {
    bool found = false;
    wchar_t first = wchar_t(expr->must_text[0]);
    for (const wchar_t* p = find_char(subject, first); p && !found; p = find_char(p + 1, first)) {
        int i = 0;
        while (i < expr->must_length && uint32_t(p[i]) == expr->must_text[i]) ++i;
        found = i == expr->must_length;
    }
    return found;
}

int wregexec(wregexp* expr, const wchar_t* subject) { return wregexec_until(expr, subject, nullptr); }

int wregexec_until(wregexp* expr, const wchar_t* subject, const wchar_t* end) {
    wreg_gave_up = false;
    if (expr == nullptr || subject == nullptr) {
        wreg_error("NULL parameter");
        return 0;
    }
    if (expr->program[0] != MAGIC) {
        wreg_error("corrupted program");
        return 0;
    }
    if (expr->literal_only && !wreg_backtrack_only) return match_literal(expr, subject, end);
    if (expr->must_text && !contains_must_text(expr, subject)) return 0;
    // A match contains the required literal, so it starts at or before the
    // literal's last occurrence: no later position is tried (this keeps a
    // pattern such as a.*b linear on a long run of a without b).
    const wchar_t* last_start = nullptr;
    if (expr->required_text) {
        size_t n = end ? size_t(end - subject) : std::wcslen(subject);
        last_start = wreg_find_last_required(expr, subject, n);
        if (last_start == nullptr) return 0;
    }
    for (int i = 0; i < WREG_GROUPS; ++i) expr->match_start[i] = expr->match_end[i] = nullptr;
    steps_left = wreg_step_limit;
    Matcher m(expr, subject, end);
    if (expr->anchored) return m.try_at(subject) ? 1 : 0;
    if (expr->first_char) {
        for (const wchar_t* p = find_char(subject, expr->first_char); p && (!last_start || p <= last_start);
             p = find_char(p + 1, expr->first_char)) {
            if (m.try_at(p)) return 1;
            if (m.broken) return 0;
        }
        return 0;
    }
    for (const wchar_t* p = subject; !last_start || p <= last_start; ++p) {
        if (m.try_at(p)) return 1;
        if (m.broken || *p == 0) return 0;
    }
    return 0;
}

namespace {

// The subject may lie in the area the new text grows in: the match and the
// text start follow a growth.
int relocate_match(void* expr, void* textstart, Area* area) {
    wregexp* e = static_cast<wregexp*>(expr);
    for (int i = 0; e && i < WREG_GROUPS; ++i) {
        area_relocate_cell(&e->match_start[i], area);
        area_relocate_cell(&e->match_end[i], area);
    }
    area_relocate_cell(static_cast<const wchar_t**>(textstart), area);
    return 0;
}

}  // namespace

bool wregsub_part(wregexp* expr, const wchar_t* tmpl, const wchar_t* textstart, wchar_t** result, Area* area) {
    Relocated<wchar_t, const wchar_t> cells(result, area, &tmpl);
    PactScope match(0, relocate_match, expr, &textstart, area);
    area_align(sizeof(wchar_t), area);
    // The source is read only after the room is made, since making it may
    // move the subject (the pacts translate the pointers read here).
    auto append_from = [&](const wchar_t* const* source, size_t n) {
        if (n == 0) return;
        wchar_t* d = static_cast<wchar_t*>(area_extend(n * sizeof(wchar_t), result, area));
        std::wmemcpy(d, *source, n);
    };
    auto append = [&](const wchar_t* p, size_t n) { append_from(&p, n); };
    const char* problem = nullptr;
    if (expr == nullptr || tmpl == nullptr)
        problem = "NULL parm to wregsub";
    else if (expr->program[0] != MAGIC)
        problem = "damaged wregexp fed to wregsub";
    else if (expr->match_start[0] == nullptr || expr->match_start[0] < textstart)
        problem = "conflict in wregsub";
    if (problem) {
        wreg_error(problem);
        return false;
    }
    append_from(&textstart, size_t(expr->match_start[0] - textstart));
    for (size_t ti = 0; tmpl[ti]; ++ti) {
        const wchar_t* t = tmpl + ti;
        int group = -1;
        if (*t == L'&') {
            group = 0;
        } else if (*t == L'\\' && t[1] >= L'0' && t[1] <= L'9') {
            group = int(t[1] - L'0');
            ++ti;
        } else if (*t == L'\\' && (t[1] == L'\\' || t[1] == L'&')) {
            wchar_t c = t[1];
            ++ti;
            append(&c, 1);
            continue;
        }
        if (group < 0) {
            wchar_t c = *t;
            append(&c, 1);
        } else if (expr->match_start[group] && expr->match_end[group] &&
                   expr->match_end[group] > expr->match_start[group]) {
            append_from(&expr->match_start[group], size_t(expr->match_end[group] - expr->match_start[group]));
        }
    }
    return true;
}

wchar_t* wregsub(wregexp* expr, const wchar_t* tmpl, const wchar_t* textstart, wchar_t** resume, Area* area) {
    wchar_t* result = nullptr;
    const wchar_t zero = 0;
    area_align(sizeof(wchar_t), area);
    bool ok = wregsub_part(expr, tmpl, textstart, &result, area);
    Relocated<wchar_t> cell(&result, area);
    PactScope match(0, relocate_match, expr, &textstart, area);
    if (!ok) {
        *static_cast<wchar_t*>(area_extend(sizeof zero, &result, area)) = zero;
        if (resume) *resume = result;
        return result;
    }
    size_t resume_at = result ? size_t(reinterpret_cast<wchar_t*>(area->head) - result) : 0;
    size_t rest = std::wcslen(expr->match_end[0]) + 1;
    wchar_t* d = static_cast<wchar_t*>(area_extend(rest * sizeof(wchar_t), &result, area));
    std::wmemcpy(d, expr->match_end[0], rest);
    if (resume) *resume = result + resume_at;
    return result;
}

const wchar_t* wreg_find_required(const wregexp* expr, const wchar_t* text, size_t n) {
    const uint32_t* lit = expr->required_text;
    size_t len = size_t(expr->required_length);
    if (lit == nullptr || len == 0) return text;
    if (n < len) return nullptr;
    if (len == 1) return std::wmemchr(text, wchar_t(lit[0]), n);
    const wchar_t* last = text + (n - len);  // the last place an occurrence may start
    const wchar_t* p = text;
    auto here = [&](const wchar_t* q) {
        for (size_t i = 0; i < len; ++i)
            if (uint32_t(q[i]) != lit[i]) return false;
        return true;
    };
#if defined(__SSE2__)
    if (len >= 2) {
        // Candidates are places where the first two characters both agree.
        const __m128i c0 = _mm_set1_epi32(int(lit[0])), c1 = _mm_set1_epi32(int(lit[1]));
        for (; p + 4 <= last + 1; p += 4) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
            unsigned m = unsigned(_mm_movemask_ps(_mm_castsi128_ps(_mm_and_si128(_mm_cmpeq_epi32(a, c0), _mm_cmpeq_epi32(b, c1)))));
            for (; m; m &= m - 1)
                if (here(p + __builtin_ctz(m))) return p + __builtin_ctz(m);
        }
    }
#endif
    for (; p <= last; ++p)
        if (uint32_t(*p) == lit[0] && here(p)) return p;
    return nullptr;
}

// The start of the last occurrence of the required literal in text[0..n).
static const wchar_t* wreg_find_last_required(const wregexp* expr, const wchar_t* text, size_t n) {
    const uint32_t* lit = expr->required_text;
    size_t len = size_t(expr->required_length);
    if (n < len) return nullptr;
    for (const wchar_t* p = text + (n - len);; --p) {
        if (uint32_t(*p) == lit[0]) {
            size_t i = 1;
            while (i < len && uint32_t(p[i]) == lit[i]) ++i;
            if (i == len) return p;
        }
        if (p == text) return nullptr;
    }
}
