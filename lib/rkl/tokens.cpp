// The tokens of an Rkl program: keywords, comments, the operands that
// FIELD, VAR, STATIC, CONST and "{ ... }" introduce, and bare words, which
// the token before them turns into a field name, a constant or a variable,
// or else into the end of the program. Also the process-wide variables.
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "parser.h"

RklVariable* rkl_variables = nullptr;

RklVariable* rkl_variable(const wchar_t* name, int32_t kind) {
    for (RklVariable* v = rkl_variables; v; v = v->next)
        if (v->kind == kind && std::wcscmp(v->name, name) == 0) return v;
    size_t n = std::wcslen(name);
    auto* v = static_cast<RklVariable*>(checked_malloc(offsetof(RklVariable, name) + (n + 1) * sizeof(wchar_t)));
    v->next = rkl_variables;
    v->kind = kind;
    v->assigned = false;
    v->value = RklValue{RKL_STRINGS, 0, nullptr};  // reads as the empty list
    v->block = nullptr;
    std::wmemcpy(v->name, name, n + 1);
    rkl_variables = v;
    return v;
}

namespace {

// ---------------------------------------------------------------------------
// Words. At most one word is live in the words area at a time: each is
// dropped once used, and a word given back stays at the head until taken.

wchar_t* take(RklParser* p) {
    RklWords& w = p->w;
    if (p->ahead.held) {
        p->ahead.held = false;
        w.word_line = p->ahead.line;
        w.word_column = p->ahead.column;
        w.ended = p->ahead.ended;
        return p->ahead.none ? nullptr : reinterpret_cast<wchar_t*>(rkl_at(p->words, p->ahead.at));
    }
    p->before_line = w.word_line;
    p->before_column = w.word_column;
    return rkl_next_word(&w, p->words);
}

void drop(RklParser* p, wchar_t* word) {
    if (word) area_drop(word, p->words);
}

// Un-reads the word just taken (null: the end): messages name the place
// before it again.
void give_back(RklParser* p, wchar_t* word) {
    RklWords& w = p->w;
    if (w.stream == nullptr) {
        if (word) {
            drop(p, word);
            rkl_push_back(&w);
        }
        return;
    }
    p->ahead = {true, word == nullptr, w.ended, word ? rkl_handle(p->words, word) : 0, w.word_line, w.word_column};
    w.word_line = p->before_line;
    w.word_column = p->before_column;
    w.ended = false;  // a word was read before this one
}

bool is(const wchar_t* word, const wchar_t* text) { return word && std::wcscmp(word, text) == 0; }

void complain(RklParser* p, const char* format) {
    char place[64];
    rkl_place(&p->w, place, sizeof place);
    warn(WARN_ERROR, format, place);
}

// ---------------------------------------------------------------------------
// Leaves. The strings of one constant are copied one after the other into
// the names area (wide characters, each 0-terminated), so the constant
// finds them again from the first one's handle and their number.

uintptr_t copy_text(RklParser* p, const wchar_t* text, size_t n, bool colon) {
    area_align(alignof(wchar_t), p->names);
    auto* s = static_cast<wchar_t*>(area_alloc((n + colon + 1) * sizeof(wchar_t), p->names));
    std::wmemcpy(s, text, n);
    if (colon) s[n++] = L':';
    s[n] = 0;
    return rkl_handle(p->names, s);
}

uintptr_t strings_start(RklParser* p) {
    area_align(alignof(wchar_t), p->names);
    return rkl_handle(p->names, p->names->head);
}

uintptr_t constant_leaf(RklParser* p, uintptr_t first, int32_t count) {
    Area* names = p->names;
    area_align(alignof(wchar_t*), names);
    uintptr_t items = rkl_handle(names, area_alloc((count ? count : 1) * sizeof(wchar_t*), names));
    uintptr_t value = rkl_handle(names, area_alloc(sizeof(RklValue), names));
    auto** strings = reinterpret_cast<wchar_t**>(rkl_at(names, items));
    for (int32_t i = 0; i < count; ++i) {
        strings[i] = reinterpret_cast<wchar_t*>(first);
        first += (std::wcslen(reinterpret_cast<wchar_t*>(rkl_at(names, first))) + 1) * sizeof(wchar_t);
    }
    *reinterpret_cast<RklValue*>(rkl_at(names, value)) = RklValue{RKL_STRINGS, count, reinterpret_cast<void*>(items)};
    return rkl_node(p, RKL_CONST, value, 0);
}

// A field name with its qualifiers, name:letters; only n is known.
uintptr_t field_leaf(RklParser* p, const wchar_t* word) {
    const wchar_t* colon = std::wcschr(word, L':');
    size_t n = colon ? size_t(colon - word) : std::wcslen(word);
    int32_t flags = 0;
    if (colon)
        for (const wchar_t* q = colon + 1; *q; ++q) {
            if (*q == L'n')
                flags |= RKL_NUMERIC;
            else
                warn(WARN_ERROR, "unknown qualifier.\n");
        }
    uintptr_t name = copy_text(p, word, n, true);
    area_align(alignof(RklFieldRef), p->names);
    auto* ref = static_cast<RklFieldRef*>(area_alloc(sizeof(RklFieldRef), p->names));
    *ref = RklFieldRef{reinterpret_cast<wchar_t*>(name), int32_t(n + 1), flags};
    return rkl_node(p, RKL_FIELD, rkl_handle(p->names, ref), 0);
}

uintptr_t variable_leaf(RklParser* p, const wchar_t* name, int kind) {
    return rkl_node(p, kind, reinterpret_cast<uintptr_t>(rkl_variable(name, kind)), 0);
}

// What a word that is no keyword means after the token prev.
enum Role { FIELD_NAME, CONSTANT, VARIABLE, NO_ROLE };

Role role_after(int prev) {
    switch (prev) {
    case RKL_END: case RKL_LPAREN: case RKL_OR: case RKL_AND: case RKL_NOT: case RKL_COMMA:
    case RKL_EXISTS: case RKL_COUNT: case RKL_MIN: case RKL_MAX: case RKL_SUM: case RKL_AVG:
    case RKL_ABS: case RKL_INT: case RKL_SQRT: case RKL_EXP: case RKL_LOG: case RKL_LOG10:
    case RKL_SIN: case RKL_COS: case RKL_TAN: case RKL_ATAN: case RKL_CAPS: case RKL_CAT:
    case RKL_LENGTH: case RKL_IF: case RKL_THEN: case RKL_ELIF: case RKL_ELSE: case RKL_WHILE:
    case RKL_DO: case RKL_SEMICOLON:
        return FIELD_NAME;
    case RKL_QX: case RKL_EQ: case RKL_NE: case RKL_GT: case RKL_GE: case RKL_LT: case RKL_LE:
    case RKL_INCL: case RKL_LIKE: case RKL_UNLIKE: case RKL_RANGE: case RKL_PLUS: case RKL_MINUS:
    case RKL_TIMES: case RKL_DIVIDEDBY: case RKL_MOD: case RKL_POWER: case RKL_DOT: case RKL_ASSIGN:
    case RKL_LBRACKET: case RKL_IN: case RKL_SUBST: case RKL_SUBSTG: case RKL_BY:
        return CONSTANT;
    case RKL_FOR:
        return VARIABLE;
    default:
        return NO_ROLE;
    }
}

// The token for a word that is no keyword (RKL_END when it ends the program).
int bare_word(RklParser* p, wchar_t* word, uintptr_t* value) {
    switch (role_after(p->prev)) {
    case FIELD_NAME:
        *value = field_leaf(p, word);
        drop(p, word);
        return RKL_FIELD;
    case CONSTANT: {
        uintptr_t first = copy_text(p, word, std::wcslen(word), false);
        drop(p, word);
        *value = constant_leaf(p, first, 1);
        return RKL_CONST;
    }
    case VARIABLE:
        *value = variable_leaf(p, word, RKL_VAR);
        drop(p, word);
        return RKL_VAR;
    case NO_ROLE:
        break;
    }
    // It cannot continue the program. On the command line it is the first
    // input file; in a program file nothing may follow the program.
    if (p->w.stream) {
        char place[64];
        rkl_place(&p->w, place, sizeof place);
        warn(WARN_ERROR, "unknown token '%ls' at %s.\n", word, place);
        drop(p, word);
    } else {
        give_back(p, word);
    }
    p->done = true;
    return RKL_END;
}

// Skips a comment whose "/*" is `word`, up to its "*/"; a comment still
// open at the end ends the program.
void skip_comment(RklParser* p, wchar_t* word) {
    do {
        drop(p, word);
        word = take(p);
    } while (word && !is(word, L"*/"));
    drop(p, word);
    if (word == nullptr) p->done = true;
}

// The name after FIELD, VAR or STATIC as the token's leaf.
uintptr_t named_leaf(RklParser* p, int token) {
    wchar_t* word = take(p);
    uintptr_t leaf;
    if (token == RKL_FIELD) {
        if (word == nullptr) complain(p, "missing field name after 'FIELD' at %s.\n");
        leaf = field_leaf(p, word ? word : L"");
    } else {
        if (word == nullptr) complain(p, "missing variable name at %s.\n");
        leaf = variable_leaf(p, word ? word : L"", token);
    }
    drop(p, word);
    return leaf;
}

// A word of a constant list: copied as the next string, and dropped.
void keep_word(RklParser* p, wchar_t* word, int32_t* count) {
    copy_text(p, word, std::wcslen(word), false);
    ++*count;
    drop(p, word);
}

// CONST a CONST b ...: one list of the words after each CONST.
uintptr_t constant_words(RklParser* p) {
    uintptr_t first = strings_start(p);
    int32_t count = 0;
    for (;;) {
        wchar_t* word = take(p);
        if (word == nullptr) {
            complain(p, "missing arg after 'CONST' at %s.\n");
            break;
        }
        keep_word(p, word, &count);
        word = take(p);
        if (!is(word, L"CONST")) {
            give_back(p, word);
            break;
        }
        drop(p, word);
    }
    return constant_leaf(p, first, count);
}

// { a b ... }: a list of the words up to the closing brace.
uintptr_t braced_words(RklParser* p) {
    uintptr_t first = strings_start(p);
    int32_t count = 0;
    wchar_t* word;
    while (!is(word = take(p), L"}")) {
        if (word == nullptr) {
            complain(p, "missing '}' at %s.\n");
            break;
        }
        keep_word(p, word, &count);
    }
    drop(p, word);
    return constant_leaf(p, first, count);
}

}  // namespace

int rkl_lex(RklParser* p, uintptr_t* value) {
    *value = 0;
    for (;;) {
        if (p->done) return RKL_END;
        wchar_t* word = take(p);
        if (word == nullptr) {
            p->done = true;
            return RKL_END;
        }
        if (is(word, L"/*")) {
            skip_comment(p, word);
            continue;
        }
        int token = rkl_keyword(word);
        if (token == RKL_END) {
            token = bare_word(p, word, value);
            if (token != RKL_END) p->prev = token;
            return token;
        }
        drop(p, word);
        switch (token) {
        case RKL_PROGRAM_END:
            p->done = true;
            return RKL_END;
        case RKL_FIELD:
        case RKL_VAR:
        case RKL_STATIC:
            *value = named_leaf(p, token);
            break;
        case RKL_CONST:
            *value = constant_words(p);
            break;
        case RKL_LIST_OPEN:
            *value = braced_words(p);
            token = RKL_CONST;
            break;
        default:
            *value = uintptr_t(token);
            break;
        }
        p->prev = token;
        return token;
    }
}
