// -t: the integrity test of many files at once. Each file is restored
// whole, as unvorn restores it, and the restored bytes are dropped; nothing
// is written anywhere, and no file is made. A file that fails is named on
// standard error with what is wrong, and the test goes on with the next.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "lib/vorn.h"
#include "programs/cli.h"

namespace {

// Names a failed file: one line, "unvorn: NAME: what is wrong".
void namefailure(progress* p, const char* name, const char* what, const char* detail = nullptr)
{
    endline(p);
    if (detail != nullptr)
        std::fprintf(stderr, "%s: %s: %s: %s\n", restoring.name, name, what, detail);
    else
        std::fprintf(stderr, "%s: %s: %s\n", restoring.name, name, what);
}

// Tests one file (null: standard input); returns its exit status.
int testone(progress* p, const char* path)
{
    const char* const name = path != nullptr ? path : "stdin";
    const int fd = path != nullptr ? open(path, O_RDONLY | O_CLOEXEC) : 0;
    if (fd < 0) {
        namefailure(p, name, "cannot open", std::strerror(errno));
        return 1;
    }
    if (isatty(fd)) {
        namefailure(p, name, "compressed data is not read from a terminal");
        if (fd != 0) close(fd);
        return 1;
    }
    const streamresult result = decompress_stream(fd, -1, p);
    if (fd != 0) close(fd);

    char code[32];
    if (result.io != iofailure::none) {
        namefailure(p, name, "error reading", std::strerror(result.err));
    } else if (result.status >= 0) {
        return 0;
    } else if (result.stopcode != 0) {
        std::snprintf(code, sizeof code, "Error #%x", result.stopcode);
        namefailure(p, name, damagedtext, code);
    } else {
        switch (result.status) {
        case VORN_E_EMPTY: namefailure(p, name, "the file is empty"); break;
        case VORN_E_TRUNCATED: namefailure(p, name, truncatedtext); break;
        case VORN_E_TRAILING: namefailure(p, name, trailingtext); break;
        case VORN_E_NOMEMORY: namefailure(p, name, restoring.nomemory); break;
        default: namefailure(p, name, damagedtext); break;
        }
    }
    return exitstatus(result);
}

// The worse of two exit statuses: a failure (1) before trailing bytes (2).
int worse(int a, int b)
{
    if (a == 1 || b == 1) return 1;
    return a > b ? a : b;
}

}  // namespace

int testfiles(const options& o)
{
    progress p;
    p.to = o.quiet ? nullptr : stderr;
    const std::vector<const char*> none{nullptr};
    const std::vector<const char*>& files = o.operands.empty() ? none : o.operands;
    say(&p, restoring.banner, restoring.version);
    say(&p, "%zu file%s, testing\n", files.size(), files.size() == 1 ? "" : "s");
    int status = 0;
    for (const char* path : files) {
        endline(&p);  // a raw tail's message leaves its line open
        status = worse(status, testone(&p, path));
    }
    endline(&p);
    return status;
}
