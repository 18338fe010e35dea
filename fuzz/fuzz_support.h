// What every fuzz target shares: the entry point libFuzzer calls, a stop
// handler that turns errorstop() into an exception the target can tell from
// a real fault, a quiet standard error, and the bounds on output.
//
// A target treats errorstop(err_corrupt) as a clean rejection of damaged
// data and every other stop code as a finding. It reports a finding with
// fuzzfail(), which prints what broke and aborts, so libFuzzer and the
// replay program both see a crash and keep the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "coder/stop.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fuzz {

// What a stop throws; code is the errorstop() code.
struct stopped {
    unsigned code;
};

inline void throwingstop(unsigned code) { throw stopped{code}; }

// A finding: says what went wrong and ends the run abnormally.
[[noreturn]] inline void fuzzfail(const char* what)
{
    std::fprintf(stdout, "fuzz finding: %s\n", what);
    std::fflush(stdout);
    std::abort();
}

inline void require(bool holds, const char* what)
{
    if (!holds) fuzzfail(what);
}

// Rejections print "Error #6601" through the C stream stderr; in a run of
// millions of inputs that is noise. While one of these lives, stderr points
// at /dev/null. Sanitizer reports are unaffected: they write straight to
// file descriptor 2. The throwing stop handler is installed at the same time.
struct quietstops {
    std::FILE* saved;
    quietstops() : saved(stderr)
    {
        static std::FILE* const devnull = std::fopen("/dev/null", "w");
        if (devnull != nullptr) stderr = devnull;
        stophandler = throwingstop;
    }
    ~quietstops()
    {
        stophandler = nullptr;
        stderr = saved;
    }
    quietstops(const quietstops&) = delete;
    quietstops& operator=(const quietstops&) = delete;
};

// The most a decompression may write for one input: far above what the
// small inputs of a fuzz run can encode honestly, and small enough that a
// stream claiming endless output is cut off quickly.
constexpr size_t outputlimit = size_t{64} << 20;

}  // namespace fuzz
