#include "programs/cli.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "programs/cleanup.h"
#include "programs/progress.h"

const direction compressing{"vorn", "vorn Version %s on ", "1.04", "memory allocation error\n", compress_stream};
const direction restoring{"unvorn", "unvorn version %s on ", "1.03a", "memory allocation failure", decompress_stream};

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

[[noreturn]] void terminal(const direction& d)
{
    endline(stderr);
    if (&d == &compressing)
        std::fprintf(stderr,
                     "%s: compressed data is not written to a terminal; name an output file "
                     "(%s input output) or redirect standard output (%s input > output)\n",
                     d.name, d.name, d.name);
    else
        std::fprintf(stderr,
                     "%s: compressed data is not read from a terminal; name an input file "
                     "(%s input output) or redirect standard input (%s < input)\n",
                     d.name, d.name, d.name);
    std::exit(1);
}

// Input and output are one regular file: reading it while it is rewritten
// would destroy it. Devices and pipes may well be shared.
bool samefile(const struct stat& in, const struct stat& out)
{
    return S_ISREG(in.st_mode) && S_ISREG(out.st_mode) && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

[[noreturn]] void same(const direction& d)
{
    endline(stderr);
    std::fprintf(stderr, "%s: %s and %s are the same file; nothing was written\n", d.name, inputname, outputname);
    std::exit(1);
}

}  // namespace

streamfiles openstreams(const direction& d, const options& o, std::FILE* progress)
{
    streamfiles files;
    const bool compress = &d == &compressing;
    if (compress ? o.output == nullptr && isatty(1) : o.input == nullptr && isatty(0)) terminal(d);

    say(progress, d.banner, d.version);
    int infd = 0;
    if (o.input != nullptr) {
        inputname = o.input;
        infd = open(inputname, O_RDONLY | O_CLOEXEC);
        if (infd < 0) cannotopen(d.name, "input", inputname);
        files.in = infd;
        if (!compress && isatty(infd)) terminal(d);
    }
    say(progress, "%s to ", inputname);

    struct stat in {};
    struct stat out {};
    const bool known = fstat(infd, &in) == 0;
    if (o.output != nullptr) {
        outputname = o.output;
        if (known && stat(outputname, &out) == 0 && samefile(in, out)) same(d);
        const int fd = openoutput(outputname);
        if (fd < 0) cannotopen(d.name, "output", outputname);
        files.out = fd;
        if (compress && isatty(fd)) terminal(d);
    } else if (known && fstat(1, &out) == 0 && samefile(in, out)) {
        same(d);
    }
    say(progress, "%s\n", outputname);
    return files;
}

int report(const direction& d, const streamresult& result)
{
    const streamstatus status = result.status;
    if (status == stream_ok) return 0;  // a raw tail's message stays without newline
    if (status != stream_stopped) endline(stderr);
    switch (status) {
    case stream_ok: return 0;
    case stream_readerror:
        std::fprintf(stderr, "%s: error reading %s: %s\n", d.name, inputname, std::strerror(result.err));
        return 1;
    case stream_writeerror:
        std::fprintf(stderr, "%s: error writing %s: %s\n", d.name, outputname, std::strerror(result.err));
        return 1;
    case stream_empty: std::fputs("error reading input\n", stderr); return 1;
    case stream_truncated:
        std::fprintf(stderr, "%s: %s: the compressed stream ends too early (truncated or damaged)\n", d.name,
                     inputname);
        return 1;
    case stream_damaged:
        std::fprintf(stderr, "%s: %s: not a valid compressed stream (damaged)\n", d.name, inputname);
        return 1;
    case stream_trailing:
        std::fprintf(stderr, "%s: %s: data after the end of the compressed stream ignored\n", d.name, inputname);
        return 2;
    case stream_stopped:
        // The core's own report, on the line the progress left open.
        std::fprintf(stderr, "Error #%x\n", result.stopcode);
        return 1;
    case stream_nomemory: std::fputs(d.nomemory, stderr); return 1;
    }
    return 1;
}

int runprogram(bool decompress, int argc, char** argv)
{
    const options o = parseoptions(decompress ? restoring.name : compressing.name, decompress, argc, argv);
    const direction& d = o.decompress ? restoring : compressing;
    if (o.help || o.version) {
        if (o.help)
            printhelp(o.decompress);
        else
            std::printf("%s %s\n", d.name, d.version);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }

    std::FILE* const progress = o.quiet ? nullptr : stderr;
    const streamfiles files = openstreams(d, o, progress);
    const int status = report(d, d.run(files.in, files.out, progress));
    if (status == 1)
        dropoutput();
    else
        keepoutput();
    return status;
}
