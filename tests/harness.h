// What tests and fuzz replays share, without any test framework: the "which
// code stopped" helper built on the core's throwing stop handler, a quiet
// standard error for campaigns of many rejected inputs, a digest of byte
// strings and hex spelled byte strings.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "coder/stop.h"

using bytes = std::vector<uint8_t>;

// The stop code raised by fn, or 0 if it returned. The handler is restored
// to the process's default afterwards.
inline unsigned stopcode(const std::function<void()>& fn)
{
    stophandler = throwingstop;
    unsigned code = 0;
    try {
        fn();
    } catch (const stopped& s) {
        code = s.code;
    }
    stophandler = nullptr;
    return code;
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
