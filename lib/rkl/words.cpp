// Reading an Rkl program: the keyword table, and the words of the command
// line or of a program file.
#include <cstdio>
#include <cstring>
#include <cwctype>

#include "rkl.h"

const RklKeyword rkl_keywords[] = {
    {L"CONST", RKL_CONST}, {L"FIELD", RKL_FIELD}, {L"VAR", RKL_VAR}, {L"STATIC", RKL_STATIC},
    {L"(", RKL_LPAREN}, {L")", RKL_RPAREN},
    {L"FNR", RKL_FNR}, {L"REC#", RKL_FNR}, {L"NR", RKL_NR}, {L"$.", RKL_NR},
    {L"FILENAME", RKL_FILENAME}, {L"FIELDS", RKL_FIELDS}, {L"CURREC", RKL_FIELDS}, {L"@_", RKL_FIELDS},
    {L"MATCH", RKL_MATCH}, {L"$&", RKL_MATCH}, {L"PREMATCH", RKL_PREMATCH}, {L"$`", RKL_PREMATCH},
    {L"POSTMATCH", RKL_POSTMATCH}, {L"$'", RKL_POSTMATCH}, {L"OUTPUT", RKL_OUTPUT}, {L"QX", RKL_QX},
    {L"STATUS", RKL_STATUS}, {L"$?", RKL_STATUS}, {L"[", RKL_LBRACKET}, {L"]", RKL_RBRACKET},
    {L"||", RKL_OR}, {L"OR", RKL_OR}, {L"&&", RKL_AND}, {L"AND", RKL_AND}, {L"!", RKL_NOT}, {L"NOT", RKL_NOT},
    {L"==", RKL_EQ}, {L"EQ", RKL_EQ}, {L"!=", RKL_NE}, {L"NE", RKL_NE}, {L"<>", RKL_NE},
    {L">", RKL_GT}, {L"GT", RKL_GT}, {L">=", RKL_GE}, {L"GE", RKL_GE}, {L"<", RKL_LT}, {L"LT", RKL_LT},
    {L"<=", RKL_LE}, {L"LE", RKL_LE}, {L"INCL", RKL_INCL}, {L"=~", RKL_LIKE}, {L"LIKE", RKL_LIKE},
    {L"!~", RKL_UNLIKE}, {L"UNLIKE", RKL_UNLIKE},
    {L"+", RKL_PLUS}, {L"PLUS", RKL_PLUS}, {L"-", RKL_MINUS}, {L"MINUS", RKL_MINUS},
    {L"*", RKL_TIMES}, {L"TIMES", RKL_TIMES}, {L"/", RKL_DIVIDEDBY}, {L"DIVIDEDBY", RKL_DIVIDEDBY},
    {L"%", RKL_MOD}, {L"MOD", RKL_MOD}, {L"**", RKL_POWER}, {L"POWER", RKL_POWER},
    {L".", RKL_DOT}, {L",", RKL_COMMA}, {L"..", RKL_RANGE}, {L";", RKL_SEMICOLON}, {L"=", RKL_ASSIGN},
    {L"EXISTS", RKL_EXISTS}, {L"COUNT", RKL_COUNT}, {L"MIN", RKL_MIN}, {L"MAX", RKL_MAX}, {L"SUM", RKL_SUM},
    {L"AVG", RKL_AVG}, {L"ABS", RKL_ABS}, {L"INT", RKL_INT}, {L"SQRT", RKL_SQRT}, {L"EXP", RKL_EXP},
    {L"LOG", RKL_LOG}, {L"LOG10", RKL_LOG10}, {L"SIN", RKL_SIN}, {L"COS", RKL_COS}, {L"TAN", RKL_TAN},
    {L"ATAN", RKL_ATAN}, {L"CAPS", RKL_CAPS}, {L"TOUPPER", RKL_CAPS}, {L"CAT", RKL_CAT},
    {L"LENGTH", RKL_LENGTH}, {L"NUM", RKL_NUM}, {L"STR", RKL_STR},
    {L"IF", RKL_IF}, {L"THEN", RKL_THEN}, {L"ELIF", RKL_ELIF}, {L"ELSE", RKL_ELSE}, {L"FI", RKL_FI},
    {L"WHILE", RKL_WHILE}, {L"DO", RKL_DO}, {L"DONE", RKL_DONE}, {L"FOR", RKL_FOR}, {L"IN", RKL_IN},
    {L"SUBST", RKL_SUBST}, {L"S", RKL_SUBST}, {L"SUBSTG", RKL_SUBSTG}, {L"SG", RKL_SUBSTG}, {L"BY", RKL_BY},
    {L"EPILOGUE", RKL_EPILOGUE}, {L"LOCALE", RKL_LOCALE}, {L"EXIT", RKL_EXIT},
    {L"{", RKL_LIST_OPEN}, {L"--", RKL_PROGRAM_END},
};
const size_t rkl_keyword_count = sizeof rkl_keywords / sizeof rkl_keywords[0];

RklToken rkl_keyword(const wchar_t* word) {
    for (const RklKeyword& k : rkl_keywords)
        if (std::wcscmp(k.word, word) == 0) return k.token;
    return RKL_END;
}

void rkl_words_from_args(RklWords* w, char** args, int nargs, int first) {
    std::memset(w, 0, sizeof *w);
    w->args = args;
    w->nargs = nargs;
    w->first = first;
    w->ahead = WEOF;
    w->bad_word = -1;
}

void rkl_words_from_file(RklWords* w, const char* path) {
    std::memset(w, 0, sizeof *w);
    w->stream = ws_open(path);
    if (w->stream == nullptr) warn_errno(WARN_FATAL, path, "can't open %s.\n", path);
    w->path = path;
    w->bad_word = -1;
    w->line = 1;
    w->column = 1;
    w->ahead = WEOF;
}

namespace {

// The next character of the file, counting lines and columns; a NUL or a
// sequence that does not decode stops the program.
wint_t get(RklWords* w) {
    wint_t c = w->ahead;
    if (c != WEOF) {
        w->ahead = WEOF;
    } else {
        c = ws_getwc(w->stream);
        if (c == WEOF && w->stream->error)
            fatal_code_error(ws_bad_byte(w->stream), "code error in the file %s(%d,).\n", w->path, w->line);
        if (c == 0) fatal("code error in the file %s(%d,).\n", w->path, w->line);
    }
    if (c == L'\n') {
        ++w->line;
        w->column = 1;
    } else if (c != WEOF) {
        ++w->column;
    }
    return c;
}

[[noreturn]] void unterminated(const RklWords* w) {
    fatal("unterminated quotation from line %d, char %d\n", w->word_line, w->word_column);
}

wchar_t* file_word(RklWords* w, Area* area) {
    wint_t c;
    for (;;) {  // white space, and backslash-newline like it
        int line = w->line, column = w->column;
        c = get(w);
        if (c == WEOF) {
            w->eof = w->ended = true;
            return nullptr;
        }
        if (std::iswspace(c)) continue;
        w->word_line = line;
        w->word_column = column;
        if (c != L'\\') break;
        wint_t d = get(w);
        if (d == L'\n') continue;
        w->ahead = d;
        break;
    }
    wchar_t* word = nullptr;
    Relocated<wchar_t> start(&word, area);
    area_align(sizeof(wchar_t), area);
    WideAppender out(&word, area);
    for (; c != WEOF && !std::iswspace(c); c = get(w)) {
        if (c == L'"') {
            for (wint_t d; (d = get(w)) != L'"';) {
                if (d == WEOF) unterminated(w);
                if (d != L'\\') {
                    out.put(wchar_t(d));
                    continue;
                }
                wint_t e = get(w);
                if (e == WEOF) unterminated(w);
                if (e == L'\n') continue;
                if (e != L'"' && e != L'\\') out.put(L'\\');
                out.put(wchar_t(e));
            }
        } else if (c == L'\'') {
            for (wint_t d; (d = get(w)) != L'\'';) {
                if (d == WEOF) unterminated(w);
                out.put(wchar_t(d));
            }
        } else if (c == L'\\') {
            wint_t d = get(w);
            if (d == WEOF) unterminated(w);
            if (d != L'\n') out.put(wchar_t(d));
        } else {
            out.put(wchar_t(c));
        }
    }
    if (c == WEOF) w->eof = true;
    out.put(0);
    out.flush();
    return word;
}

}  // namespace

wchar_t* rkl_next_word(RklWords* w, Area* area) {
    if (w->stream) {
        if (!w->eof) return file_word(w, area);
        w->ended = true;
        return nullptr;
    }
    if (w->next >= w->nargs) {
        w->next = w->nargs + 1;  // the place is now the end of the arguments
        return nullptr;
    }
    rkl_check_last_word(w);
    const char* arg = w->args[w->next++];
    wchar_t* word = mbs_to_area(arg, area);
    if (word != nullptr) return word;
    // Undecodable bytes read as U+FFFD, which no keyword holds.
    w->bad_word = w->first + w->next - 1;
    Relocated<wchar_t> cell(&word, area);
    area_align(alignof(wchar_t), area);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(arg);
    for (size_t n = std::strlen(arg);;) {
        wchar_t c = 0;
        int k = n ? decode_char(p, n, &c) : 0;
        if (n && k <= 0) c = 0xFFFD, k = 1;
        *static_cast<wchar_t*>(area_extend(sizeof c, &word, area)) = c;
        if (n == 0) return word;
        p += k, n -= size_t(k);
    }
}

void rkl_check_last_word(const RklWords* w) {
    if (w->bad_word >= 0) fatal_code_error(nullptr, "code error in the argument %d.\n", w->bad_word);
}

void rkl_words_close(RklWords* w) {
    ws_close(w->stream);
    w->stream = nullptr;
}

void rkl_push_back(RklWords* w) {
    w->bad_word = -1;
    if (w->stream == nullptr && w->next > 0 && w->next <= w->nargs) --w->next;
}

void rkl_place(const RklWords* w, char* buf, size_t size) {
    if (w->stream) {
        if (w->ended)
            std::snprintf(buf, size, "line %d (EOF)", w->line);
        else
            std::snprintf(buf, size, "line %d, char %d", w->word_line, w->word_column);
    } else if (w->next > w->nargs) {
        std::snprintf(buf, size, "the end of arguments (%d)", w->first + w->nargs);
    } else {
        std::snprintf(buf, size, "the argument %d", w->first + w->next - 1);
    }
}
