// Running the built programs from tests: input from a file, standard output
// and standard error captured, exit status returned.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lib/format.h"
#include "tests/testdata.h"

inline const std::string bindir = VORN_BIN_DIR;

// A fresh folder for one test, removed at the end.
struct scratch {
    std::string dir;
    scratch()
    {
        char tmpl[] = "/tmp/vorntest.XXXXXX";
        dir = mkdtemp(tmpl);
    }
    ~scratch() { std::system(("rm -rf '" + dir + "'").c_str()); }
    std::string path(const std::string& name) const { return dir + "/" + name; }
};

// The bytes of a file the test made (an output may be empty or missing).
inline bytes readfile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void writefile(const std::string& path, const bytes& data)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline bytes text(const std::string& s) { return bytes(s.begin(), s.end()); }

// Text-like bytes: words from a small vocabulary, so that large inputs
// compress well and run fast.
inline bytes wordy(size_t n, unsigned seed)
{
    static const char* const words[] = {"the ",    "block ", "sorting ", "of ",   "contexts ", "and ",  "a ",  "range ",
                                        "coder\n", "model ", "ring ",    "list ", "symbol ",   "run ",  "length "};
    std::mt19937 rng(seed);
    bytes out;
    while (out.size() < n) {
        const char* w = words[rng() % 15];
        out.insert(out.end(), w, w + std::char_traits<char>::length(w));
    }
    out.resize(n);
    return out;
}

struct runresult {
    int status = -1;     // exit status, or 128 + signal
    bytes out;           // standard output
    std::string err;     // standard error
};

// Runs a shell command line with stdin from `input` (a file holding those
// bytes); captures stdout and stderr.
inline runresult runshell(const std::string& cmdline, const bytes& input)
{
    scratch s;
    writefile(s.path("in"), input);
    const std::string full = "ulimit -c 0; (" + cmdline + ") <'" + s.path("in") + "' >'" + s.path("out") + "' 2>'" + s.path("err") + "'";
    const int raw = std::system(full.c_str());
    runresult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    r.out = readfile(s.path("out"));
    const bytes err = readfile(s.path("err"));
    r.err.assign(err.begin(), err.end());
    return r;
}

inline runresult vorn(const bytes& input) { return runshell(bindir + "/vorn", input); }
inline runresult unvorn(const bytes& input) { return runshell(bindir + "/unvorn", input); }

// Offset of the first difference, or -1 when equal; for readable failures.
inline long firstdiff(const bytes& a, const bytes& b)
{
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return static_cast<long>(i);
    return a.size() == b.size() ? -1 : static_cast<long>(n);
}

// Where got and want part: the first differing offset and the bytes of
// both around it, in hex; empty when they are equal.
inline std::string diffreport(const bytes& got, const bytes& want)
{
    const long at = firstdiff(got, want);
    if (at < 0) return "";
    const auto around = [at](const bytes& b) {
        std::string s;
        char buf[8];
        const size_t here = static_cast<size_t>(at);
        for (size_t i = here >= 8 ? here - 8 : 0; i < b.size() && i < here + 8; ++i) {
            std::snprintf(buf, sizeof buf, i == here ? " [%02X]" : " %02X", b[i]);
            s.append(buf);
        }
        return s;
    };
    return "first difference at offset " + std::to_string(at) + " (lengths " + std::to_string(got.size()) + " and " +
           std::to_string(want.size()) + ")\n  got: " + around(got) + "\n want: " + around(want);
}
