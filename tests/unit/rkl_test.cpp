// The Rkl language: the keyword table and the words of a program, from the
// command line and from a program file with its quoting rules.
#include "rkl.h"

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
                "^rt: can't open /nonexistent/prog.rkl\\.\n$");
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
