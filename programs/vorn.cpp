// vorn [input [output]]: compresses a byte stream.
#include "programs/cli.h"
#include "programs/progress.h"

static const char version[] = "1.04";

int main(int argc, char** argv)
{
    say(stderr, "vorn Version %s on ", version);
    openstreams("vorn", argc, argv);
    return report("vorn", compress_stream(stderr), "memory allocation error\n");
}
