// The Rkl language: the keyword table and the words of a program, from the
// command line and from a program file with its quoting rules; tokens, the
// grammar's grouping, the end of a program, the syntax tree and messages.
#include "rkl.h"

#include <algorithm>
#include <string>
#include <vector>

#include "unit_util.h"

// Every word of a program file, joined by '|', with the place of each.
static std::string file_words(const std::string& text, bool places = false) {
    TempFile f(text);
    RklWords w;
    rkl_words_from_file(&w, keep_string(f.path));
    Area* area = new_area(1024);
    std::string out;
    while (wchar_t* word = rkl_next_word(&w, area)) {
        char place[64];
        rkl_place(&w, place, sizeof place);
        char bytes[256];
        std::snprintf(bytes, sizeof bytes, "%ls", word);
        out += std::string(out.empty() ? "" : "|") + bytes + (places ? std::string("@") + place : "");
    }
    if (places) {
        char place[64];
        rkl_place(&w, place, sizeof place);
        out += std::string("|") + place;
    }
    rkl_words_close(&w);
    return out;
}

TEST(RklWords, KeywordTable) {
    start();
    EXPECT_EQ(rkl_keyword_count, 109u);
    // Every entry is found as itself, and spellings of one token agree.
    for (size_t i = 0; i < rkl_keyword_count; ++i)
        EXPECT_EQ(rkl_keyword(rkl_keywords[i].word), rkl_keywords[i].token) << i;
    EXPECT_EQ(rkl_keyword(L"REC#"), rkl_keyword(L"FNR"));
    EXPECT_EQ(rkl_keyword(L"<>"), rkl_keyword(L"!="));
    EXPECT_EQ(rkl_keyword(L"TOUPPER"), rkl_keyword(L"CAPS"));
    EXPECT_EQ(rkl_keyword(L"SG"), RKL_SUBSTG);
    // Exact, whole-word and case-sensitive.
    for (const wchar_t* no : {L"and", L"ANDx", L"", L"/*", L"}", L"Field"}) EXPECT_EQ(rkl_keyword(no), RKL_END);
}

TEST(RklWords, FileQuotingRules) {
    start();
    struct {
        const char* text;
        const char* words;
    } rows[] = {
        {"  a  bb\n\tccc  ", "a|bb|ccc"},
        {"\"a b\"c", "a bc"},                       // quoted and plain parts in one word
        {"'a\\b \"x\"'", "a\\b \"x\""},             // single quotes keep everything
        {"\"q\\\"q\\\\q\\nq\"", "q\"q\\q\\nq"},     // backslash before " and \ only
        {"\"a\\\nb\"", "ab"},                       // backslash-newline dropped inside quotes
        {"a\\ b \\\"c", "a b|\"c"},                  // backslash outside quotes: literal
        {"\\\n  x \\\ny", "x|y"},                    // backslash-newline is white space
        {"\"line\none\"", "line\none"},              // newlines inside quotes
        {"/* a */ b", "/*|a|*/|b"},                  // comments are the parser's: whole words
        {"é'ü' \"α\"β", "éü|αβ"},
        {"", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(file_words(row.text), row.words) << row.text;
    EXPECT_EQ(file_words("ab\n  \"c d\" e", true), "ab@line 1, char 1|c d@line 2, char 3|e@line 2, char 9|line 2 (EOF)");
}

TEST(RklWords, FileErrorsAreFatal) {
    start();
    for (const char* text : {"x \"abc", "x 'abc", "x abc\\"}) {
        TempFile f(text);
        RklWords w;
        rkl_words_from_file(&w, keep_string(f.path));
        Area* area = new_area(1024);
        EXPECT_EXIT(
            {
                while (rkl_next_word(&w, area)) {
                }
            },
            testing::ExitedWithCode(3), "^rt: unterminated quotation from line 1, char 3\n$")
            << text;
        rkl_words_close(&w);
    }
    TempFile nul(std::string("a\nb\0c", 5));
    RklWords w;
    rkl_words_from_file(&w, keep_string(nul.path));
    Area* area = new_area(1024);
    EXPECT_EXIT(
        {
            while (rkl_next_word(&w, area)) {
            }
        },
        testing::ExitedWithCode(3), "code error in the file .*\\(2,\\)\\.\n");
    rkl_words_close(&w);
    EXPECT_EXIT(rkl_words_from_file(&w, "/nonexistent/prog.rkl"), testing::ExitedWithCode(3),
                "^rt: can't open /nonexistent/prog.rkl\\.\nrt: /nonexistent/prog.rkl: No such file or directory\n$");
}

TEST(RklWords, CommandLineWordsAndPlaces) {
    start({"name", "==", "x y", "f.rk"});
    RklWords w;
    rkl_words_from_args(&w, args + 1, nargs - 1, 1);
    Area* area = new_area(1024);
    char place[64];
    std::vector<std::string> seen;
    while (wchar_t* word = rkl_next_word(&w, area)) {
        rkl_place(&w, place, sizeof place);
        char bytes[160];
        std::snprintf(bytes, sizeof bytes, "%ls@%s", word, place);
        seen.push_back(bytes);
        if (seen.size() == 1) {  // a word pushed back is read again
            rkl_push_back(&w);
            wchar_t* again = rkl_next_word(&w, area);
            EXPECT_STREQ(again, L"==");
        }
    }
    rkl_place(&w, place, sizeof place);
    EXPECT_EQ(seen, (std::vector<std::string>{"==@the argument 1", "x y@the argument 2", "f.rk@the argument 3"}));
    EXPECT_STREQ(place, "the end of arguments (4)");
}

// ---------------------------------------------------------------------------
// Tokens and the syntax tree.

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

static std::string narrow(const wchar_t* s) {
    char bytes[512];
    std::snprintf(bytes, sizeof bytes, "%ls", s);
    return bytes;
}

// The tree in prefix form, (kind operands), a kind by its first spelling;
// a constant as "a|b", a field as its stored name (n appended when
// numeric), variables as $name and @name (STATIC), no tree as _.
static std::string show(const RklNode* n) {
    if (n == nullptr) return "_";
    if (n->kind == RKL_CONST) {
        auto* v = reinterpret_cast<const RklValue*>(n->left);
        std::string s;
        for (int32_t i = 0; i < v->count; ++i) s += std::string(i ? "|" : "") + narrow(static_cast<wchar_t**>(v->items)[i]);
        return v->kind == RKL_STRINGS ? '"' + s + '"' : "?value";
    }
    if (n->kind == RKL_FIELD) {
        auto* f = reinterpret_cast<const RklFieldRef*>(n->left);
        bool whole = int32_t(std::wcslen(f->name)) == f->length;
        return narrow(f->name) + (f->flags & RKL_NUMERIC ? "n" : "") + (whole ? "" : "?length");
    }
    if (n->kind == RKL_VAR || n->kind == RKL_STATIC) {
        auto* v = reinterpret_cast<const RklVariable*>(n->left);
        return std::string(v->kind == RKL_VAR ? "$" : "@") + narrow(v->name) + (v->kind == n->kind ? "" : "?kind");
    }
    std::string kind = n->kind == RKL_NEGATE ? "NEG" : "?";
    for (size_t i = rkl_keyword_count; i-- > 0;)
        if (rkl_keywords[i].token == n->kind) kind = narrow(rkl_keywords[i].word);
    if (!n->left && !n->right) return kind;
    std::string s = "(" + kind + " " + show(n->left);
    if (n->right) s += ' ' + show(n->right);
    return s + ")";
}

struct Parsed {
    std::string tree, messages;
    int used, errors;
    RklNode* root;
};

// Parses a program file, or the words (split at blanks) as the arguments
// from position 1 on, in areas that grow by doubling from a small size, so
// that parsing moves them many times.
static Parsed parse(bool file, const std::string& program) {
    std::vector<char*> words;
    for (size_t i = 0, j; !file && i < program.size(); i = j + 1) {
        j = std::min(program.find(' ', i), program.size());
        if (j > i) words.push_back(keep_string(program.substr(i, j - i)));
    }
    TempFile f(program);
    Area* areas[3];
    for (Area*& a : areas) area_push_pact(0, area_double, nullptr, nullptr, a = new_area(16));
    error_count = 0;
    int used = -1;
    CaptureStderr();
    RklNode* root = rkl_parse(file ? f.path.c_str() : nullptr, words.data(), int(words.size()), 1, &used, areas[0],
                              areas[1], areas[2]);
    std::string messages = GetCapturedStderr();
    return {show(root), messages, used, error_count, root};
}

// Each level binds tighter than the one before and groups as the table of
// levels says; the rows go from the loosest level to the tightest.
TEST(RklParse, PrecedenceAndGrouping) {
    start();
    struct {
        const char* program;
        const char* tree;
    } rows[] = {
        {"a ; b ; c", "(; a: (; b: c:))"},  // 1: ; to the right
        {"a ; b ;", "(; a: b:)"},
        {"a ; - b", "(; a: (NEG \"b\"))"},
        {"a = FIELD b = c", "(= a: (= b: \"c\"))"},  // 2: = to the right
        {"a = b ; c", "(; (= a: \"b\") c:)"},
        {"a = b OR c", "(= a: (|| \"b\" c:))"},
        {"a OR b OR c", "(|| a: (|| b: c:))"},  // 3: OR to the right
        {"a AND b OR c", "(|| (&& a: b:) c:)"},
        {"a AND b AND c", "(&& a: (&& b: c:))"},  // 4: AND to the right
        {"NOT a AND b", "(&& (! a:) b:)"},  // 5: NOT looser than comparisons
        {"NOT a == b", "(! (== a: \"b\"))"},
        {"a LIKE b UNLIKE c INCL d", "(INCL (!~ (=~ a: \"b\") \"c\") \"d\")"},  // 6: to the left
        {"name == x , y", "(== name: (, \"x\" y:))"},  // 7: the list first
        {"a , b , c", "(, (, a: b:) c:)"},
        {"a .. b , c", "(, (.. a: \"b\") c:)"},  // 8
        {"a + b .. c", "(.. (+ a: \"b\") \"c\")"},  // 9
        {"a - b + c", "(+ (- a: \"b\") \"c\")"},
        {"a + b * c", "(+ a: (* \"b\" \"c\"))"},  // 10
        {"a / b % c", "(% (/ a: \"b\") \"c\")"},
        {"a * b ** c", "(* a: (** \"b\" \"c\"))"},  // 11: ** to the left
        {"2 ** 3 ** 2", "(** (** 2: \"3\") \"2\")"},
        {"a ** b . c", "(** a: (. \"b\" \"c\"))"},  // 12
        {"a . b . c", "(. (. a: \"b\") \"c\")"},
        {"a . b S x BY y", "(. a: (SUBST \"b\" (BY \"x\" \"y\")))"},  // 13
        {"a SG x + 1 BY y", "(SUBSTG a: (BY (+ \"x\" \"1\") \"y\"))"},
        {"a S x BY y . z", "(. (SUBST a: (BY \"x\" \"y\")) \"z\")"},
        {"a S x BY y [ 1 ]", "(SUBST a: (BY \"x\" ([ \"y\" \"1\")))"},
        {"a S x BY y SG p BY q", "(SUBSTG (SUBST a: (BY \"x\" \"y\")) (BY \"p\" \"q\"))"},
        {"LENGTH a S x BY y", "(SUBST (LENGTH a:) (BY \"x\" \"y\"))"},  // 14
        {"SQRT x + 1", "(+ (SQRT x:) \"1\")"},
        {"SQRT x [ 1 ]", "(SQRT ([ x: \"1\"))"},
        {"a - - b", "(- a: (NEG \"b\"))"},
        {"** a", "(** \"a\")"},
        {"NUM FIELD p", "(NUM p:)"},
        {"a [ 1 ] [ 2 ]", "([ ([ a: \"1\") \"2\")"},  // 15
        {"a . b [ 1 ]", "(. a: ([ \"b\" \"1\"))"},
        {"( a + b ) * c", "(* (+ a: \"b\") \"c\")"},  // parentheses leave no node
        {"NOT ( a ; )", "(! a:)"},
        {"IF a THEN b FI", "(IF a: (THEN b:))"},
        {"IF a THEN b ELIF c THEN d ELSE e FI", "(IF a: (THEN b: (ELIF c: (THEN d: e:))))"},
        {"WHILE a DO b DONE", "(WHILE a: b:)"},
        {"FOR v IN a , b DO c DONE", "(FOR (, \"a\" b:) (IN $v c:))"},
        {"FNR == 1 AND $. OR EXIT", "(|| (&& (== FNR \"1\") NR) EXIT)"},
        {"a [ 1 ] = FIELDS = VAR v = STATIC w = 2", "(= ([ a: \"1\") (= FIELDS (= $v (= @w \"2\"))))"},
    };
    for (const auto& row : rows) {
        Parsed p = parse(false, row.program);
        EXPECT_EQ(p.tree + p.messages, row.tree) << row.program;
        EXPECT_EQ(p.errors, 0) << row.program;
    }
}

// On the command line the program ends at "--" (taken) or before the first
// word that cannot continue it; what follows are input files. In a file
// every quoting form makes one word.
TEST(RklParse, ProgramEndAndFiles) {
    start();
    struct {
        bool file;
        const char* program;
        int used;
        const char* tree;
    } rows[] = {
        {false, "name == smith x.rk y.rk", 3, "(== name: \"smith\")"},
        {false, "price n:n", 1, "price:"},
        {false, "price:n > 3 price", 3, "(> price:n \"3\")"},
        {false, "- price", 2, "(NEG \"price\")"},
        {false, "- FIELD price", 3, "(NEG price:)"},
        {false, "CONST a CONST b CONST c", 6, "\"a|b|c\""},
        {false, "{ a b c } x", 5, "\"a|b|c\""},
        {false, "CONST a CONST b c", 4, "\"a|b\""},
        {false, "{ OR -- } == { } x", 7, "(== \"OR|--\" \"\")"},
        {false, "FIELD AND == VAR OR", 5, "(== AND: $OR)"},
        {false, "/* note */ name == x", 6, "(== name: \"x\")"},
        {false, "/*note*/ == x", 3, "(== /*note*/: \"x\")"},
        {false, "a ; /* b", 4, "a:"},
        {false, "a -- b", 2, "a:"},
        {false, "", 0, "_"},
        {false, "IF a THEN b FI c", 5, "(IF a: (THEN b:))"},
        {false, "FOR i IN x DO VAR i DONE f", 8, "(FOR \"x\" (IN $i $i))"},
        {true, "name == \"a b\"c\n", 0, "(== name: \"a bc\")"},
        {true, "'x\\y \"z\"' == \\\"c", 0, "(== x\\y \"z\": \"\"c\")"},
        {true, "/* two\nlines */ x ==\\\n  y", 0, "(== x: \"y\")"},
        {true, "CONST \"\" CONST 'é' -- y z", 0, "\"|é\""},
    };
    for (const auto& row : rows) {
        Parsed p = parse(row.file, row.program);
        EXPECT_EQ(p.tree + p.messages, row.tree) << row.program;
        EXPECT_EQ(p.used, row.used) << row.program;
    }
}

// Every message of the reader and the parser, on the command line (the
// words are the arguments from position 1 on) and from a file.
TEST(RklParse, Messages) {
    start();
    std::string deep(10001 * 2, ' ');
    for (size_t i = 0; i < deep.size(); i += 2) deep[i] = '(';
    struct {
        bool file;
        std::string program, messages;
    } rows[] = {
        {false, "FIELD", "missing field name after 'FIELD' at the end of arguments (2).\n"},
        {false, "VAR", "missing variable name at the end of arguments (2).\n"},
        {true, "x == STATIC", "missing variable name at line 1 (EOF).\n"},
        {false, "CONST", "missing arg after 'CONST' at the end of arguments (2).\n"},
        {false, "x == CONST a CONST", "missing arg after 'CONST' at the end of arguments (6).\n"},
        {false, "{ a b", "missing '}' at the end of arguments (4).\n"},
        {true, "{ a\nb", "missing '}' at line 2 (EOF).\n"},
        {false, "price:nq == 1", "unknown qualifier.\n"},
        {false, "FIELD p:xy", "unknown qualifier.\nunknown qualifier.\n"},
        {true, "NUM FIELD price x", "unknown token 'x' at line 1, char 17.\n"},
        {true, "NUM price", "unknown token 'price' at line 1, char 5.\nsyntax error at line 1, char 5.\n"},
        {false, "name == )", "syntax error at the argument 3 ()).\n"},
        {false, "price +", "syntax error at the end of arguments (3) ().\n"},
        {false, "( price x.rk", "syntax error at the argument 2 (price).\n"},
        {false, "x CONST a b", "syntax error at the argument 3 (a).\n"},  // b was read ahead
        {true, "x CONST a b", "syntax error at line 1, char 9.\nunknown token 'b' at line 1, char 11.\n"},
        {false, "a == == b ; c == ) ; d", "syntax error at the argument 3 (==).\nsyntax error at the argument 8 ()).\n"},
        {true, "a == == b ;\nc == ) ;\nd", "syntax error at line 1, char 6.\nsyntax error at line 2, char 6.\n"},
        // No report before three tokens are shifted: the second ")" is silent.
        {true, "a ) ; ) ; b ; c ; )", "syntax error at line 1, char 3.\nsyntax error at line 1, char 19.\n"},
        {false, deep, "yacc stack overflow at the argument 9999 (().\n"},
        {true, deep, "yacc stack overflow at line 1, char 19997.\n"},
        {false, "CONST 1 = 2 ; x", "invalid left hand of '=' before the arguemnt 6 (x).\n"},
        {false, "FNR = 1 -- x.rk", "invalid left hand of '=' before the arguemnt 5 (x.rk).\n"},
        {false, "a [ 1 ] [ 2 ] = 3", "invalid left hand of '='.\n"},
        {true, "CONST 1 = 2 ; x", "invalid left hand of '='.\n"},
    };
    for (const auto& row : rows) {
        Parsed p = parse(row.file, row.program);
        std::string expected;
        for (size_t i = 0, j; i < row.messages.size(); i = j + 1) {
            j = row.messages.find('\n', i);
            expected += "rt: " + row.messages.substr(i, j + 1 - i);
        }
        EXPECT_EQ(p.messages, expected) << row.program.substr(0, 40);
        // Every message counts as an error.
        EXPECT_EQ(p.errors, int(std::count(expected.begin(), expected.end(), '\n'))) << row.program.substr(0, 40);
    }
}

// Nesting just under the stack's bound parses, and so does a long list.
TEST(RklParse, DeepNestingAndLongLists) {
    start();
    std::string deep, list, words;
    for (int i = 0; i < 9990; ++i) deep += "( ";
    deep += "x";
    for (int i = 0; i < 9990; ++i) deep += " )";
    Parsed p = parse(false, deep);
    EXPECT_EQ(p.tree + p.messages, "x:");
    EXPECT_EQ(p.used, 2 * 9990 + 1);
    for (int i = 0; i < 500; ++i) {
        words += " w" + std::to_string(i);
        list += std::string(i ? "|w" : "w") + std::to_string(i);
    }
    p = parse(false, "x == {" + words + " } ; y . CONST z");
    EXPECT_EQ(p.tree + p.messages, "(; (== x: \"" + list + "\") (. y: \"z\"))");
}

// One entry per name and kind, shared by every mention.
TEST(RklParse, Variables) {
    start();
    Parsed p = parse(false, "VAR n ; STATIC n ; FOR n IN 1 DO STATIC n DONE");
    ASSERT_EQ(p.tree, "(; $n (; @n (FOR \"1\" (IN $n @n))))");
    const RklNode* r = p.root;
    EXPECT_EQ(r->left->left, reinterpret_cast<RklNode*>(rkl_variable(L"n", RKL_VAR)));
    EXPECT_EQ(r->right->left->left, reinterpret_cast<RklNode*>(rkl_variable(L"n", RKL_STATIC)));
    EXPECT_NE(r->left->left, r->right->left->left);
    EXPECT_EQ(r->right->right->right->left->left, r->left->left);
    EXPECT_EQ(r->right->right->right->right->left, r->right->left->left);
}
