// The golden streams: for each input of tests/data/golden, the stream that
// the format defines for it, written by an independent implementation.
// Some inputs are kept as files, the others are made here by fixed rules.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/testdata.h"

namespace goldendata {

inline bytes hash100k()
{
    bytes b(100000);
    for (uint32_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>((i * 2654435761u) >> 24);
    return b;
}

inline bytes xorshift64k()
{
    bytes b(65536);
    uint32_t x = 2463534242u;
    for (uint8_t& c : b) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<uint8_t>(x);
    }
    return b;
}

inline bytes steps250k()
{
    bytes b;
    for (uint32_t k = 0; b.size() < 250000; ++k) b.insert(b.end(), 1 + (k * 53) % 500, static_cast<uint8_t>(k));
    b.resize(250000);
    return b;
}

struct golden {
    const char* name;
    size_t size;      // of the input
    uint64_t digest;  // of the input, guarding the rules and the files
    std::function<bytes()> make;
};

inline const std::vector<golden>& goldens()
{
    static const std::vector<golden> all = {
        {"grammar.lsp", 3721, 0xF79E4B3D0BB30B76u, [] { return datafile("golden/grammar.lsp"); }},
        {"alice29.txt", 152089, 0xFDC9AA73646EC76Eu, [] { return datafile("golden/alice29.txt"); }},
        {"hash100k", 100000, 0xDE7C8A81746B1E92u, hash100k},
        {"xorshift64k", 65536, 0x98ACDB15E0C1C402u, xorshift64k},
        {"steps250k", 250000, 0x5AABF6F8060CB5B5u, steps250k},
        {"alice_2m+3", 2097155, 0xC57189F1A8F3E4D7u, [] { return textblock(2097155); }},
        {"zeros_4m+5", 4194309, 0xBB7C016A342BE94Fu, [] { return bytes(4194309, 0); }},
    };
    return all;
}

inline bytes input(const golden& g)
{
    bytes in = g.make();
    EXPECT_EQ(in.size(), g.size) << g.name << ": input of the wrong length";
    EXPECT_EQ(fnv1a64(in), g.digest) << g.name << ": input differs from the recorded one";
    return in;
}

inline bytes stream(const golden& g) { return datafile(std::string("golden/") + g.name + ".vn"); }

}  // namespace goldendata
