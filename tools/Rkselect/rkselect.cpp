// Rkselect: writes the records for which an Rkl condition holds, unchanged.
#include "rkl.h"

static const char usage[] =
    "Rkselect [-options] condition [input-file ..]\n"
    "\tsearch Rk-records by conditional expression.\n"
    "\tOptions:\n"
    "\t\t-F\tadds filename: field.\n"
    "\tCondition: field == value like form; see the manual.\n";

// A condition only reads the record: assignments to fields and OUTPUT are
// refused before any input is read. Variables may be assigned.
static void refuse_changes(RklNode* n, void*) {
    if (n->kind == RKL_OUTPUT) warn(WARN_ERROR, "OUTPUT is not allowed in Rkselect.\n");
    if (n->kind == RKL_ASSIGN) {
        const RklNode* target = n->left->kind == RKL_LBRACKET ? n->left->left : n->left;
        if (target->kind == RKL_FIELD || target->kind == RKL_FIELDS)
            warn(WARN_ERROR, "invalid left hand of '=' for Rkselect.\n");
    }
}

int main(int argc, char** argv) {
    RklNode* root = rkl_load(usage, argc, argv);
    exit_if_errors(2);
    rkl_each_node(root, refuse_changes, nullptr);
    rkl_run(root, false);
}
