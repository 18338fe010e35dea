// The decoder's walk through the ring's counts against the plain walk that
// compares in range units only, on count layouts with gaps and on the
// values where the two comparisons the walk uses disagree.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "model/ringwalk.h"

namespace {

struct walked {
    const uint8_t* at;
    uint32_t sum;
};

walked plainwalk(const uint8_t* top, uint32_t unit, uint32_t v)
{
    uint32_t sum = 0;
    do sum += *--top;
    while (unit * sum <= v);
    return {top, sum};
}

}  // namespace

TEST(RingWalk, AgreesWithThePlainWalk)
{
    std::mt19937 rng(30);
    uint64_t early = 0;  // walks that the exact comparison had to take further
    for (int layout = 0; layout < 3000; ++layout) {
        // 29 counts below top adding up to 1..30, many of them 0, as in the
        // ring, behind a guard byte that the walk must never reach.
        std::vector<uint8_t> counts(32, 0);
        counts[0] = 0xEE;
        const uint32_t total = 1 + rng() % 30;
        for (uint32_t k = 0; k < total; ++k) ++counts[1 + rng() % (layout % 3 == 0 ? 4 : 29)];
        const uint8_t* const top = counts.data() + 30;

        const uint32_t range = 0x800001u + static_cast<uint32_t>(rng() % (0x80000000u - 0x800000u));
        const uint32_t unit = range / total;
        std::vector<uint32_t> lows;
        for (int k = 0; k < 8; ++k) lows.push_back(static_cast<uint32_t>(rng() % range));
        lows.push_back(range - 1);
        lows.push_back(static_cast<uint32_t>(rng()));  // a damaged stream's value, maybe past range
        // Around every boundary of both comparisons.
        uint32_t s = 0;
        for (const uint8_t* p = top - 1; p > counts.data(); --p) {
            s += *p;
            const uint64_t edge = static_cast<uint64_t>(range) * s / total;
            for (int64_t d = -static_cast<int64_t>(total) - 1; d <= 1; ++d)
                if (static_cast<int64_t>(edge) + d >= 0) lows.push_back(static_cast<uint32_t>(edge + d));
            lows.push_back(unit * s);
            lows.push_back(unit * s - 1);
        }
        for (const uint32_t low : lows) {
            const uint32_t top_v = unit * total - 1;
            const uint32_t v = low < top_v ? low : top_v;
            const walked want = plainwalk(top, unit, v);
            uint32_t sum = 0;
            const uint8_t* const got = ringwalk(top, total, range, low, unit, v, &sum);
            ASSERT_EQ(got - counts.data(), want.at - counts.data()) << range << " " << total << " " << low;
            ASSERT_EQ(sum, want.sum);
            ASSERT_NE(*got, 0);
            // Where the product comparison alone would have stopped one
            // count short.
            if (want.sum < total && static_cast<uint64_t>(range) * (want.sum - *got) > static_cast<uint64_t>(low) * total)
                ++early;
        }
    }
    EXPECT_GT(early, 0u) << "no value fell into the band the exact comparison settles";
}
