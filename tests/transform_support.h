// Helpers shared by the transform tests: test blocks of several kinds, and
// corpus files cut or repeated to a size.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/harness.h"
#include "tests/testdata.h"

// Blocks of one kind and length: random bytes, a small alphabet (many equal
// contexts, so the tie-break by position matters), periodic data, and runs.
inline bytes makeblock(int kind, uint32_t n, std::mt19937& rng)
{
    bytes b(n);
    switch (kind) {
    case 0:
        for (auto& c : b) c = static_cast<uint8_t>(rng());
        break;
    case 1:
        for (auto& c : b) c = static_cast<uint8_t>('a' + rng() % 3);
        break;
    case 2: {
        const uint32_t period = 1 + rng() % 7;
        for (uint32_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i % period) * 37);
        if (n > 8) b[rng() % n] ^= 1;
        break;
    }
    default:
        for (uint32_t i = 0; i < n;) {
            const uint8_t c = static_cast<uint8_t>(rng() % 4);
            for (uint32_t r = 1 + rng() % 40; r > 0 && i < n; --r) b[i++] = c;
        }
        break;
    }
    return b;
}

// A corpus file, repeated or cut to size bytes; the caller has checked
// havecorpus().
inline bytes corpusblock(const char* name, size_t size) { return repeated(corpusfile(name), size); }
