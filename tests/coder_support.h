// Helpers shared by the coder tests: run the encoder into memory and the
// decoder from memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "coder/arith.h"
#include "tests/harness.h"

using bytes = std::vector<uint8_t>;

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
