// The main routine that Rked and Rkselect share: options, the program, the
// records, and Rked's final pass.
#include <cstdlib>

#include "rkl.h"
#include "tool.h"

namespace {

int32_t rsize = 4, tsize = 1, nsize = 1, psize = 1, osize = 1, qsize = 1, vsize = 1, wsize = 1, lsize = 1,
        debug = 0;
Setting settings[] = {{"rsize", &rsize}, {"tsize", &tsize}, {"nsize", &nsize}, {"psize", &psize},
                      {"osize", &osize}, {"qsize", &qsize}, {"vsize", &vsize}, {"wsize", &wsize},
                      {"lsize", &lsize}, {"debug", &debug}, {"digits", &number_digits}, {nullptr, nullptr}};

bool with_filename = false;
const char* program_file = nullptr;
const Input* current_input = nullptr;

bool option(int letter) {
    if (letter == 'F') with_filename = true;
    else if (letter == 'f') program_file = opt_arg;
    else return false;
    return true;
}

Area text, tree, names, table;

// A record as the programs write it: the file name first with -F.
void write_current() {
    bool named = with_filename && !rkl.final_pass && current_input;
    rkl_write_record(rkl.record, named ? current_input->name : nullptr);
}

// The fields the program only reads, for the note on names that match
// nothing: a field that the program assigns anywhere may well be absent
// from the input.
struct FieldUse {
    const RklFieldRef** assigned = nullptr;
    size_t count = 0, room = 0;
};

const RklFieldRef* field_ref(const RklNode* n) {
    if (n && n->kind == RKL_LBRACKET) n = n->left;
    return n && n->kind == RKL_FIELD ? reinterpret_cast<const RklFieldRef*>(n->left) : nullptr;
}

void note_assigned(RklNode* n, void* data) {
    FieldUse* use = static_cast<FieldUse*>(data);
    const RklFieldRef* target = n->kind == RKL_ASSIGN ? field_ref(n->left) : nullptr;
    if (target == nullptr) return;
    grow_table(use->assigned, use->room, use->count + 1)[use->count] = target;
    ++use->count;
}

void watch_read_field(RklNode* n, void* data) {
    const FieldUse* use = static_cast<const FieldUse*>(data);
    const RklFieldRef* ref = n->kind == RKL_FIELD ? field_ref(n) : nullptr;
    if (ref == nullptr) return;
    for (size_t i = 0; i < use->count; ++i)
        if (use->assigned[i]->length == ref->length && same_text(use->assigned[i]->name, ref->name, ref->length))
            return;
    watch_name(ref->name, size_t(ref->length));
}

void watch_read_fields(RklNode* root) {
    FieldUse use;
    rkl_each_node(root, note_assigned, &use);
    rkl_each_node(root, watch_read_field, &use);
    std::free(use.assigned);
}

}  // namespace

RklNode* rkl_load(const char* usage, int argc, char** argv) {
    ToolSpec spec = {usage, "FD:f:", settings, option, nullptr};
    spec.scan_goes_on = true;
    tool_start(spec, argc, argv);
    tool_area("rsize", &text);
    tool_area("nsize", &tree);
    tool_area("psize", &names);
    int used = 0;
    int first = int(args - (argv + 1));
    RklNode* root = rkl_parse(program_file, args, nargs, first, &used, &text, &tree, &names);
    exit_if_errors(2);
    watch_read_fields(root);
    args += used;
    nargs -= used;
    area_reset(&text);
    tool_area("tsize", &table);
    return rkl_prepare(root, &table, RklSizes{vsize, wsize, lsize, osize, qsize});
}

void rkl_run(RklNode* root, bool editing) {
    exit_if_errors(2);
    rkl.output = write_current;
    Input in;
    open_input(&in, INPUT_ALL_FILES);
    rkl.input = current_input = &in;
    while (Field* rec = next_record(&in, &text, &table)) {
        RklValue v = rkl_evaluate(root, rec);
        if (editing) {
            write_current();
        } else if (rec->start && rkl_true(v)) {
            if (with_filename) write_filename(in.name);
            rkl_restore_newlines(rec);
            write_record(rec);
        }
        area_reset(&table);
        area_reset(&text);
    }
    if (editing) {
        // The final pass: a record without fields, written only by OUTPUT.
        rkl.final_pass = true;
        input_name = nullptr;
        area_align(alignof(Field), &table);
        Field* none = static_cast<Field*>(area_alloc(sizeof(Field), &table));
        *none = Field{nullptr, nullptr, nullptr};
        rkl_evaluate(root, none);
    }
    tool_finish();
}
