// Forward sort transform: a least-significant-first radix sort of the 32-bit
// cyclic contexts by their two 16-bit halves, done as two stable counting
// passes that share one histogram.
//
// The pair histogram counts every adjacent byte pair (b[i], b[i-1]) once.
// Because positions wrap around, that multiset equals both the multiset of
// high halves (b[i-1], b[i-2]) and of low halves (b[i-3], b[i-4]) of the
// contexts, so one set of bucket starts serves both passes: the first pass
// leaves every bucket pointer at the end of its bucket, which is exactly
// where the second pass, filling buckets from the back, has to begin.
#include "transform/sorttrans.h"

#include "coder/stop.h"

#include <cassert>
#include <cstdlib>
#include <memory>

namespace {

struct freeer {
    void operator()(void* p) const { std::free(p); }
};

template <typename T>
using heaparray = std::unique_ptr<T[], freeer>;

template <typename T>
heaparray<T> takearray(size_t count, bool zeroed)
{
    void* p = zeroed ? std::calloc(count, sizeof(T)) : std::malloc(count * sizeof(T));
    if (p == nullptr) errorstop(err_workspace);
    return heaparray<T>(static_cast<T*>(p));
}

}  // namespace

uint32_t sorttrans(uint8_t* block, uint32_t n, uint8_t* index)
{
    assert(n >= 4);
    // All storage is taken before the block is written, so a failure leaves
    // the caller's block as it was.
    heaparray<uint32_t> bucket = takearray<uint32_t>(65536, true);
    heaparray<uint16_t> high = takearray<uint16_t>(n, false);
    heaparray<uint8_t> bytes = takearray<uint8_t>(n, false);
    uint32_t* const start = bucket.get();
    uint16_t* const hi = high.get();
    uint8_t* const by = bytes.get();

    // Pair histogram: a = b[i]<<8 | b[i-1].
    uint32_t a = static_cast<uint32_t>(block[n - 1]) << 8;
    for (uint32_t i = 0; i < n; ++i) {
        a = (a >> 8) | (static_cast<uint32_t>(block[i]) << 8);
        ++start[a];
    }

    // Bucket starts, accumulated from the top.
    uint32_t r = n;
    for (uint32_t k = 65536; k-- > 0;) {
        r -= start[k];
        start[k] = r;
    }

    uint32_t e = static_cast<uint32_t>(block[n - 1]) << 24 | static_cast<uint32_t>(block[n - 2]) << 16 |
                 static_cast<uint32_t>(block[n - 3]) << 8 | block[n - 4];
    index[0] = block[n - 4];
    index[1] = block[n - 3];
    index[2] = block[n - 2];
    index[3] = block[n - 1];

    // First pass: distribute by the low half, in block order (e == K(i)).
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t slot = start[e & 0xFFFF]++;
        const uint8_t c = block[i];
        hi[slot] = static_cast<uint16_t>(e >> 16);
        by[slot] = c;
        e = (e >> 8) | (static_cast<uint32_t>(c) << 24);
    }

    // Second pass: distribute by the high half, last slot first, so that each
    // high-half bucket keeps the order of the first pass.
    for (uint32_t s = n; s-- > 0;) {
        block[--start[hi[s]]] = by[s];
    }
    return n;
}

void BWtrans(uint8_t*, uint32_t, uint8_t*)
{
    errorstop(err_bwtrans);
}
