// The command line of both programs: options first (short ones may be
// combined, as in -cd), then up to two operands, input and output, or with
// -t any number of input files. "--" ends the options; a lone "-" names
// standard input or output. Further operands are ignored.
#pragma once

#include <vector>

struct options {
    bool decompress = false;    // -d: restore; unvorn starts with it set
    bool tostdout = false;      // -c: write to standard output
    bool quiet = false;         // -q: no banner, no progress
    bool help = false;          // -h: usage on standard output
    bool version = false;       // -V: name and version on standard output
    bool test = false;          // -t: restore every operand, write nothing (implies -d)
    const char* input = nullptr;   // null: standard input
    const char* output = nullptr;  // null: standard output
    std::vector<const char*> operands;  // all of them, in order (null: standard input)
};

// Reads argv. An unknown option, or -c with an output file, is reported on
// standard error with the usage line, and the program ends with status 1
// before anything is opened. `program` names the program in messages.
options parseoptions(const char* program, bool decompress, int argc, char** argv);

// The usage text of the given direction, as -h prints it.
void printhelp(bool decompress);
