#include "programs/cli.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

#include "coder/byteio.h"
#include "programs/progress.h"

namespace {

const char* inputname = "stdin";
const char* outputname = "stdout";

[[noreturn]] void cannotopen(const char* program, const char* what, const char* path)
{
    const int err = errno;
    endline(stderr);
    std::fprintf(stderr, "%s: cannot open %s %s: %s\n", program, what, path, std::strerror(err));
    std::exit(1);
}

}  // namespace

void openstreams(const char* program, int argc, char** argv)
{
    if (argc > 1) {
        inputname = argv[1];
        const int fd = open(inputname, O_RDONLY | O_CLOEXEC);
        if (fd < 0) cannotopen(program, "input", inputname);
        in_attach_fd(fd);
    }
    say(stderr, "%s to ", inputname);
    if (argc > 2) {
        outputname = argv[2];
        const int fd = open(outputname, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) cannotopen(program, "output", outputname);
        out_attach_fd(fd);
    }
    say(stderr, "%s\n", outputname);
}

int report(const char* program, streamstatus status, const char* nomemory)
{
    if (status == stream_ok) return 0;  // a raw tail's message stays without newline
    if (status != stream_stopped) endline(stderr);
    switch (status) {
    case stream_ok: return 0;
    case stream_readerror:
        std::fprintf(stderr, "%s: error reading %s: %s\n", program, inputname, std::strerror(in_errno));
        return 1;
    case stream_writeerror:
        std::fprintf(stderr, "%s: error writing %s: %s\n", program, outputname, std::strerror(out_errno));
        return 1;
    case stream_empty: std::fputs("error reading input\n", stderr); return 1;
    case stream_truncated:
        std::fprintf(stderr, "%s: %s: the compressed stream ends too early (truncated or damaged)\n", program,
                     inputname);
        return 1;
    case stream_damaged:
        std::fprintf(stderr, "%s: %s: not a valid compressed stream (damaged)\n", program, inputname);
        return 1;
    case stream_trailing:
        std::fprintf(stderr, "%s: %s: data after the end of the compressed stream ignored\n", program, inputname);
        return 2;
    case stream_stopped:
        // The core's own report, on the line the progress left open.
        std::fprintf(stderr, "Error #%x\n", streamstop);
        std::fflush(stderr);
        std::abort();
    case stream_nomemory: break;
    }
    std::fputs(nomemory, stderr);
    std::abort();
}
