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

#include "common/stop.h"

#include <cassert>
#include <cstring>

namespace {

// Grows the storage to n slots. The old record array is released first,
// and cap is 0 while none is held, so a stop leaves a record to be freed.
void reserve(sortspace* space, uint32_t n)
{
    if (space->bucket == nullptr) space->bucket = takearray<uint32_t>(65536);
    if (n <= space->cap) return;
    space->record.reset();
    space->cap = 0;
    space->record = takearray<uint8_t>(size_t{n} * 3, arraykind::scattered);
    space->cap = n;
}

// A record: the high half of context e, then byte c.
inline void put(uint8_t* p, uint32_t e, uint8_t c)
{
    p[0] = static_cast<uint8_t>(e >> 16);
    p[1] = static_cast<uint8_t>(e >> 24);
    p[2] = c;
}

// Two bytes as a 16-bit half of a context: p[0] low, p[1] high.
inline uint32_t half(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
}

// How far ahead the first pass fetches the line that a later record goes to.
constexpr uint32_t lookahead = 16;

}  // namespace

uint32_t sorttrans(sortspace* space, uint8_t* block, uint32_t n, uint8_t* index)
{
    assert(n >= 4);
    // All storage is taken before the block is written, so a failure leaves
    // the caller's block as it was.
    reserve(space, n);
    uint32_t* const start = space->bucket.get();
    uint8_t* const rec = space->record.get();
    std::memset(start, 0, 65536 * sizeof(uint32_t));

    // Pair histogram: b[i]<<8 | b[i-1], the pair at i - 1 read as one
    // little-endian half.
    ++start[static_cast<uint32_t>(block[0]) << 8 | block[n - 1]];
    for (uint32_t i = 1; i < n; ++i) ++start[half(block + i - 1)];

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

    // First pass: distribute by the low half, in block order. The high
    // half and the byte go to one 3-byte record, so each step touches one
    // scattered line, which is fetched some steps ahead. For i >= 4 the
    // context's bytes lie in the block just before i: the low half of K(i)
    // is the half at i - 4, and the record is the three bytes at i - 2.
    uint32_t i = 0;
    for (; i < 4; ++i) {
        const uint8_t c = block[i];
        put(rec + size_t{start[e & 0xFFFF]++} * 3, e, c);
        e = (e >> 8) | (static_cast<uint32_t>(c) << 24);
    }
    const uint32_t ahead = n > lookahead ? n - lookahead : 0;
    for (; i < ahead; ++i) {
        __builtin_prefetch(rec + size_t{start[half(block + i + lookahead - 4)]} * 3, 1);
        std::memcpy(rec + size_t{start[half(block + i - 4)]++} * 3, block + i - 2, 3);
    }
    for (; i < n; ++i) std::memcpy(rec + size_t{start[half(block + i - 4)]++} * 3, block + i - 2, 3);

    // Second pass: distribute by the high half, last slot first, so that each
    // high-half bucket keeps the order of the first pass.
    for (uint32_t s = n; s-- > 0;) {
        const uint8_t* const p = rec + size_t{s} * 3;
        block[--start[half(p)]] = p[2];
    }
    return n;
}

void freesortspace(sortspace* space)
{
    *space = sortspace{};
}

void BWtrans(uint8_t*, uint32_t, uint8_t*)
{
    errorstop(err_bwtrans);
}
