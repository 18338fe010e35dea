// Opening and closing the model, the first symbol, and the reference
// streams.
#include "tests/test_model_kit.h"

#include <numeric>

using namespace modelkit;

namespace {

// The state both directions share right after opening (apart from the run
// model of context 3, which the decoder has already used once).
void expectinitial(const model* m)
{
    EXPECT_EQ(m->full.size, 257u);
    EXPECT_EQ(m->full.groups, 17u);
    EXPECT_EQ(m->full.total, 256u);
    for (uint32_t s = 0; s < 257; ++s) EXPECT_EQ(m->full.freq[s], 1u);
    EXPECT_EQ(getcf(255, &m->full), 255u);

    for (const cumtable* t : {&m->mtf1, &m->mtf2}) {
        EXPECT_EQ(t->total, 0u);
        for (uint32_t p = 0; p < t->size; ++p) {
            EXPECT_EQ(t->freq[p], 1u);
            EXPECT_EQ(t->tree[p + 1], 0u);
        }
    }
    EXPECT_EQ(m->mtf1.size, 10u);
    EXPECT_EQ(m->mtf2.size, 20u);
    EXPECT_EQ(m->mtf1size, 0u);
    EXPECT_EQ(m->mtf2size, 0u);
    for (int32_t s : m->mtf1list) EXPECT_EQ(s, 0);
    for (int32_t s : m->mtf2list) EXPECT_EQ(s, 0);

    for (uint32_t c : m->mwhat) EXPECT_EQ(c, 1u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(m->mrun[k].c0, 1u);
        EXPECT_EQ(m->mrun[k].c1, 1u);
        EXPECT_EQ(m->mrun[k].c2, 1u);
    }

    uint32_t sum = 0;
    for (uint32_t k = 0; k < 30; ++k) {
        EXPECT_EQ(m->cache[k].sym, 256);
        EXPECT_EQ(m->cache[k].runctx, 3);
        EXPECT_EQ(m->cache[k].next, &m->cache[(k + 1) % 30]);
        EXPECT_EQ(m->cache[k].prev, &m->cache[(k + 29) % 30]);
        sum += m->cache[k].count;
    }
    EXPECT_EQ(m->cache[0].count, 30u);
    EXPECT_EQ(sum, 30u);
    EXPECT_EQ(m->lastseen, &m->cache[0]);

    for (int s = 0; s < 256; ++s) EXPECT_EQ(m->sym2mod[s], 3);
    EXPECT_EQ(m->sym2mod[256], 0);
    EXPECT_EQ(m->sym2cache[256], &m->cache[0]);
}

}  // namespace

TEST(ModelOpen, InitialContentsEncoding)
{
    session guard;
    model* const m = &guard.m;
    bytes out;
    ASSERT_EQ(openencoder(&guard, &out), 0);
    expectinitial(m);
    EXPECT_EQ(m->encoding, 1);
    EXPECT_EQ(m->runlength, 1u);
    EXPECT_EQ(m->mrun[3].c2, 1u);
    EXPECT_EQ(m->coder.held, 0u);
    EXPECT_EQ(m->coder.low, 0u);
    EXPECT_EQ(m->coder.range, 0x80000000u);
    EXPECT_EQ(m->coder.aux, 0u);
    EXPECT_EQ(m->coder.out, &guard.out);
}

TEST(ModelOpen, InitialContentsDecodingReadsFiveBytes)
{
    session guard;
    model* const m = &guard.m;
    const bytes in = encodeall({97});
    ASSERT_EQ(in.size(), 6u);
    ASSERT_EQ(opendecoder(&guard, in), 0);
    expectinitial(m);
    EXPECT_EQ(m->encoding, 0);
    EXPECT_EQ(m->runlength, 0u);
    EXPECT_EQ(m->mrun[3].c0, 1u);
    EXPECT_EQ(m->mrun[3].c1, 1u);
    EXPECT_EQ(m->mrun[3].c2, 2u);
    EXPECT_EQ(guard.in.end - guard.in.pos, 1);
}

TEST(ModelOpen, ClosingAfterNoSymbolWritesOnlyTheFlush)
{
    EXPECT_EQ(encodeall({}), (bytes{0x00, 0x80, 0x00, 0x00, 0x00}));
}

TEST(ModelOpen, ClosingADecodingModelWritesNothing)
{
    session guard;
    model* const m = &guard.m;
    const bytes in = encodeall({1, 2, 3});
    bytes out;
    ASSERT_EQ(opendecoder(&guard, in), 0);
    out_attach_memory(&guard.out, &out);
    EXPECT_EQ(decode(m), 1);
    closeencoder(&guard);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(m->full.freq, nullptr);
}

TEST(ModelOpen, FirstByteIsThreeDecisionsBothWays)
{
    for (const uint32_t b : {0u, 97u, 255u}) {
        SCOPED_TRACE(b);
        session guard;
        model* const m = &guard.m;
        const bytes expected = codedecisions({{1, 2, 3}, {1, 3, 4}, {1, b, 256}});

        bytes out;
        ASSERT_EQ(openencoder(&guard, &out), 0);
        encode(m, static_cast<int32_t>(b));
        EXPECT_EQ(m->mrun[3].c0, 1u);
        EXPECT_EQ(m->mrun[3].c1, 1u);
        EXPECT_EQ(m->mrun[3].c2, 2u);
        EXPECT_EQ(m->cache[0].runctx, 0);
        EXPECT_EQ(m->cache[0].count, 29u);
        EXPECT_EQ(m->lastseen, &m->cache[1]);
        EXPECT_EQ(m->cache[1].sym, static_cast<int32_t>(b));
        EXPECT_EQ(m->cache[1].count, 1u);
        EXPECT_EQ(m->cache[1].runctx, 3);
        EXPECT_EQ(m->full.freq[b], 5u);
        EXPECT_EQ(m->full.total, 255u);
        EXPECT_EQ(m->mwhat[3], 2u);
        EXPECT_EQ(m->mwhat[0] + m->mwhat[1] + m->mwhat[2], 3u);
        done_encoding(&m->coder);
        out_flush(&guard.out);
        EXPECT_EQ(out, expected);
        m->encoding = 0;
        deletemodel(m);

        // The decoder reads b's run (length 1: stop with counts 1, 1, 2)
        // right after it.
        const bytes in = codedecisions({{1, 2, 3}, {1, 3, 4}, {1, b, 256}, {2, 2, 4}});
        ASSERT_EQ(opendecoder(&guard, in), 0);
        EXPECT_EQ(decode(m), static_cast<int>(b));
        EXPECT_EQ(m->runlength, 0u);
        EXPECT_EQ(m->full.total, 255u);
        EXPECT_EQ(m->full.freq[b], 5u);
        EXPECT_EQ(m->mwhat[3], 2u);
        EXPECT_EQ(m->cache[0].count, 29u);
        EXPECT_EQ(m->cache[1].sym, static_cast<int32_t>(b));
        EXPECT_EQ(m->cache[1].count, 1u);
        EXPECT_EQ(m->cache[1].runctx, 0);
        EXPECT_EQ(m->mrun[3].c2, 3u);
        EXPECT_EQ(guard.in.pos, guard.in.end);
    }
}

TEST(ModelOpen, ReferenceStreams)
{
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
        model* const m = &guard.m;
        std::vector<int32_t> syms(static_cast<size_t>(n));
        std::iota(syms.begin(), syms.end(), 0);

        bytes out;
        ASSERT_EQ(openencoder(&guard, &out), 0);
        for (int32_t s : syms) encode(m, s);
        EXPECT_EQ(m->sym2mod[256], cls);
        m->encoding = 0;
        deletemodel(m);

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
    model* const m = &guard.m;
    bytes out;
    ASSERT_EQ(openencoder(&guard, &out), 0);
    for (int32_t s = 0; s < 70; ++s) encode(m, s);
    ASSERT_EQ(openencoder(&guard, &out), 0);
    expectinitial(m);
    deletemodel(m);
    EXPECT_EQ(m->full.freq, nullptr);
    EXPECT_EQ(m->mtf1.freq, nullptr);
    EXPECT_EQ(m->mtf2.freq, nullptr);
    deletemodel(m);  // closing twice is harmless
}
