// The syntax tree of an Rkl program: nodes built with handles while the
// areas may move, and the one pass that turns the handles into pointers.
#include <cstdlib>

#include "parser.h"
#include "wregex.h"

uintptr_t rkl_node(RklParser* p, int kind, uintptr_t left, uintptr_t right) {
    auto* n = static_cast<RklNode*>(area_alloc(sizeof(RklNode), p->tree));
    *n = RklNode{};
    n->kind = kind;
    n->left = reinterpret_cast<RklNode*>(left);
    n->right = reinterpret_cast<RklNode*>(right);
    return rkl_handle(p->tree, n);
}

int rkl_node_kind(const RklParser* p, uintptr_t node) {
    return reinterpret_cast<const RklNode*>(rkl_at(p->tree, node))->kind;
}

uintptr_t rkl_node_left(const RklParser* p, uintptr_t node) {
    return reinterpret_cast<uintptr_t>(reinterpret_cast<const RklNode*>(rkl_at(p->tree, node))->left);
}

namespace {

template <typename T, typename H>
T* at(const Area* area, H* handle) {
    return reinterpret_cast<T*>(rkl_at(area, reinterpret_cast<uintptr_t>(handle)));
}

// Every node of this parse lies between tree_from and the head, one after
// the other (the area never wraps while it only grows), and every leaf's
// value belongs to that leaf alone: one sweep translates each handle once.
void resolve(RklParser* p) {
    const Area* tree = p->tree;
    const Area* names = p->names;
    for (char* c = tree->base + p->tree_from; c + sizeof(RklNode) <= tree->head; c += sizeof(RklNode)) {
        auto* n = reinterpret_cast<RklNode*>(c);
        switch (n->kind) {
        case RKL_CONST: {
            auto* v = at<RklValue>(names, n->left);
            auto** strings = at<wchar_t*>(names, v->items);
            for (int32_t i = 0; i < v->count; ++i) strings[i] = at<wchar_t>(names, strings[i]);
            v->items = strings;
            n->left = reinterpret_cast<RklNode*>(v);
            break;
        }
        case RKL_FIELD: {
            auto* f = at<RklFieldRef>(names, n->left);
            f->name = at<wchar_t>(names, f->name);
            n->left = reinterpret_cast<RklNode*>(f);
            break;
        }
        case RKL_VAR:
        case RKL_STATIC:  // the variable's address already
            break;
        default:
            n->left = at<RklNode>(tree, n->left);
            n->right = at<RklNode>(tree, n->right);
            break;
        }
    }
}

}  // namespace

// What a parse stopped by a fatal message (from a hook that does not end the
// process) leaves behind: its program file and its grown stack, freed by the
// next parse.
static RklWords open_words;
static void* grown_stack = nullptr;

void* rkl_stack_alloc(size_t size) {
    grown_stack = std::malloc(size);
    return grown_stack;
}

void rkl_stack_free(void* block) {
    if (block == grown_stack) grown_stack = nullptr;
    std::free(block);
}

RklNode* rkl_parse(const char* path, char** args, int nargs, int first, int* used, Area* words, Area* tree,
                   Area* names) {
    wreg_error = rkl_regex_error;
    rkl_words_close(&open_words);
    open_words = RklWords{};
    rkl_stack_free(grown_stack);
    RklParser p{};
    if (path)
        rkl_words_from_file(&p.w, path);
    else
        rkl_words_from_args(&p.w, args, nargs, first);
    open_words = p.w;
    p.words = words;
    p.tree = tree;
    p.names = names;
    p.prev = RKL_END;
    area_align(alignof(RklNode), tree);
    p.tree_from = size_t(tree->head - tree->base);
    rkl_run_grammar(&p);
    rkl_check_last_word(&p.w);
    resolve(&p);
    // The word that ended the program, if any, was pushed back.
    *used = path ? 0 : p.w.next < nargs ? p.w.next : nargs;
    rkl_words_close(&p.w);
    open_words = RklWords{};
    return reinterpret_cast<RklNode*>(rkl_at(tree, p.root));
}
