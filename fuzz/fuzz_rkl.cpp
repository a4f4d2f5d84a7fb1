// Rkl programs: the first part of the input is a program (command-line
// words, one per line, or with a leading '#' the text of a program file),
// the second the records it runs on. The program is parsed, simplified and
// evaluated for every record and in a final pass, as Rked does. QX runs
// nothing, loops stop after a bounded number of turns, areas are capped;
// a stop through a fatal message or EXIT comes back here.
#include <setjmp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "fuzz_common.h"
#include "rkl.h"
#include "wregex.h"

static jmp_buf back;
static void jump() { longjmp(back, 1); }
static void jump_on_exit(int) { longjmp(back, 1); }
static long discard(const char*, size_t n) { return long(n); }
static bool no_command(const char*, void (*)(const wchar_t*, void*), void*, int*) { return false; }

// The record as Rked writes it; what is written must read back as the same
// fields: no field left that is empty or holds a newline.
static void write_checked() {
    rkl_write_record(rkl.record, nullptr);
    for (const Field* f = rkl.record; f->start; ++f)
        if (f->start == f->end || std::wmemchr(f->start, L'\n', size_t(f->end - f->start))) __builtin_trap();
}

static Area text, tree, names, table;
static WStream* input = nullptr;
static char program_path[64];

static void release() {
    ws_close(input);
    input = nullptr;
    rkl_reset();
    for (Area* a : {&text, &tree, &names, &table}) area_destroy(a);
    error_count = 0;
    input_name = nullptr;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_start();
    static bool made = false;
    if (!made) {
        made = true;
        out_redirect(discard);
        std::snprintf(program_path, sizeof program_path, "/tmp/fuzz_rkl.%d", int(getpid()));
        area_size_limit = size_t(32) << 20;
    }
    rkl.run_command = no_command;
    rkl.output = write_checked;
    rkl.loop_limit = 200;
    rkl.exit_program = jump_on_exit;
    std::vector<std::string> parts = split_parts(data, size, 2);
    const std::string& program = parts[0];
    const std::string& records = parts[1];
    if (!valid_text(reinterpret_cast<const uint8_t*>(records.data()), records.size())) return 0;

    std::vector<std::vector<char>> words;
    const char* path = nullptr;
    if (!program.empty() && program[0] == '#') {
        FILE* f = std::fopen(program_path, "wb");
        if (f == nullptr) return 0;
        std::fwrite(program.data() + 1, 1, program.size() - 1, f);
        std::fclose(f);
        path = program_path;
    } else {
        std::string w;
        for (size_t i = 0; i <= program.size(); ++i) {
            if (i == program.size() || program[i] == '\n') {
                words.emplace_back(w.begin(), w.end());
                words.back().push_back(0);
                w.clear();
            } else {
                w.push_back(program[i]);
            }
        }
    }
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    area_create_doubling(1, "rsize", &text);
    area_create_doubling(1, "nsize", &tree);
    area_create_doubling(1, "psize", &names);
    area_create_doubling(1, "tsize", &table);
    set_cleanup(jump);
    if (setjmp(back)) {
        release();
        return 0;
    }
    int used = 0;
    RklNode* root = rkl_parse(path, argv.data(), int(argv.size() - 1), 0, &used, &text, &tree, &names);
    if (used < 0 || used > int(argv.size() - 1)) __builtin_trap();
    if (error_count == 0) {
        area_reset(&text);
        root = rkl_prepare(root, &table, RklSizes{1, 1, 1, 1, 1});
    }
    if (error_count == 0) {
        WStream* s = input = ws_memory(records.data(), records.size());
        Input in{s, INPUT_ALL_FILES, nullptr, 0, 0};
        rkl.input = &in;
        while (Field* rec = read_record(s, &text, &table)) {
            ++in.number, ++in.total;
            RklValue v = rkl_evaluate(root, rec);
            rkl_true(v);
            write_checked();
            area_reset(&table);
            area_reset(&text);
        }
        rkl.final_pass = true;
        area_align(alignof(Field), &table);
        Field* none = static_cast<Field*>(area_alloc(sizeof(Field), &table));
        *none = Field{nullptr, nullptr, nullptr};
        rkl_evaluate(root, none);
    }
    set_cleanup(nullptr);
    release();
    return 0;
}
