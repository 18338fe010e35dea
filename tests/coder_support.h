// Helpers shared by the coder tests: a coder on memory.
#pragma once

#include <cstdint>

#include "coder/arith.h"
#include "coder/byteio.h"
#include "tests/harness.h"

// One coder with its own memory: what the encoder writes collects in sink
// until finish(); read() starts the decoder on a byte string.
struct coderig {
    arithcoder ac{};
    bytes sink;
    byteout out{};
    bytein in{};
    coderig()
    {
        out_attach_memory(&out, &sink);
        ac.out = &out;
        ac.in = &in;
    }
    void startencoding() { start_encoding(&ac, &out, 0); }
    bytes& finish()
    {
        out_flush(&out);
        return sink;
    }
    // Returns what start_decoding returns: the first byte, -1 if none.
    int read(const bytes& data)
    {
        in_attach_memory(&in, data.data(), data.size());
        return start_decoding(&ac, &in);
    }
};
