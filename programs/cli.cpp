#include "programs/cli.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "lib/vorn.h"
#include "programs/cleanup.h"

const direction compressing{"vorn", "vorn Version %s on ", "1.04", "memory allocation error\n", compress_stream};
const direction restoring{"unvorn", "unvorn version %s on ", "1.03a", "memory allocation failure", decompress_stream};

namespace {

[[noreturn]] void cannotopen(programrun* r, const char* what, const char* path)
{
    const int err = errno;
    endline(&r->messages);
    std::fprintf(stderr, "%s: cannot open %s %s: %s\n", r->d->name, what, path, std::strerror(err));
    std::exit(1);
}

[[noreturn]] void terminal(programrun* r)
{
    const char* const name = r->d->name;
    endline(&r->messages);
    if (r->d == &compressing)
        std::fprintf(stderr,
                     "%s: compressed data is not written to a terminal; name an output file "
                     "(%s input output) or redirect standard output (%s input > output)\n",
                     name, name, name);
    else
        std::fprintf(stderr,
                     "%s: compressed data is not read from a terminal; name an input file "
                     "(%s input output) or redirect standard input (%s < input)\n",
                     name, name, name);
    std::exit(1);
}

// Input and output are one regular file: reading it while it is rewritten
// would destroy it. Devices and pipes may well be shared.
bool samefile(const struct stat& in, const struct stat& out)
{
    return S_ISREG(in.st_mode) && S_ISREG(out.st_mode) && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

[[noreturn]] void same(programrun* r)
{
    endline(&r->messages);
    std::fprintf(stderr, "%s: %s and %s are the same file; nothing was written\n", r->d->name, r->inputname,
                 r->outputname);
    std::exit(1);
}

}  // namespace

void openstreams(programrun* r, const options& o)
{
    const bool compress = r->d == &compressing;
    if (compress ? o.output == nullptr && isatty(1) : o.input == nullptr && isatty(0)) terminal(r);

    say(&r->messages, r->d->banner, r->d->version);
    if (o.input != nullptr) {
        r->inputname = o.input;
        r->in = open(o.input, O_RDONLY | O_CLOEXEC);
        if (r->in < 0) cannotopen(r, "input", o.input);
        if (!compress && isatty(r->in)) terminal(r);
    }
    say(&r->messages, "%s to ", r->inputname);

    struct stat in {};
    struct stat out {};
    const bool known = fstat(r->in, &in) == 0;
    if (o.output != nullptr) {
        r->outputname = o.output;
        if (known && stat(o.output, &out) == 0 && samefile(in, out)) same(r);
        r->out = openoutput(o.output);
        if (r->out < 0) cannotopen(r, "output", o.output);
        if (compress && isatty(r->out)) terminal(r);
    } else if (known && fstat(1, &out) == 0 && samefile(in, out)) {
        same(r);
    }
    say(&r->messages, "%s\n", r->outputname);
}

const char* const truncatedtext = "the compressed stream ends too early (truncated or damaged)";
const char* const damagedtext = "not a valid compressed stream (damaged)";
const char* const trailingtext = "data after the end of the compressed stream";

int exitstatus(const streamresult& result)
{
    if (result.io != iofailure::none) return 1;
    if (result.status >= 0) return 0;
    return result.status == VORN_E_TRAILING && result.stopcode == 0 ? 2 : 1;
}

int report(programrun* r, const streamresult& result)
{
    const direction& d = *r->d;
    if (result.io != iofailure::none) {
        endline(&r->messages);
        const bool reading = result.io == iofailure::reading;
        std::fprintf(stderr, "%s: error %s %s: %s\n", d.name, reading ? "reading" : "writing",
                     reading ? r->inputname : r->outputname, std::strerror(result.err));
        return 1;
    }
    if (result.status >= 0) return 0;  // a raw tail's message stays without newline
    if (result.stopcode != 0) {
        // The core's own report, on the line the progress left open.
        std::fprintf(stderr, "Error #%x\n", result.stopcode);
        return 1;
    }
    endline(&r->messages);
    switch (result.status) {
    case VORN_E_EMPTY: std::fputs("error reading input\n", stderr); return 1;
    case VORN_E_TRUNCATED: std::fprintf(stderr, "%s: %s: %s\n", d.name, r->inputname, truncatedtext); break;
    case VORN_E_TRAILING: std::fprintf(stderr, "%s: %s: %s ignored\n", d.name, r->inputname, trailingtext); break;
    case VORN_E_NOMEMORY: std::fputs(d.nomemory, stderr); break;
    default: std::fprintf(stderr, "%s: %s: %s\n", d.name, r->inputname, damagedtext); break;
    }
    return exitstatus(result);
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

    if (o.test) return testfiles(o);

    programrun r;
    r.d = &d;
    r.messages.to = o.quiet ? nullptr : stderr;
    openstreams(&r, o);
    const int status = report(&r, d.run(r.in, r.out, &r.messages));
    if (status == 1)
        dropoutput();
    else
        keepoutput();
    return status;
}
