// Damaged streams: the decoder ends in symbols, the end symbol or the
// corrupt-data stop, and always releases its tables.
#include "tests/test_model_kit.h"

#include <random>

using namespace modelkit;

namespace {

enum class outcome { symbols, end, stop };

// Opens a decoder on in and takes up to limit symbols.
outcome decodedamaged(const bytes& in, size_t limit)
{
    session s;
    model* const m = &s.m;
    outcome r = outcome::symbols;
    try {
        EXPECT_EQ(opendecoder(&s, in), 0);
        for (size_t k = 0; k < limit; ++k) {
            if (decode(m) == -1) {
                r = outcome::end;
                break;
            }
        }
    } catch (const stopped& e) {
        EXPECT_EQ(e.code, 0x6601u);
        r = outcome::stop;
    }
    deletemodel(m);
    EXPECT_EQ(m->full.freq, nullptr);
    EXPECT_EQ(m->mtf1.freq, nullptr);
    EXPECT_EQ(m->mtf2.freq, nullptr);
    return r;
}

// The initial stop of the end symbol's run, as every stream starts.
const std::array<uint32_t, 3> initialstop = {1, 2, 3};

}  // namespace

TEST(ModelDamaged, RandomBytes)
{
    std::mt19937 rng(5);
    int seen[3] = {};
    for (int round = 0; round < 20000; ++round) {
        bytes in(rng() % 48);
        for (uint8_t& b : in) b = static_cast<uint8_t>(rng());
        // Mostly a valid opening byte, sometimes a valid stream's start.
        if (!in.empty() && round % 4 != 0) in[0] = 0;
        ++seen[static_cast<int>(decodedamaged(in, 3000))];
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
    EXPECT_GT(seen[2], 0);
}

// Valid streams with their tail damaged.
TEST(ModelDamaged, DamagedTails)
{
    std::mt19937 rng(6);
    std::vector<int32_t> syms;
    for (int k = 0; k < 3000; ++k) syms.push_back(static_cast<int32_t>(rng() % 90));
    const bytes good = encodeall(syms);
    for (int round = 0; round < 3000; ++round) {
        bytes in = good;
        const size_t at = rng() % in.size();
        if (round % 3 == 0) in.resize(at);
        else in[at] ^= static_cast<uint8_t>(1 + rng() % 255);
        decodedamaged(in, 20000);
    }
}

TEST(ModelDamaged, EmptyListsAndFullRing)
{
    session guard;
    model* const m = &guard.m;
    // Right after opening: list 1 and list 2 are empty and the ring holds
    // nothing but the current symbol.
    EXPECT_EQ(decodedamaged(codedecisions({initialstop, {1, 1, 4}}), 10), outcome::stop);
    EXPECT_EQ(decodedamaged(codedecisions({initialstop, {1, 2, 4}}), 10), outcome::stop);
    EXPECT_EQ(decodedamaged(codedecisions({initialstop, {1, 0, 4}}), 10), outcome::stop);
    // The same stream with class 3 is a byte.
    EXPECT_EQ(decodedamaged(codedecisions({initialstop, {1, 3, 4}, {1, 5, 256}, {2, 2, 4}}), 1),
              outcome::symbols);

    // Later: list 2 empty while list 1 and the ring are in use. 35 new
    // symbols leave 5 in list 1 and none in list 2; the damaged stream then
    // selects class 2.
    std::vector<int32_t> syms;
    for (int32_t s = 0; s < 35; ++s) syms.push_back(s);
    bytes out;
    ASSERT_EQ(openencoder(&guard, &out), 0);
    for (int32_t s : syms) encode(m, s);
    ASSERT_EQ(m->mtf2size, 0u);
    encode_runend(m);
    const uint32_t* const w = m->mwhat;
    encode_freq(&m->coder, w[2], w[0] + w[1], w[0] + w[1] + w[2] + w[3]);
    done_encoding(&m->coder);
    out_flush(&guard.out);
    m->encoding = 0;
    deletemodel(m);
    EXPECT_EQ(decodedamaged(out, 35), outcome::symbols);
    EXPECT_EQ(decodedamaged(out, 36), outcome::stop);
}

// A run number has at most 32 digits below its leading 1 (maxrun, 2^33 - 1):
// a 33rd is damage, and so is anything longer.
TEST(ModelDamaged, OverlongRunNumber)
{
    session guard;
    model* const m = &guard.m;
    const auto zeros = [](runmodel r, int digits) {
        std::vector<std::array<uint32_t, 3>> ds;
        uint32_t t = r.c0 + r.c1 + r.c2;
        for (int k = 0; k < digits; ++k) ds.push_back({r.c0++, 0, t++});
        ds.push_back({r.c2, r.c0 + r.c1, t});
        return ds;
    };
    // The initial run, read while opening.
    EXPECT_EQ(decodedamaged(codedecisions(zeros({1, 1, 1}, 33)), 1), outcome::stop);
    EXPECT_EQ(decodedamaged(codedecisions(zeros({1, 1, 1}, 64)), 1), outcome::stop);

    // The first byte's run.
    for (const int digits : {31, 32, 33, 40, 64}) {
        SCOPED_TRACE(digits);
        auto ds = std::vector<std::array<uint32_t, 3>>{initialstop, {1, 3, 4}, {1, 7, 256}};
        for (const auto& d : zeros({1, 1, 2}, digits)) ds.push_back(d);
        const bytes in = codedecisions(ds);
        if (digits <= 32) {
            ASSERT_EQ(opendecoder(&guard, in), 0);
            EXPECT_EQ(decode(m), 7);
            EXPECT_EQ(m->runlength, (uint64_t{1} << digits) - 1);  // J = 2^digits
            deletemodel(m);
        } else {
            EXPECT_EQ(decodedamaged(in, 1), outcome::stop);
        }
    }
}
