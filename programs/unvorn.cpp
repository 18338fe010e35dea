// unvorn [options] [input [output]]: restores a stream written by vorn.
#include "programs/cli.h"

int main(int argc, char** argv) { return runprogram(true, argc, argv); }
