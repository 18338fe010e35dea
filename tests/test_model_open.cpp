// Opening and closing the model, the first symbol, and the reference
// streams.
#include "tests/test_model_kit.h"

#include <numeric>

using namespace modelkit;

namespace {

// The state both directions share right after opening (apart from the run
// model of context 3, which the decoder has already used once).
void expectinitial()
{
    EXPECT_EQ(full.size, 257u);
    EXPECT_EQ(full.groups, 17u);
    EXPECT_EQ(full.total, 256u);
    for (uint32_t s = 0; s < 257; ++s) EXPECT_EQ(full.freq[s], 1u);
    EXPECT_EQ(getcf(255, &full), 255u);

    for (const cumtable* t : {&mtf1, &mtf2}) {
        EXPECT_EQ(t->total, 0u);
        for (uint32_t p = 0; p < t->size; ++p) {
            EXPECT_EQ(t->freq[p], 1u);
            EXPECT_EQ(t->tree[p + 1], 0u);
        }
    }
    EXPECT_EQ(mtf1.size, 10u);
    EXPECT_EQ(mtf2.size, 20u);
    EXPECT_EQ(mtf1size, 0u);
    EXPECT_EQ(mtf2size, 0u);
    for (int32_t s : mtf1list) EXPECT_EQ(s, 0);
    for (int32_t s : mtf2list) EXPECT_EQ(s, 0);

    for (uint32_t c : mwhat) EXPECT_EQ(c, 1u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(mrun[k].c0, 1u);
        EXPECT_EQ(mrun[k].c1, 1u);
        EXPECT_EQ(mrun[k].c2, 1u);
    }

    uint32_t sum = 0;
    for (uint32_t k = 0; k < 30; ++k) {
        EXPECT_EQ(cache[k].sym, 256);
        EXPECT_EQ(cache[k].runctx, 3);
        EXPECT_EQ(cache[k].next, &cache[(k + 1) % 30]);
        EXPECT_EQ(cache[k].prev, &cache[(k + 29) % 30]);
        sum += cache[k].count;
    }
    EXPECT_EQ(cache[0].count, 30u);
    EXPECT_EQ(sum, 30u);
    EXPECT_EQ(lastseen, &cache[0]);

    for (int s = 0; s < 256; ++s) EXPECT_EQ(sym2mod[s], 3);
    EXPECT_EQ(sym2mod[256], 0);
    EXPECT_EQ(sym2cache[256], &cache[0]);
}

}  // namespace

TEST(ModelOpen, InitialContentsEncoding)
{
    session guard;
    bytes out;
    out_attach_memory(&out);
    ASSERT_EQ(initmodel(1), 0);
    expectinitial();
    EXPECT_EQ(encoding, 1);
    EXPECT_EQ(runlength, 1u);
    EXPECT_EQ(mrun[3].c2, 1u);
    EXPECT_EQ(ac.held, 0u);
    EXPECT_EQ(ac.low, 0u);
    EXPECT_EQ(ac.range, 0x80000000u);
    EXPECT_EQ(ac.aux, 0u);
}

TEST(ModelOpen, InitialContentsDecodingReadsFiveBytes)
{
    session guard;
    const bytes in = encodeall({97});
    ASSERT_EQ(in.size(), 6u);
    in_attach_memory(in.data(), in.size());
    ASSERT_EQ(initmodel(0), 0);
    expectinitial();
    EXPECT_EQ(encoding, 0);
    EXPECT_EQ(runlength, 0u);
    EXPECT_EQ(mrun[3].c0, 1u);
    EXPECT_EQ(mrun[3].c1, 1u);
    EXPECT_EQ(mrun[3].c2, 2u);
    EXPECT_EQ(in_end - in_pos, 1);
}

TEST(ModelOpen, ClosingAfterNoSymbolWritesOnlyTheFlush)
{
    session guard;
    EXPECT_EQ(encodeall({}), (bytes{0x00, 0x80, 0x00, 0x00, 0x00}));
}

TEST(ModelOpen, ClosingADecodingModelWritesNothing)
{
    session guard;
    const bytes in = encodeall({1, 2, 3});
    bytes out;
    in_attach_memory(in.data(), in.size());
    ASSERT_EQ(initmodel(0), 0);
    out_attach_memory(&out);
    EXPECT_EQ(decode(), 1);
    deletemodel();
    out_flush();
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(full.freq, nullptr);
}

TEST(ModelOpen, FirstByteIsThreeDecisionsBothWays)
{
    for (const uint32_t b : {0u, 97u, 255u}) {
        SCOPED_TRACE(b);
        session guard;
        const bytes expected = codedecisions({{1, 2, 3}, {1, 3, 4}, {1, b, 256}});

        bytes out;
        out_attach_memory(&out);
        ASSERT_EQ(initmodel(1), 0);
        encode(static_cast<int32_t>(b));
        EXPECT_EQ(mrun[3].c0, 1u);
        EXPECT_EQ(mrun[3].c1, 1u);
        EXPECT_EQ(mrun[3].c2, 2u);
        EXPECT_EQ(cache[0].runctx, 0);
        EXPECT_EQ(cache[0].count, 29u);
        EXPECT_EQ(lastseen, &cache[1]);
        EXPECT_EQ(cache[1].sym, static_cast<int32_t>(b));
        EXPECT_EQ(cache[1].count, 1u);
        EXPECT_EQ(cache[1].runctx, 3);
        EXPECT_EQ(full.freq[b], 5u);
        EXPECT_EQ(full.total, 255u);
        EXPECT_EQ(mwhat[3], 2u);
        EXPECT_EQ(mwhat[0] + mwhat[1] + mwhat[2], 3u);
        done_encoding(&ac);
        out_flush();
        EXPECT_EQ(out, expected);
        encoding = 0;
        deletemodel();

        // The decoder reads b's run (length 1: stop with counts 1, 1, 2)
        // right after it.
        const bytes in = codedecisions({{1, 2, 3}, {1, 3, 4}, {1, b, 256}, {2, 2, 4}});
        in_attach_memory(in.data(), in.size());
        ASSERT_EQ(initmodel(0), 0);
        EXPECT_EQ(decode(), static_cast<int>(b));
        EXPECT_EQ(runlength, 0u);
        EXPECT_EQ(full.total, 255u);
        EXPECT_EQ(full.freq[b], 5u);
        EXPECT_EQ(mwhat[3], 2u);
        EXPECT_EQ(cache[0].count, 29u);
        EXPECT_EQ(cache[1].sym, static_cast<int32_t>(b));
        EXPECT_EQ(cache[1].count, 1u);
        EXPECT_EQ(cache[1].runctx, 0);
        EXPECT_EQ(mrun[3].c2, 3u);
        EXPECT_EQ(in_pos, in_end);
    }
}

TEST(ModelOpen, ReferenceStreams)
{
    session guard;
    const std::vector<int32_t> a = {97};
    const bytes acoded = {0x00, 0xF2, 0xCB, 0xBB, 0x39, 0x00};
    const std::vector<int32_t> banana = {110, 97, 110, 97, 110, 110, 98, 97, 97, 97};
    const bytes bananacoded = {0x00, 0xF3, 0xE8, 0x07, 0x08, 0x31, 0x5E,
                               0x72, 0x35, 0x3F, 0x5B, 0x87, 0xF2};
    EXPECT_EQ(encodeall(a), acoded);
    EXPECT_EQ(encodeall(banana), bananacoded);
    EXPECT_EQ(decodeall(acoded), a);
    EXPECT_EQ(decodeall(bananacoded), banana);
    lockstep(banana);
}

// 256 starts in the ring; 30 new symbols push it to list 1, the 40th to
// list 2, the 60th back to the full table.
TEST(ModelOpen, EndSymbolFromEveryClass)
{
    const std::pair<int, int32_t> cases[] = {{0, 0}, {5, 0}, {29, 0}, {30, 1},
                                             {39, 1}, {40, 2}, {59, 2}, {60, 3}, {100, 3}};
    for (const auto& [n, cls] : cases) {
        SCOPED_TRACE(n);
        session guard;
        std::vector<int32_t> syms(static_cast<size_t>(n));
        std::iota(syms.begin(), syms.end(), 0);

        bytes out;
        out_attach_memory(&out);
        ASSERT_EQ(initmodel(1), 0);
        for (int32_t s : syms) encode(s);
        EXPECT_EQ(sym2mod[256], cls);
        encoding = 0;
        deletemodel();

        // Nothing coded at all leaves no end symbol to decode.
        if (n > 0) {
            lockstep(syms);
            EXPECT_EQ(decodeall(encodeall(syms)), syms);
        }
    }
}

TEST(ModelOpen, OpeningAgainReleasesAndResets)
{
    session guard;
    bytes out;
    out_attach_memory(&out);
    ASSERT_EQ(initmodel(1), 0);
    for (int32_t s = 0; s < 70; ++s) encode(s);
    ASSERT_EQ(initmodel(1), 0);
    expectinitial();
    deletemodel();
    EXPECT_EQ(full.freq, nullptr);
    EXPECT_EQ(mtf1.freq, nullptr);
    EXPECT_EQ(mtf2.freq, nullptr);
    deletemodel();  // closing twice is harmless
}
