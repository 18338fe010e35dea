// Exact quotients by a multiplication instead of a division.
//
// Every decision of the range coder starts with unit = range / total. The
// division sits on the chain from one decision to the next, and a 32-bit
// division takes several times as long as a multiplication. For a divisor
// d, the reciprocal c = ceil(2^63 / d) gives floor(x / d) exactly as
// floor(c * x / 2^63) for every 32-bit x: c * d exceeds 2^63 by less than
// d, and d <= 2^31 keeps that excess below 2^(63 - 32), which bounds the
// error below one step of the quotient. The product is the high half of
// c times 2x, one 64 by 64 bit multiplication.
//
// The reciprocals of 1..recipmax are a constant table; the model's totals
// lie within it (the class, ring and run totals stay below 140, the lists'
// near 1000, the full table's at most 8000). Larger divisors, which only
// unusual streams give the lists, are divided.
#pragma once

#include <array>
#include <cstdint>

constexpr uint32_t recipmax = 8192;

constexpr std::array<uint64_t, recipmax + 1> make_recip_tbl()
{
    std::array<uint64_t, recipmax + 1> t{};
    for (uint32_t d = 1; d <= recipmax; ++d) t[d] = ((uint64_t{1} << 63) - 1) / d + 1;
    return t;
}
inline constexpr std::array<uint64_t, recipmax + 1> recip_tbl = make_recip_tbl();

// floor(x / d) for d >= 1.
inline uint32_t divide(uint32_t x, uint32_t d)
{
#if defined(__SIZEOF_INT128__)
    if (d <= recipmax) [[likely]] {
        const unsigned __int128 p = static_cast<unsigned __int128>(recip_tbl[d]) * (static_cast<uint64_t>(x) << 1);
        return static_cast<uint32_t>(p >> 64);
    }
#endif
    return x / d;
}
