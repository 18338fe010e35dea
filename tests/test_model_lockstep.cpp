// Encoder and decoder in lockstep over long sequences: every symbol comes
// back, and the whole model state agrees at every run boundary.
#include "tests/test_model_kit.h"
#include "tests/testdata.h"

#include <cstdio>
#include <random>

using namespace modelkit;

namespace {

// Symbols drawn by pick, each repeated a run length drawn by runlen.
template <class Pick, class Runlen>
std::vector<int32_t> runs(size_t n, Pick pick, Runlen runlen)
{
    std::vector<int32_t> v;
    while (v.size() < n) {
        const int32_t s = pick();
        for (uint32_t k = runlen(); k > 0 && v.size() < n; --k) v.push_back(s);
    }
    return v;
}

}  // namespace

TEST(ModelLockstep, UniformBytesWithShortRuns)
{
    std::mt19937 rng(1);
    std::uniform_int_distribution<int32_t> byte(0, 255);
    std::geometric_distribution<uint32_t> len(0.6);
    lockstep(runs(200000, [&] { return byte(rng); }, [&] { return 1 + len(rng); }));
}

// A skewed alphabet of 70 keeps the ring, both lists and the full table
// busy, and the list tables full enough to rescale.
TEST(ModelLockstep, SkewedSmallAlphabet)
{
    std::mt19937 rng(2);
    std::vector<double> weights(70);
    for (size_t k = 0; k < weights.size(); ++k) weights[k] = 1.0 / static_cast<double>(k + 1);
    std::discrete_distribution<int32_t> zipf(weights.begin(), weights.end());
    std::geometric_distribution<uint32_t> len(0.3);
    lockstep(runs(300000, [&] { return 3 * zipf(rng); }, [&] { return 1 + len(rng); }));
}

// Cycles over 31, 41 and 61 distinct symbols: list 1 holding one symbol
// whose position count grows past 1000 without a rescale, full lists, and
// the cascade into the full table on every symbol.
TEST(ModelLockstep, Cycles)
{
    for (const int32_t width : {31, 41, 61, 200}) {
        SCOPED_TRACE(width);
        int32_t next = 0;
        lockstep(runs(60000, [&] { return (next++ % width) * 251 % 256; }, [] { return 1u; }));
    }
}

// Long and very long runs, including across powers of two, with many run
// contexts in use.
TEST(ModelLockstep, LongRuns)
{
    std::mt19937 rng(3);
    std::uniform_int_distribution<int32_t> sym(0, 40);
    std::vector<uint32_t> lengths = {1u << 20, (1u << 21) - 1, (1u << 21) + 1, 3000000};
    for (uint32_t k = 0; k < 2000; ++k) lengths.push_back(1 + (rng() % 5000));
    size_t at = 0;
    int32_t last = -1;
    std::vector<int32_t> v = runs(
        20000000,
        [&] {
            int32_t s;
            do s = sym(rng); while (s == last);
            return last = s;
        },
        [&] { return at < lengths.size() ? lengths[at++] : 1 + rng() % 300; });
    lockstep(v);
}

TEST(ModelLockstep, CorpusText)
{
    const bytes text = datafile("golden/alice29.txt");
    const std::vector<int32_t> v(text.begin(), text.end());
    ASSERT_GT(v.size(), 100000u);
    lockstep(v);
}

TEST(ModelLockstep, RandomMixtures)
{
    std::mt19937 rng(4);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        const int32_t alphabet = 2 + static_cast<int32_t>(rng() % 255);
        const double stay = static_cast<double>(rng() % 100) / 100.0;
        std::uniform_int_distribution<int32_t> sym(0, alphabet - 1);
        std::geometric_distribution<uint32_t> len(0.05 + 0.9 * (1.0 - stay));
        lockstep(runs(1 + rng() % 20000, [&] { return sym(rng); }, [&] { return 1 + len(rng); }));
    }
}
