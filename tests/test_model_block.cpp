// The block entry points against the per-symbol calls: encode_block must
// write what encode() writes, and decode_block must give the symbols,
// counts and state that decode() gives, however the blocks are cut (runs
// that cross a cut, runs longer than a block, the end symbol inside one).
#include "tests/test_model_kit.h"

#include <random>

using namespace modelkit;

namespace {

// Bytes in runs, with occasional very long runs.
bytes mixture(uint32_t seed, size_t n)
{
    std::mt19937 rng(seed);
    std::geometric_distribution<uint32_t> len(0.4);
    bytes v;
    while (v.size() < n) {
        const uint8_t s = static_cast<uint8_t>(rng() % (1 + seed * 37 % 256));
        const uint32_t k = rng() % 50 == 0 ? 1 + rng() % 70000 : 1 + len(rng);
        v.insert(v.end(), std::min<size_t>(k, n - v.size()), s);
    }
    return v;
}

// Cut points for n bytes: sizes 0, 1, small and large, chosen by rng.
std::vector<uint32_t> cuts(std::mt19937& rng, size_t n)
{
    std::vector<uint32_t> sizes;
    for (size_t at = 0; at < n;) {
        const uint32_t pick = rng() % 6;
        uint32_t k = pick == 0 ? 0 : pick == 1 ? 1 : pick < 4 ? rng() % 16 : rng() % 40000;
        k = static_cast<uint32_t>(std::min<size_t>(k, n - at));
        sizes.push_back(k);
        at += k;
    }
    return sizes;
}

}  // namespace

TEST(ModelBlock, EncodeBlockWritesWhatEncodeWrites)
{
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        session guard;
        model* const m = &guard.m;
        const bytes data = mixture(seed, 300000);
        const std::vector<int32_t> syms(data.begin(), data.end());
        const bytes want = encodeall(syms);

        std::mt19937 rng(seed);
        bytes got;
        ASSERT_EQ(openencoder(&guard, &got), 0);
        size_t at = 0;
        for (const uint32_t k : cuts(rng, data.size())) {
            encode_block(m, data.data() + at, k);
            at += k;
        }
        closeencoder(&guard);
        EXPECT_EQ(got, want);
    }
}

TEST(ModelBlock, DecodeBlockGivesWhatDecodeGives)
{
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        session guard;
        model* const m = &guard.m;
        const bytes data = mixture(seed, 300000);
        const bytes coded = encodeall(std::vector<int32_t>(data.begin(), data.end()));

        // The reference: decode() per symbol, with the state after each
        // block's worth of symbols.
        std::mt19937 rng(seed + 100);
        std::vector<uint32_t> sizes = cuts(rng, data.size());
        sizes.push_back(10);  // past the end: stops at the end symbol
        std::vector<std::vector<uint32_t>> states;
        ASSERT_EQ(opendecoder(&guard, coded), 0);
        for (const uint32_t k : sizes) {
            for (uint32_t j = 0; j < k; ++j)
                if (decode(m) == -1) break;
            states.push_back(snapshot(m));
        }
        deletemodel(m);

        ASSERT_EQ(opendecoder(&guard, coded), 0);
        bytes got;
        uint32_t histogram[256] = {};
        for (size_t b = 0; b < sizes.size(); ++b) {
            std::vector<uint8_t> buf(sizes[b] + 1, 0xEE);
            bool end = true;
            const uint32_t count = decode_block(m, buf.data(), sizes[b], histogram, &end, 0);
            EXPECT_EQ(buf[sizes[b]], 0xEE) << "wrote past the block";
            got.insert(got.end(), buf.begin(), buf.begin() + count);
            const bool last = b + 1 == sizes.size();
            EXPECT_EQ(end, last);
            EXPECT_EQ(count, last ? 0u : sizes[b]);
            ASSERT_EQ(snapshot(m), states[b]) << "block " << b;
        }
        deletemodel(m);
        EXPECT_EQ(got, data);
        uint32_t want[256] = {};
        for (uint8_t c : data) ++want[c];
        for (int c = 0; c < 256; ++c) EXPECT_EQ(histogram[c], want[c]) << c;
    }
}

// A run owed from before a block is handed out first; a block shorter than
// the run leaves the rest owed.
TEST(ModelBlock, DecodeBlockSplitsLongRuns)
{
    session guard;
    model* const m = &guard.m;
    std::vector<int32_t> syms(100000, 9);
    syms.push_back(4);
    const bytes coded = encodeall(syms);
    ASSERT_EQ(opendecoder(&guard, coded), 0);
    EXPECT_EQ(decode(m), 9);
    EXPECT_EQ(m->runlength, 99999u);
    uint8_t buf[1000];
    uint32_t histogram[256] = {};
    bool end = true;
    EXPECT_EQ(decode_block(m, buf, 1000, histogram, &end, 0), 1000u);
    EXPECT_FALSE(end);
    EXPECT_EQ(m->runlength, 98999u);
    EXPECT_EQ(histogram[9], 1000u);
    m->runlength = 1;
    EXPECT_EQ(decode_block(m, buf, 1000, histogram, &end, 0), 2u);
    EXPECT_TRUE(end);
    EXPECT_EQ(buf[0], 9);
    EXPECT_EQ(buf[1], 4);
    EXPECT_EQ(histogram[9], 1001u);
    EXPECT_EQ(histogram[4], 1u);
    deletemodel(m);
}
