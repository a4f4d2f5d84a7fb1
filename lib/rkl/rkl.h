// The Rkl language shared by Rkselect and Rked: reading a program (its
// words, from the command line or a program file, and their tokens), the
// syntax tree, values and evaluation.
#pragma once

#include <cstddef>
#include <cwchar>

#include "record.h"
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
    RKL_TOKEN_COUNT,
    // Node kinds that no word names.
    RKL_NEGATE = RKL_TOKEN_COUNT,  // prefix MINUS
    RKL_NODE_KIND_COUNT
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
    // The command-line word last read does not decode in the locale: it may
    // still end the program (pushed back, it is a file name), but taken
    // into the program it is a code error. -1 when none.
    int bad_word;
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
// Ends the program with the code-error message when the last word read
// does not decode and was taken into the program.
void rkl_check_last_word(const RklWords* w);
// The place of the word last read, for messages: "the argument %d" or
// "the end of arguments (%d)" on the command line, "line %d, char %d" or
// "line %d (EOF)" in a file. buf holds at least 64 bytes.
void rkl_place(const RklWords* w, char* buf, size_t size);

// ---------------------------------------------------------------------------
// Values. Every value is a list; `items` points at `count` elements.
enum RklValueKind : int32_t {
    RKL_NO_VALUE = 0,  // nothing computed (an empty program)
    RKL_STRINGS,       // items: wchar_t* [count], each 0-terminated
    RKL_NUMBERS,       // items: double [count]
    RKL_PATTERNS,      // items: wregexp* [count]
    RKL_FIELD_REF,     // items: one RklFieldRef; count is 1
};
struct RklValue {
    int32_t kind;
    int32_t count;
    void* items;
};
// A field reference: the name with a colon appended (0-terminated), its
// length including the colon, and the qualifier flags.
enum { RKL_NUMERIC = 1 };
struct RklFieldRef {
    wchar_t* name;
    int32_t length;
    int32_t flags;
};
// A variable: one process-wide list of entries, created on first mention.
// The same name and kind (RKL_VAR or RKL_STATIC) is the same variable.
struct RklVariable {
    RklVariable* next;
    int32_t kind;
    bool assigned;
    RklValue value;   // VAR: in the lsize area; STATIC: in `block`
    void* block;      // STATIC: the heap block holding the value
    wchar_t name[1];  // 0-terminated, allocated to its length
};
extern RklVariable* rkl_variables;
// The entry for name and kind, created when new ("can't allocate necessary
// memory!\n" is fatal).
RklVariable* rkl_variable(const wchar_t* name, int32_t kind);

// ---------------------------------------------------------------------------
// The syntax tree: every node is (kind, left, right), kind being the token
// that made it (or RKL_NEGATE).
//   leaf CONST: left is the RklValue (a string list) of the constant;
//   leaf FIELD: left is its RklFieldRef;
//   leaf VAR, STATIC: left is its RklVariable;
//   special (FNR, NR, ..., EXIT): a leaf with no operands;
//   operators, `;`, `=`, `[`, WHILE: left and right operand;
//   NOT, functions, RKL_NEGATE: the operand in left;
//   IF, ELIF: left the condition, right a THEN node whose left is the THEN
//     branch and whose right is the ELSE branch, an ELIF node, or null;
//   FOR: left the list, right an IN node (left the VAR leaf, right the body);
//   SUBST, SUBSTG: left the subject, right a BY node (left the patterns,
//     right the replacements).
struct RklNode {
    int32_t kind;
    int32_t depth;  // set by rkl_prepare
    RklNode* left;
    RklNode* right;
};

// Reads and parses a program: from the program file `path` when it is not
// null, else from the command-line words args[0 .. nargs) (`first` is the
// position of args[0] among the arguments after the command name). The
// current word is built in `words`, the tree in `tree`, names and constant
// strings in `names`; the three areas have their growth pacts. Errors are
// reported and counted; the tree is complete when none was counted. Returns
// the root (null for an empty program) with the links as pointers, and sets
// *used to the number of command-line words the program took (0 for a file).
// From here on the engine's errors go to rkl_regex_error.
RklNode* rkl_parse(const char* path, char** args, int nargs, int first, int* used,
                   Area* words, Area* tree, Area* names);

// ---------------------------------------------------------------------------
// Evaluation.
//
// The areas used while a program runs, created by rkl_prepare: values of one
// record (vsize), strings made by matching, substitution and field assignment
// (wsize), VAR values (lsize), and the record's field table (tsize, the
// caller's). Strings are 0-terminated; so are field values while a record is
// evaluated (rkl_begin_record puts a 0 at each field's end).
struct RklRun {
    Area values, strings, locals, scratch_values, scratch_strings;
    Area* table;       // the record's field table (tsize)
    Field* record;     // the record being evaluated
    const Input* input;  // where it came from (FNR, NR, FILENAME)
    bool final_pass;   // EPILOGUE: the run after all input
    bool loading;      // the load-time simplification is running
    double status;     // STATUS, the wait status of the last command
    // Writes the current record for OUTPUT (null: OUTPUT writes nothing).
    void (*output)();
    // Runs a shell command for QX and gives its output lines through
    // `line`; returns false when the command could not be started. The
    // default runs it through the shell; tests and fuzzing replace it.
    bool (*run_command)(const char* command, void (*line)(const wchar_t* text, void* data), void* data,
                        int* wait_status);
    // When not zero, loops stop after this many turns in one record (for
    // fuzzing; the programs leave it at zero).
    long loop_limit;
    // Ends the program for EXIT (null: at once, status 1 after errors).
    void (*exit_program)(int status);
};
extern RklRun rkl;

// The depth of the tree as the evaluation nests (a leaf counts 1, a chain
// of `;` its deepest statement plus one), stored in each node. Programs
// nested deeper than this are refused.
enum { RKL_MAX_DEPTH = 10000 };
int32_t rkl_depth(RklNode* root);
// Calls fn for every node of the tree, parents before their operands
// (without recursion: any depth).
void rkl_each_node(RklNode* root, void (*fn)(RklNode* node, void* data), void* data);
// After parsing: checks the depth ("the program is nested too deeply ...",
// an error), simplifies the tree once (constant folding, patterns compiled)
// and creates the evaluation areas with room for the depth's relocation
// registrations. `table` is the field table area. Returns the new root.
struct RklSizes {
    int32_t vsize, wsize, lsize, osize, qsize;  // KB
};
RklNode* rkl_prepare(RklNode* root, Area* table, const RklSizes& sizes);
// Evaluates the program against `record` (its fields' ends not yet
// terminated; the table is the newest object of rkl.table). Returns the
// program's value (RKL_NO_VALUE for an empty program). The record may be
// changed by assignments: rkl.record is the result.
RklValue rkl_evaluate(RklNode* root, Field* record);
// Truth of a value against the current record.
bool rkl_true(const RklValue& v);
// Puts the newlines back at the ends of the record's fields (for writing
// a record whose text is contiguous and unchanged).
void rkl_restore_newlines(Field* record);
// Writes the current record: the filename line (when filename is not
// null), each field's text and a newline, then the empty line; nothing for
// a record without fields. Field texts that would break the record format
// are taken out of the record first: an empty one silently, one that holds
// a newline as a counted error.
void rkl_write_record(Field* record, const char* filename);
// Frees everything a prepared program holds (variables, constants, the
// evaluation areas), so that another program can be loaded in the same
// process (tests, fuzzing).
void rkl_reset();
// The engine's error hook of Rkl: reports an error of the regular-expression
// engine in the form that fits what is being done (loading, compiling a
// pattern of a record, matching).
void rkl_regex_error(const char* message);
// The default way to run a QX command (rkl.run_command starts with it).
extern bool (*const rkl_shell_command)(const char* command, void (*line)(const wchar_t* text, void* data),
                                       void* data, int* wait_status);

// The main routine of Rked and Rkselect, in two steps. rkl_load: options
// (-F, -D, -f), the program read, parsed (status 2 after errors) and
// prepared; the remaining arguments are the input files. rkl_run: each
// record evaluated and written (editing: as the program leaves it; else
// when the program's value is true), then for editing the final pass;
// ends the program.
RklNode* rkl_load(const char* usage, int argc, char** argv);
[[noreturn]] void rkl_run(RklNode* root, bool editing);
