// What every fuzz target shares: the entry point libFuzzer calls, the
// findings, and the bounds on output. Streams run through the test
// harness's runstream (tests/streams.h).
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

#include "common/stop.h"
#include "tests/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fuzz {

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

// The most a decompression may write for one input: far above what the
// small inputs of a fuzz run can encode honestly, and small enough that a
// stream claiming endless output is cut off quickly.
constexpr size_t outputlimit = size_t{64} << 20;

}  // namespace fuzz
