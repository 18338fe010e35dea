// The decoder's walk through the recency ring's counts to the slot that a
// query selects.
#pragma once

#include <cstdint>

// Walks down from top through the counts top[-1], top[-2], ..., which add up
// to total, to the count at which unit * (running sum) first exceeds v: the
// query of a decision over total in range units (unit = range / total,
// v = min(low, unit * total - 1), as decode_culscaled gives them). Returns
// the position of that count, always one of nonzero count, and the running
// sum up to and including it in *sum.
//
// The exit of this walk is hard to predict, and how long a misprediction
// costs depends on when the comparison that ends the walk is settled. So the
// walk first compares range * sum with low * total, which needs neither the
// unit nor the clamp and is settled sooner after the range is known.
// Whenever range * sum <= low * total with sum < total, unit * sum <= v holds
// too (unit * sum <= range * sum / total <= low, and unit * sum is below
// unit * total), so that walk never goes too far. It may stop early, in a
// narrow band (low * total less than (total - 1) * sum below range * sum);
// the exact comparison then takes the walk on to where it ends.
inline const uint8_t* ringwalk(const uint8_t* top, uint32_t total, uint32_t range, uint32_t low, uint32_t unit,
                               uint32_t v, uint32_t* sum)
{
    const uint64_t wide = range;
    const uint64_t target = static_cast<uint64_t>(low) * total;
    uint32_t s = 0;
    do s += *--top;
    while ((wide * s <= target) & (s < total));
    while (unit * s <= v) s += *--top;
    *sum = s;
    return top;
}
