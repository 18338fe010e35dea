// Range coder and cumulative tables: the worked examples byte for byte,
// long random round trips, and tables against a naive model.
#include <gtest/gtest.h>

#include <random>
#include <type_traits>

#include "coder/arith.h"
#include "coder/flattable.h"
#include "common/classes.h"
#include "tests/coder_support.h"

namespace {

struct decision {
    uint32_t sym, cum, tot;
};

bytes encode_all(const std::vector<decision>& ds)
{
    coderig rig;
    rig.startencoding();
    for (const decision& d : ds) encode_freq(&rig.ac, d.sym, d.cum, d.tot);
    done_encoding(&rig.ac);
    return rig.finish();
}

// Number of normalisation steps the coder makes for these decisions: range
// alone decides them, so this follows range without coding anything.
uint64_t normalisation_steps(const std::vector<decision>& ds)
{
    uint64_t steps = 0;
    uint32_t range = coder_top;
    for (const decision& d : ds) {
        while (range <= coder_threshold) {
            range <<= 8;
            ++steps;
        }
        const uint32_t unit = range / d.tot;
        range = d.cum + d.sym < d.tot ? unit * d.sym : range - unit * d.cum;
    }
    return steps;
}

TEST(RangeEncoder, FreshFlushAndOneDecision)
{
    EXPECT_EQ(encode_all({}), hexbytes("00 80 00 00 00"));
    EXPECT_EQ(encode_all({{1, 0, 2}}), hexbytes("00 40 00 00 00"));
}

TEST(RangeEncoder, CarryAndDeferredBytes)
{
    // A normalisation step with a carry present writes held + 1 and turns the
    // deferred bytes into 00; one below the carry-free bound writes held and
    // the deferred bytes as FF.
    for (const auto& [low, expect] : {std::pair<uint32_t, const char*>{0x80000000u, "13 00 00"},
                                      {0x7F000000u, "12 FF FF"}}) {
        coderig rig;
        rig.ac.held = 0x12;
        rig.ac.aux = 2;
        rig.ac.low = low;
        rig.ac.range = 0x10000;
        encode_normalise(&rig.ac);
        EXPECT_EQ(rig.finish(), hexbytes(expect));
        EXPECT_EQ(rig.ac.aux, 0u);
        EXPECT_EQ(rig.ac.range, 0x1000000u);
    }
}

TEST(RangeEncoder, UnsettledRunOnlyGrowsAux)
{
    coderig rig;
    rig.ac.held = 0x12;
    rig.ac.aux = 0;
    for (int i = 0; i < 50; ++i) {
        rig.ac.low = 0x7FC00000u;  // top byte 0xFF, no carry yet
        rig.ac.range = 0x10000;
        encode_normalise(&rig.ac);
    }
    EXPECT_EQ(rig.ac.aux, 50u);
    out_flush(&rig.out);
    EXPECT_TRUE(rig.sink.empty());
    rig.ac.low = 0x80000000u;  // the carry arrives: held + 1, then fifty 00
    rig.ac.range = 0x10000;
    encode_normalise(&rig.ac);
    bytes expect(51, 0x00);
    expect[0] = 0x13;
    EXPECT_EQ(rig.finish(), expect);
}

TEST(RangeEncoder, TopmostSymbolTakesRemainder)
{
    coderig rig;
    rig.startencoding();
    encode_freq(&rig.ac, 1, 2, 3);  // topmost: range - unit * cumfreq
    EXPECT_EQ(rig.ac.range, 0x80000000u - (0x80000000u / 3) * 2);
    rig.startencoding();
    encode_freq(&rig.ac, 1, 1, 3);
    EXPECT_EQ(rig.ac.range, 0x80000000u / 3);
}

TEST(RangeDecoder, WalkOfOneDecision)
{
    coderig rig;
    const bytes in = hexbytes("00 40 00 00 00");
    EXPECT_EQ(rig.read(in), 0);
    EXPECT_EQ(rig.ac.held, 0x40);
    EXPECT_EQ(rig.ac.low, 0x20u);
    EXPECT_EQ(rig.ac.range, 0x80u);
    EXPECT_EQ(decode_culfreq(&rig.ac, 2), 0u);
    EXPECT_EQ(rig.ac.low, 0x20000000u);
    EXPECT_EQ(rig.ac.range, 0x80000000u);
    EXPECT_EQ(rig.ac.aux, 0x40000000u);
    decode_update(&rig.ac, 1, 0, 2);
    EXPECT_EQ(rig.ac.range, 0x40000000u);
    EXPECT_EQ(rig.in.pos, rig.in.end);
    EXPECT_EQ(rig.in.overrun, 0u);
}

TEST(RangeDecoder, EmptyInputAndReadsPastEnd)
{
    coderig rig;
    EXPECT_EQ(rig.read({}), -1);
    EXPECT_EQ(rig.ac.held, 0xFF);
    EXPECT_EQ(rig.ac.low, 0x7Fu);
    EXPECT_EQ(rig.in.overrun, 2u);
    decode_culfreq(&rig.ac, 2);  // three more reads, all 0xFF
    EXPECT_EQ(rig.ac.low, 0x7FFFFFFFu);
    EXPECT_EQ(rig.in.overrun, 5u);
}

TEST(RangeDecoder, QuotientAtTotalIsClamped)
{
    coderig rig;
    rig.ac.low = 0x7FFFFFFFu;
    rig.ac.range = 0x80000000u;
    rig.ac.held = 0;
    EXPECT_EQ(decode_culfreq(&rig.ac, 3), 2u);  // 0x7FFFFFFF / (2^31 / 3) = 3
}

// Random decisions, including runs that sit on the 0xFF boundary so that
// deferred bytes pile up and are then resolved by carries.
TEST(RangeCoder, LongRandomRoundTrips)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 6; ++round) {
        std::vector<decision> ds;
        for (int i = 0; i < 200000; ++i) {
            uint32_t tot;
            switch (round % 3) {
            case 0: tot = 1 + rng() % (1u << 23); break;           // any total
            case 1: tot = 2 + rng() % 300; break;                 // model-sized totals
            default: tot = (1u << 23) - (rng() % 3); break;       // near the limit
            }
            uint32_t sym = 1 + rng() % tot;
            if (round >= 3 && i % 4 != 0) sym = tot - rng() % 2;  // wide decisions...
            if (sym > tot) sym = tot;
            uint32_t cum = rng() % (tot - sym + 1);
            if (round >= 3 && i % 2 == 0) cum = tot - sym;        // ...at the top edge
            ds.push_back({sym, cum, tot});
        }
        const bytes out = encode_all(ds);
        ASSERT_EQ(out.size(), normalisation_steps(ds) + 5);
        EXPECT_EQ(out[0], 0);

        coderig rig;
        rig.read(out);
        for (size_t i = 0; i < ds.size(); ++i) {
            const decision& d = ds[i];
            const uint32_t v = decode_culfreq(&rig.ac, d.tot);
            ASSERT_TRUE(v >= d.cum && v < d.cum + d.sym) << "decision " << i;
            decode_update(&rig.ac, d.sym, d.cum, d.tot);
        }
        EXPECT_EQ(rig.in.pos, rig.in.end) << "decoder must end on the last byte";
        EXPECT_EQ(rig.in.overrun, 0u);
    }
}

// Steers the interval so that it straddles the carry point for long
// stretches: every byte in such a stretch is deferred, then the stretch ends
// either with a carry (all deferred bytes 00) or without (all FF).
TEST(RangeCoder, LongDeferredRunsAndCarries)
{
    std::mt19937 rng(4242);
    std::vector<decision> ds;
    uint32_t maxaux = 0;
    coderig rig;
    rig.startencoding();
    int stretch = 0;
    for (int i = 0; i < 300000; ++i) {
        encode_normalise(&rig.ac);
        const uint32_t tot = 251;  // not a power of two, so nothing stays aligned
        const uint32_t unit = rig.ac.range / tot;
        uint32_t cum = static_cast<uint32_t>(rng() % tot);
        const uint64_t top = uint64_t{rig.ac.low} + rig.ac.range;
        if (stretch > 1) {
            // Aim at the carry point if the interval holds it, else at the
            // next byte boundary, which the following step turns into the
            // carry point.
            --stretch;
            uint64_t point = coder_top;
            if (!(rig.ac.low < coder_top && top > coder_top)) point = ((uint64_t{rig.ac.low} >> 23) + 1) << 23;
            if (point > rig.ac.low && point < top) {
                const uint64_t k = (point - rig.ac.low - 1) / unit;
                cum = k < tot ? static_cast<uint32_t>(k) : tot - 1;
            }
        } else if (stretch == 1) {
            --stretch;
            cum = rng() % 2 ? tot - 1 : 0;  // end above the point (carry) or below it
        } else if (rng() % 50 == 0) {
            stretch = 20 + static_cast<int>(rng() % 200);
        }
        ds.push_back({1, cum, tot});
        encode_freq(&rig.ac, 1, cum, tot);
        if (rig.ac.aux > maxaux) maxaux = rig.ac.aux;
    }
    done_encoding(&rig.ac);
    const bytes out = rig.finish();
    EXPECT_GE(maxaux, 100u);
    EXPECT_EQ(out.size(), normalisation_steps(ds) + 5);

    auto longest = [&](uint8_t v) {
        size_t best = 0, run = 0;
        for (uint8_t b : out) {
            run = b == v ? run + 1 : 0;
            best = std::max(best, run);
        }
        return best;
    };
    EXPECT_GE(longest(0x00), 50u) << "a carry must have resolved a long deferred run";
    EXPECT_GE(longest(0xFF), 50u) << "a long deferred run must have settled without carry";

    rig.read(out);
    for (const decision& d : ds) {
        ASSERT_EQ(decode_culfreq(&rig.ac, d.tot), d.cum);
        decode_update(&rig.ac, d.sym, d.cum, d.tot);
    }
    EXPECT_EQ(rig.in.pos, rig.in.end);
    EXPECT_EQ(rig.in.overrun, 0u);
}

TEST(RangeCoder, ShiftAndTableVariantsRoundTrip)
{
    std::mt19937 rng(7);
    struct op {
        int kind;
        uint32_t sym, cum, tot;
    };
    std::vector<op> ops;
    for (uint32_t tot = 1; tot < 512; ++tot)
        for (int k = 0; k < 20; ++k) {
            const uint32_t sym = 1 + rng() % tot;
            ops.push_back({0, sym, static_cast<uint32_t>(rng() % (tot - sym + 1)), tot});
        }
    for (int i = 0; i < 20000; ++i) {
        const uint32_t shift = 1 + rng() % 23;
        const uint32_t tot = 1u << shift;
        const uint32_t sym = 1 + rng() % tot;
        ops.push_back({1, sym, static_cast<uint32_t>(rng() % (tot - sym + 1)), shift});
        ops.push_back({2, 1, static_cast<uint32_t>(rng() % 256), 8});
        ops.push_back({3, 1, static_cast<uint32_t>(rng() % 65536), 16});
    }
    std::shuffle(ops.begin(), ops.end(), rng);

    coderig rig;
    rig.startencoding();
    for (const op& o : ops) {
        if (o.kind == 0) encode_tbl(&rig.ac, o.sym, o.cum, o.tot);
        else encode_shift(&rig.ac, o.sym, o.cum, o.tot);
    }
    done_encoding(&rig.ac);
    const bytes out = rig.finish();

    rig.read(out);
    for (const op& o : ops) {
        switch (o.kind) {
        case 0: {
            const uint32_t v = decode_cultbl(&rig.ac, o.tot);
            ASSERT_TRUE(v >= o.cum && v < o.cum + o.sym);
            decode_update(&rig.ac, o.sym, o.cum, o.tot);
            break;
        }
        case 1: {
            const uint32_t v = decode_culshift(&rig.ac, o.tot);
            ASSERT_TRUE(v >= o.cum && v < o.cum + o.sym);
            decode_update(&rig.ac, o.sym, o.cum, 1u << o.tot);
            break;
        }
        case 2: ASSERT_EQ(decode_byte(&rig.ac), o.cum); break;
        default: ASSERT_EQ(decode_short(&rig.ac), o.cum); break;
        }
    }
    EXPECT_EQ(rig.in.pos, rig.in.end);
}

TEST(RangeCoder, TableUnitFitsEveryTotal)
{
    for (uint32_t tot = 1; tot < 512; ++tot)
        for (uint32_t range : {coder_threshold + 1, 0x12345678u, coder_top}) {
            const uint32_t unit = tbl_unit(range, tot);
            EXPECT_GE(unit, 1u);
            EXPECT_LE(static_cast<uint64_t>(unit) * tot, range);
        }
}

// The quotient by reciprocal is the quotient, for every divisor of the
// table and a few beyond it, at the numerators where a rounding error
// would show first: next to the multiples of the divisor, and at the top
// of the 32-bit range.
TEST(RangeCoder, ReciprocalQuotientIsExact)
{
    std::mt19937 rng(5);
    for (uint32_t d = 1; d <= recipmax + 3; ++d) {
        std::vector<uint32_t> xs = {0, 1, d - 1, d, d + 1, coder_top, coder_top - 1, UINT32_MAX, UINT32_MAX - d};
        for (int k = 0; k < 6; ++k) {
            const uint32_t m = static_cast<uint32_t>((rng() % (UINT32_MAX / d)) * d);
            xs.insert(xs.end(), {m, m - 1, m + d - 1});
        }
        for (uint32_t x : xs) ASSERT_EQ(divide(x, d), x / d) << x << " / " << d;
    }
}

// The query in range units agrees with decode_culfreq at every threshold a
// caller compares with, also for values of low that only a damaged stream
// produces (low at or above range).
TEST(RangeDecoder, ScaledQueryAgreesWithQuotient)
{
    std::mt19937 rng(8);
    for (int round = 0; round < 20000; ++round) {
        const uint32_t range = coder_threshold + 1 + static_cast<uint32_t>(rng() % (coder_top - coder_threshold));
        const uint32_t low = round % 4 == 0 ? static_cast<uint32_t>(rng() % coder_top)
                                            : static_cast<uint32_t>(rng() % range);
        const uint32_t tot = round % 3 == 0 ? 1 + rng() % 8200 : 1 + rng() % 130;
        arithcoder a{0, low, range, 0, nullptr, nullptr};
        const uint32_t v = decode_culfreq(&a, tot);
        arithcoder b{0, low, range, 0, nullptr, nullptr};
        const uint32_t scaled = decode_culscaled(&b, tot);
        ASSERT_EQ(a.aux, b.aux);
        for (uint32_t c = 0; c <= tot; c += 1 + tot / 64)
            ASSERT_EQ(scaled < b.aux * c, v < c) << low << " " << range << " " << tot << " " << c;
        ASSERT_EQ(scaled < b.aux * tot, true);
        ASSERT_EQ(scaled < b.aux * (tot - 1), v < tot - 1);
    }
}

// ---- cumulative tables ---------------------------------------------------

template <class table_t = cumtable>
struct table_owner {
    table_t t{};
    table_owner(uint32_t n, uint32_t init) { EXPECT_EQ(initfreq(&t, n, init), 0); }
    ~table_owner() { freefreq(&t); }
};

TEST(CumTable, WorkedExamples)
{
    table_owner a(257, 1);
    EXPECT_EQ(a.t.topbit, 256u);
    EXPECT_EQ(a.t.total, 257u);
    for (uint32_t s = 0; s < 257; ++s) {
        EXPECT_EQ(getcf(s, &a.t), s);
        EXPECT_EQ(getsym(s, &a.t), s);
    }
    updatecumonly(256, &a.t, -1);
    EXPECT_EQ(a.t.total, 256u);
    EXPECT_EQ(a.t.freq[256], 1u);
    EXPECT_EQ(getcf(255, &a.t), 255u);
    for (uint32_t v = 0; v < 256; ++v) EXPECT_NE(getsym(v, &a.t), 256u);

    table_owner b(8, 1);  // symbols 3 and 4 out: the value below 3 finds 5
    updatecumonly(3, &b.t, -1);
    updatecumonly(4, &b.t, -1);
    EXPECT_EQ(getsym(3, &b.t), 5u);

    table_owner c(4, 0);
    const uint32_t f[4] = {1, 2, 3, 1000};
    for (uint32_t s = 0; s < 4; ++s) {
        c.t.freq[s] = f[s];
        updatecumonly(s, &c.t, static_cast<int32_t>(f[s]));
    }
    scalefreq(&c.t);
    EXPECT_EQ(std::vector<uint32_t>(c.t.freq, c.t.freq + 4), (std::vector<uint32_t>{1, 1, 2, 500}));
    EXPECT_EQ(c.t.total, 504u);

    table_owner d(4, 4);
    const int32_t classes[4] = {fullclass, ringclass, fullclass, ringclass};
    scalefreqcond(&d.t, classes);
    EXPECT_EQ(std::vector<uint32_t>(d.t.freq, d.t.freq + 4), (std::vector<uint32_t>{2, 2, 2, 2}));
    EXPECT_EQ(d.t.total, 4u);
    EXPECT_EQ(getcf(2, &d.t), 2u);  // weights 2, 0, 2, 0
    EXPECT_EQ(getsym(1, &d.t), 0u);
    EXPECT_EQ(getsym(2, &d.t), 2u);

    table_owner e(1, 1);
    EXPECT_EQ(e.t.topbit, 1u);
    EXPECT_EQ(getsym(0, &e.t), 0u);

    table_owner g(10, 0);
    EXPECT_EQ(g.t.topbit, 8u);
    table_owner h(20, 0);
    EXPECT_EQ(h.t.topbit, 16u);
}

// Random operations against a plain array of frequencies and weights: the
// tree (taking out and putting back by the fixed-step update, as the
// decoder does, with steps to spare for the smaller tables) and the flat
// table (whose update has a fixed number of steps of its own), at sizes
// that end inside a group of 16, on its edge and just past it.
template <class table_t>
void agreeswithnaive(std::initializer_list<uint32_t> sizes)
{
    std::mt19937 rng(99);
    for (uint32_t n : sizes) {
        SCOPED_TRACE(n);
        table_owner<table_t> tab(n, 1);
        table_t* t = &tab.t;
        std::vector<uint32_t> freq(n, 1);
        std::vector<bool> in(n, true);
        std::vector<int32_t> classes(n, fullclass);
        for (int step = 0; step < 20000; ++step) {
            const uint32_t s = rng() % n;
            switch (rng() % 7) {
            case 0:
            case 1:
                if (in[s]) {
                    const uint32_t d = 1 + rng() % 40;
                    freq[s] += d;
                    t->freq[s] += d;
                    updatecumonly(s, t, static_cast<int32_t>(d));
                }
                break;
            case 2: {  // take out / put back
                const int32_t d = in[s] ? -static_cast<int32_t>(freq[s]) : static_cast<int32_t>(freq[s]);
                if constexpr (std::is_same_v<table_t, cumtable>)
                    updatecumfixed<9>(s, t, d);
                else
                    updatecumonly(s, t, d);
                in[s] = !in[s];
                classes[s] = in[s] ? fullclass : ringclass;
                break;
            }
            case 3:
                if (rng() % 50 == 0) {
                    for (auto& f : freq) f = (f + 1) / 2;
                    if (rng() % 2) {
                        scalefreq(t);
                        in.assign(n, true);
                        classes.assign(n, fullclass);
                    } else {
                        scalefreqcond(t, classes.data());
                    }
                }
                break;
            case 4:  // the flat table: one symbol out and another back in one call
                if constexpr (std::is_same_v<table_t, flattable>) {
                    const uint32_t b = rng() % n;
                    if (in[s] && !in[b]) {
                        updatecumtwo(t, s, -static_cast<int32_t>(freq[s]), b, static_cast<int32_t>(freq[b]));
                        in[s] = false;
                        in[b] = true;
                        classes[s] = ringclass;
                        classes[b] = fullclass;
                    }
                }
                break;
            default: break;
            }
            ASSERT_EQ(std::vector<uint32_t>(t->freq, t->freq + n), freq);
            uint32_t cum = 0;
            for (uint32_t k = 0; k < n; ++k) {
                if (in[k]) {
                    ASSERT_EQ(getcf(k, t), cum);
                    for (uint32_t v : {cum, cum + freq[k] - 1}) {
                        uint32_t below = 0;
                        ASSERT_EQ(getsymcf(v, t, &below), k);
                        ASSERT_EQ(below, cum);
                    }
                    cum += freq[k];
                }
            }
            ASSERT_EQ(t->total, cum);
        }
    }
}

TEST(CumTable, AgreesWithNaiveModel) { agreeswithnaive<cumtable>({1u, 10u, 20u, 257u}); }

// Symbols out of coding at the edges of the groups of 16 are passed over:
// all weights 1, the symbols in `out` taken out, value finds sym.
TEST(FlatTable, SearchPassesOverEmptyPositions)
{
    struct search {
        uint32_t n;
        std::vector<uint32_t> out;
        uint32_t value, sym;
    };
    const search cases[] = {
        {257, {}, 256, 256},
        {257, {15, 16, 17}, 15, 18},
        {257, {0}, 0, 1},
        {257, {255, 256}, 254, 254},
        {40, {16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32}, 16, 33},  // a whole group out
        {17, {16}, 15, 15},
        {20, {0, 1, 2}, 16, 19},
    };
    for (const search& c : cases) {
        table_owner<flattable> tab(c.n, 1);
        for (uint32_t s : c.out) updatecumonly(s, &tab.t, -1);
        ASSERT_EQ(tab.t.total, c.n - c.out.size());
        uint32_t cum = 0;
        EXPECT_EQ(getsymcf(c.value, &tab.t, &cum), c.sym) << c.n << " " << c.value;
        EXPECT_EQ(cum, c.value);
        EXPECT_EQ(getcf(c.sym, &tab.t), c.value);
    }
}

TEST(FlatTable, AgreesWithNaiveModel) { agreeswithnaive<flattable>({1u, 10u, 16u, 17u, 20u, 64u, 257u}); }

}  // namespace
