#include "programs/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void badusage(const char* program, const char* what, const char* arg)
{
    std::fprintf(stderr, "%s: %s %s\n", program, what, arg);
    std::fprintf(stderr, "usage: %s [-cdqhV] [input [output]]   (%s -h for help)\n", program, program);
    std::exit(1);
}

// A long option: its name after "--", and the flag it sets.
bool longoption(options& o, const char* name)
{
    if (std::strcmp(name, "decompress") == 0) return o.decompress = true;
    if (std::strcmp(name, "stdout") == 0) return o.tostdout = true;
    if (std::strcmp(name, "quiet") == 0) return o.quiet = true;
    if (std::strcmp(name, "help") == 0) return o.help = true;
    if (std::strcmp(name, "version") == 0) return o.version = true;
    if (std::strcmp(name, "test") == 0) return o.test = true;
    return false;
}

bool shortoption(options& o, char c)
{
    switch (c) {
    case 'd': return o.decompress = true;
    case 'c': return o.tostdout = true;
    case 'q': return o.quiet = true;
    case 'h': return o.help = true;
    case 'V': return o.version = true;
    case 't': return o.test = true;
    default: return false;
    }
}

}  // namespace

options parseoptions(const char* program, bool decompress, int argc, char** argv)
{
    options o;
    o.decompress = decompress;
    bool optionsdone = false;
    int operands = 0;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!optionsdone && a[0] == '-' && a[1] != '\0') {
            if (std::strcmp(a, "--") == 0) {
                optionsdone = true;
            } else if (a[1] == '-') {
                if (!longoption(o, a + 2)) badusage(program, "unknown option", a);
            } else {
                for (const char* c = a + 1; *c != '\0'; ++c) {
                    if (!shortoption(o, *c)) {
                        const char letter[3] = {'-', *c, '\0'};
                        badusage(program, "unknown option", letter);
                    }
                }
            }
            continue;
        }
        // A lone "-" is the standard stream: the operand stays null.
        const char* const name = std::strcmp(a, "-") == 0 ? nullptr : a;
        if (operands == 0) o.input = name;
        if (operands == 1) o.output = name;
        o.operands.push_back(name);
        ++operands;
    }
    if (o.test) {
        // Every operand is an input to test; nothing is written.
        o.decompress = true;
        o.output = nullptr;
        return o;
    }
    if (o.tostdout && o.output != nullptr) badusage(program, "-c writes to standard output, not to", o.output);
    return o;
}

void printhelp(bool decompress)
{
    std::fputs(decompress ? "usage: unvorn [options] [input [output]]\n"
                            "       unvorn -t [options] [file ...]\n"
                            "Restores what vorn compressed: from input (a file, or standard input when\n"
                            "missing or -) to output (a file, or standard output when missing or -).\n"
                            "Streams that follow one another in the input are restored one by one.\n"
                          : "usage: vorn [options] [input [output]]\n"
                            "       vorn -t [options] [file ...]\n"
                            "Compresses input (a file, or standard input when missing or -) into output\n"
                            "(a file, or standard output when missing or -).\n",
               stdout);
    std::fputs("\n"
               "  -d, --decompress  restore instead of compress (as unvorn does)\n"
               "  -t, --test        test compressed files: restore each file given (standard\n"
               "                    input when none), write nothing, and name each one that\n"
               "                    is damaged, truncated, empty or followed by other bytes\n"
               "  -c, --stdout      write to standard output\n"
               "  -q, --quiet       no banner and no progress; failures are still reported\n"
               "  -h, --help        print this help and exit\n"
               "  -V, --version     print the program's name and version and exit\n"
               "  --                end of the options: what follows is input and output\n"
               "\n",
               stdout);
    std::fputs(decompress ? "Compressed data is never read from a terminal.\n"
                          : "Compressed data is never written to a terminal.\n",
               stdout);
    std::fputs("Input and output must not be the same file. A named output file is\n"
               "replaced, and removed again when the run fails or is stopped by a signal.\n"
               "Exit status: 0 done; 1 failed; 2 (restoring) the streams were restored,\n"
               "but bytes that begin no stream follow them. With -t, the worst file's.\n",
               stdout);
}
