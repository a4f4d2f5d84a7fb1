// Rked: edits every record by an Rkl program, then runs the program once
// more after the input (EPILOGUE), where OUTPUT writes summary records.
#include "rkl.h"

static const char usage[] =
    "Rked [-options] program [input-file ..]\n"
    "\tedit Rk-records by the Rkl program.\n"
    "\tOptions:\n"
    "\t\t-F\tadds filename: field.\n"
    "\tCondition: field == value like form; see the manual.\n";

int main(int argc, char** argv) { rkl_run(rkl_load(usage, argc, argv), true); }
