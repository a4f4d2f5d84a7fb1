// Private to lib/rkl: the state shared by the tokenizer (tokens.cpp), the
// grammar (grammar.y) and the tree builder (tree.cpp) while one program is
// parsed.
//
// While the tree grows, the areas it lives in may move, so every reference
// into them is a handle: the offset from the area's base plus one (0 is no
// reference). Nodes are handles into the tree area; a CONST or FIELD leaf's
// left operand, an RklValue's items, each string of a constant and an
// RklFieldRef's name are handles into the names area. The handles sit in
// the pointer fields themselves until rkl_parse turns them into pointers.
#pragma once

#include <cstdint>

#include "rkl.h"

struct RklParser {
    RklWords w;
    Area* words;  // the word being read
    Area* tree;   // the nodes, from tree_from on, one after the other
    Area* names;  // field names, constants and their strings
    size_t tree_from;
    int prev;    // the last token returned (RKL_END at the start)
    bool done;   // the program has ended: only RKL_END from now on
    // A word of a program file read ahead and given back (a command-line
    // word is pushed back to its argument instead): kept at the head of
    // the words area, with its place; `none` when it was the end.
    struct {
        bool held, none, ended;
        size_t at;
        int line, column;
    } ahead;
    // The place of the word before the last one, restored by a give-back.
    int before_line, before_column;
    uintptr_t root;
};

// The next token (RKL_END when the program has ended); *value is the leaf
// built for CONST, FIELD, VAR and STATIC, else the token itself.
int rkl_lex(RklParser* p, uintptr_t* value);

// A new node; left and right are handles (or, for VAR and STATIC leaves,
// the variable's address). May grow the tree area.
uintptr_t rkl_node(RklParser* p, int kind, uintptr_t left, uintptr_t right);
// The kind and the left operand of a node given by its handle.
int rkl_node_kind(const RklParser* p, uintptr_t node);
uintptr_t rkl_node_left(const RklParser* p, uintptr_t node);

// The address a handle stands for in an area (null for 0).
inline char* rkl_at(const Area* area, uintptr_t handle) {
    return handle ? area->base + (handle - 1) : nullptr;
}
inline uintptr_t rkl_handle(const Area* area, const void* p) {
    return uintptr_t(static_cast<const char*>(p) - area->base) + 1;
}

// Runs the grammar over the tokens; leaves the root's handle in p->root.
void rkl_run_grammar(RklParser* p);

// The parser's grown state stack (see grammar.y): at most one at a time.
void* rkl_stack_alloc(size_t size);
void rkl_stack_free(void* block);
