// vorn [options] [input [output]]: compresses a byte stream (vorn -d
// restores, as unvorn).
#include "programs/cli.h"

int main(int argc, char** argv) { return runprogram(false, argc, argv); }
