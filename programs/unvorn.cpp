// unvorn [input [output]]: restores a stream written by vorn.
#include "programs/cli.h"
#include "programs/progress.h"

static const char version[] = "1.03a";

int main(int argc, char** argv)
{
    say(stderr, "unvorn version %s on ", version);
    openstreams("unvorn", argc, argv);
    return report("unvorn", decompress_stream(stderr), "memory allocation failure");
}
