// The golden streams: for each input of tests/goldenrules.h, the stream
// that the format defines for it, written by an independent implementation
// and kept in tests/data/golden.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "tests/goldenrules.h"
#include "tests/testdata.h"

namespace goldendata {

using golden = goldenrule;

// Every golden input, in the order of the table.
inline const goldenrule (&goldens())[GOLDEN_COUNT] { return goldenrules; }

// The input of g, made by its rule and checked against its length and
// digest.
inline bytes input(const golden& g)
{
    bytes file;
    if (g.kind == golden_file || g.kind == golden_repeat) file = datafile(std::string("golden/") + g.file);
    bytes in(g.size);
    goldenmake(&g, in.data(), file.data(), file.size());
    EXPECT_EQ(fnv1a64(in), g.digest) << g.name << ": input differs from the recorded one";
    if (g.kind == golden_file) {
        EXPECT_EQ(file.size(), g.size) << g.name << ": a file of the wrong length";
    }
    return in;
}

inline bytes stream(const golden& g) { return datafile(std::string("golden/") + g.name + ".vn"); }

}  // namespace goldendata
