// What tests and fuzz replays share, without any test framework: the "which
// code stopped" helper, a digest of byte strings and hex spelled byte
// strings.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "coder/stop.h"

using bytes = std::vector<uint8_t>;

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
