// What tests and fuzz replays share, without any test framework: the "which
// code stopped" helper, a digest of byte strings and hex spelled byte
// strings.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/stop.h"

using bytes = std::vector<uint8_t>;

// n random bytes, the same for the same seed.
inline bytes randombytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    bytes b(n);
    for (uint8_t& c : b) c = static_cast<uint8_t>(rng());
    return b;
}

// The stop code raised by fn, or 0 if it returned.
inline unsigned stopcode(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const stopped& s) {
        return s.code;
    }
    return 0;
}

// What a call that writes bytes in order into a buffer of n bytes wrote
// before it returned or stopped, and its stop code (0 if none). It runs
// twice, into buffers filled with two different bytes: a byte it wrote is
// the same in both, one it did not write differs, so the bytes written
// are the longest prefix on which the two agree.
struct partial {
    unsigned code;
    bytes written;
    bool operator==(const partial&) const = default;
};

inline partial writtenprefix(size_t n, const std::function<void(uint8_t*)>& call)
{
    bytes a(n, 0x00), b(n, 0xFF);
    const unsigned code = stopcode([&] { call(a.data()); });
    const unsigned again = stopcode([&] { call(b.data()); });
    size_t k = 0;
    while (k < n && a[k] == b[k]) ++k;
    a.resize(k);
    return {code == again ? code : ~0u, a};
}

// 64-bit FNV-1a digest: a short, fixed fingerprint of a long input or stream.
inline uint64_t fnv1a64(const bytes& data)
{
    uint64_t h = 0xCBF29CE484222325u;
    for (const uint8_t b : data) {
        h ^= b;
        h *= 0x100000001B3u;
    }
    return h;
}

// Bytes written as hex digit pairs; anything that is not a hex digit (the
// spaces between pairs) is skipped.
inline bytes hexbytes(const std::string& hex)
{
    bytes out;
    unsigned v = 0;
    int digits = 0;
    for (const char ch : hex) {
        int d;
        if (ch >= '0' && ch <= '9') d = ch - '0';
        else if (ch >= 'A' && ch <= 'F') d = ch - 'A' + 10;
        else if (ch >= 'a' && ch <= 'f') d = ch - 'a' + 10;
        else continue;
        v = v * 16 + static_cast<unsigned>(d);
        if (++digits == 2) {
            out.push_back(static_cast<uint8_t>(v));
            v = 0;
            digits = 0;
        }
    }
    return out;
}
