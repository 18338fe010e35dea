// Helpers shared by the coder tests: run the encoder into memory and the
// decoder from memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "coder/arith.h"

using bytes = std::vector<uint8_t>;

inline bytes hexbytes(const std::string& hex)
{
    bytes out;
    unsigned v = 0;
    int digits = 0;
    for (char ch : hex) {
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

// Captures everything written through putbyte() until finish().
struct capture {
    bytes sink;
    capture() { out_attach_memory(&sink); }
    bytes& finish()
    {
        out_flush();
        out_attach_fd(1);
        return sink;
    }
};
