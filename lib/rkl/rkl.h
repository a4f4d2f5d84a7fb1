// The Rkl language shared by Rkselect and Rked: reading a program (its
// words, from the command line or a program file, and their tokens).
// Parsing and evaluation are built on this.
#pragma once

#include <cstddef>
#include <cwchar>

#include "runtime.h"

// Tokens. The numbering is internal; 0 is the end of the program.
enum RklToken : int {
    RKL_END = 0,
    RKL_CONST, RKL_FIELD, RKL_VAR, RKL_STATIC, RKL_LPAREN, RKL_RPAREN,
    RKL_FNR, RKL_NR, RKL_FILENAME, RKL_FIELDS, RKL_MATCH, RKL_PREMATCH, RKL_POSTMATCH,
    RKL_OUTPUT, RKL_QX, RKL_STATUS, RKL_LBRACKET, RKL_RBRACKET,
    RKL_OR, RKL_AND, RKL_NOT, RKL_EQ, RKL_NE, RKL_GT, RKL_GE, RKL_LT, RKL_LE,
    RKL_INCL, RKL_LIKE, RKL_UNLIKE,
    RKL_PLUS, RKL_MINUS, RKL_TIMES, RKL_DIVIDEDBY, RKL_MOD, RKL_POWER,
    RKL_DOT, RKL_COMMA, RKL_RANGE, RKL_SEMICOLON, RKL_ASSIGN,
    RKL_EXISTS, RKL_COUNT, RKL_MIN, RKL_MAX, RKL_SUM, RKL_AVG, RKL_ABS, RKL_INT, RKL_SQRT,
    RKL_EXP, RKL_LOG, RKL_LOG10, RKL_SIN, RKL_COS, RKL_TAN, RKL_ATAN, RKL_CAPS, RKL_CAT,
    RKL_LENGTH, RKL_NUM, RKL_STR,
    RKL_IF, RKL_THEN, RKL_ELIF, RKL_ELSE, RKL_FI, RKL_WHILE, RKL_DO, RKL_DONE, RKL_FOR, RKL_IN,
    RKL_SUBST, RKL_SUBSTG, RKL_BY, RKL_EPILOGUE, RKL_LOCALE, RKL_EXIT,
    RKL_LIST_OPEN,    // "{": the words up to "}" are one list constant
    RKL_PROGRAM_END,  // "--"
    RKL_TOKEN_COUNT
};

// The keyword table: every word that names a token, matched exactly.
struct RklKeyword {
    const wchar_t* word;
    RklToken token;
};
extern const RklKeyword rkl_keywords[];
extern const size_t rkl_keyword_count;
// The token a word names, or RKL_END when it is no keyword.
RklToken rkl_keyword(const wchar_t* word);

// Where a program's words come from: the remaining command-line arguments,
// one word each, or a program file cut into words by shell-like quoting.
struct RklWords {
    // Command line: args[0 .. nargs), the next one at `next`; `first` is the
    // position of args[0] among all the arguments after the command name.
    char** args;
    int nargs;
    int next;
    int first;
    // Program file: the stream, its path, and the position of the next
    // character; the word last read began at word_line, word_column.
    WStream* stream;
    const char* path;
    int line, column;
    int word_line, word_column;
    bool eof;    // the file has been read to its end
    bool ended;  // the words have run out (the last call returned none)
    // A character read ahead (WEOF when none).
    wint_t ahead;
};

// Starts reading the remaining arguments (args, nargs) as words.
void rkl_words_from_args(RklWords* w, char** args, int nargs, int first);
// Starts reading a program file; "can't open %s.\n" is fatal.
void rkl_words_from_file(RklWords* w, const char* path);
// The next word, as a 0-terminated wide text built at the head of `area`
// (which may grow), or null when the words have run out. In a file an
// unterminated quotation or backslash is fatal ("unterminated quotation
// from %s\n"), and so is a NUL character ("code error in the file
// %s(%d,).\n").
wchar_t* rkl_next_word(RklWords* w, Area* area);
// Closes the program file, if any.
void rkl_words_close(RklWords* w);
// Reads the command-line word just returned once more.
void rkl_push_back(RklWords* w);
// The place of the word last read, for messages: "the argument %d" or
// "the end of arguments (%d)" on the command line, "line %d, char %d" or
// "line %d (EOF)" in a file. buf holds at least 64 bytes.
void rkl_place(const RklWords* w, char* buf, size_t size);
