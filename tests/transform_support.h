// Helpers shared by the transform tests: the transforms run on byte strings,
// test blocks of several kinds, and corpus files cut or repeated to a size.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/harness.h"
#include "tests/testdata.h"
#include "transform/sorttrans.h"
#include "transform/unsorttrans.h"

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

inline uint32_t indexof(const char* four)
{
    return static_cast<uint8_t>(four[0]) | static_cast<uint8_t>(four[1]) << 8 | static_cast<uint8_t>(four[2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(four[3])) << 24;
}

inline void histogram(const bytes& b, uint32_t* counts)
{
    for (uint32_t v = 0; v < 256; ++v) counts[v] = 0;
    for (const uint8_t c : b) ++counts[c];
}

// Sorts b in place, with space or storage of its own; returns the index.
inline uint32_t forward(bytes& b, sortspace* space = nullptr)
{
    sortspace own{};
    uint8_t index[4];
    sorttrans(space != nullptr ? space : &own, b.data(), static_cast<uint32_t>(b.size()), index);
    return indexof(reinterpret_cast<const char*>(index));
}

inline bytes inverse(const bytes& block, uint32_t index, unsortspace* space = nullptr)
{
    unsortspace own{};
    uint32_t counts[256];
    histogram(block, counts);
    bytes out(block.size());
    unsorttrans(space != nullptr ? space : &own, block.data(), out.data(), static_cast<uint32_t>(block.size()), index,
                counts);
    return out;
}

// Forward then inverse; returns the restored block.
inline bytes roundtrip(const bytes& input, unsortspace* space = nullptr)
{
    bytes b = input;
    const uint32_t index = forward(b);
    return inverse(b, index, space);
}

// The inverse through unsort_start and unsort_walk in stretches of 1 to
// most bytes, each after one of none. The walk needs neither block nor
// counts once started, so both are cleared then.
inline bytes stretched(unsortspace* space, bytes block, uint32_t index, std::mt19937& rng, uint32_t most)
{
    const uint32_t n = static_cast<uint32_t>(block.size());
    uint32_t counts[256];
    histogram(block, counts);
    unsort_start(space, block.data(), n, index, counts);
    std::fill(block.begin(), block.end(), 0);
    std::fill(counts, counts + 256, 0);
    bytes out(n);
    while (unsort_left(space) != 0) {
        EXPECT_FALSE(unsort_whole(space));
        uint8_t* const at = out.data() + (n - unsort_left(space));
        unsort_walk(space, at, 0);
        unsort_walk(space, at, 1 + rng() % most);
    }
    return out;
}

// Random bytes: `period` of them, repeated to n. Repeated once, nearly every
// (order-3 group, byte) of the transform has two slots.
inline bytes repeatedrandom(uint32_t n, uint32_t period, std::mt19937& rng)
{
    bytes b(n);
    for (uint32_t i = 0; i < n; ++i) b[i] = i < period ? static_cast<uint8_t>(rng()) : b[i - period];
    return b;
}
