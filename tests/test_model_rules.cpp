// The coding rules one at a time: run numbers, the rescale thresholds, the
// cascade down the lists, and runs too long for the format.
#include "tests/test_model_kit.h"

#include <numeric>
#include <string>

using namespace modelkit;

namespace {

using decisions = std::vector<std::array<uint32_t, 3>>;

std::vector<int32_t> upto(int32_t n)
{
    std::vector<int32_t> v(static_cast<size_t>(n));
    std::iota(v.begin(), v.end(), 0);
    return v;
}

// Appends the decisions of a run number given as its digits ('0', '1',
// then 'S' for stop) in the run model m, updating m as the coder does.
void rundecisions(decisions& ds, runmodel& m, const std::string& digits)
{
    uint32_t t = m.c0 + m.c1 + m.c2;
    for (char d : digits) {
        if (d == '0') ds.push_back({m.c0++, 0, t});
        if (d == '1') ds.push_back({m.c1++, m.c0, t});
        if (d == 'S') ds.push_back({m.c2++, m.c0 + m.c1, t});
        ++t;
    }
    if (t > 100) m = {(m.c0 + 1) / 2, (m.c1 + 1) / 2, (m.c2 + 1) / 2};
}

// Opens the session's encoder on out and codes syms; the caller closes.
void encodeprefix(session* s, bytes& out, const std::vector<int32_t>& syms)
{
    ASSERT_EQ(openencoder(s, &out), 0);
    for (int32_t sym : syms) encode(&s->m, sym);
}

// Flushes the coder an encodeprefix opened and closes the model without
// coding the end symbol.
void encodeclose(session* s)
{
    done_encoding(&s->m.coder);
    out_flush(&s->out);
    s->m.encoding = 0;
    deletemodel(&s->m);
}

// The counts of run context 3 are those of r.
void expectrun3(const model* m, const runmodel& r)
{
    EXPECT_EQ(m->mrun[3].c0, r.c0);
    EXPECT_EQ(m->mrun[3].c1, r.c1);
    EXPECT_EQ(m->mrun[3].c2, r.c2);
}

}  // namespace

// A byte b repeated n times, then c: b's run number in context 3 (counts
// 1, 1, 2 after the initial stop) is exactly the digits of the table.
TEST(ModelRules, RunNumbersOneToSeven)
{
    const char* const table[] = {"S", "0S", "1S", "00S", "10S", "01S", "11S"};
    const int32_t b = 65, c = 66;
    for (uint32_t n = 1; n <= 7; ++n) {
        SCOPED_TRACE(n);
        session guard;
        model* const m = &guard.m;
        decisions ds = {{1, 2, 3}, {1, 3, 4}, {1, 65, 256}};
        runmodel r{1, 1, 2};
        rundecisions(ds, r, table[n - 1]);
        ds.push_back({2, 3, 5});    // class 3 with mwhat 1, 1, 1, 2
        ds.push_back({1, 65, 255}); // c, with b out of the full table's count

        std::vector<int32_t> syms(n, b);
        syms.push_back(c);
        bytes out;
        encodeprefix(&guard, out, syms);
        expectrun3(m, r);
        EXPECT_EQ(m->cache[1].runctx, n > 2 ? 1 : 0);
        encodeclose(&guard);
        EXPECT_EQ(out, codedecisions(ds));

        ASSERT_EQ(opendecoder(&guard, out), 0);
        EXPECT_EQ(decode(m), b);
        EXPECT_EQ(m->runlength, n - 1);
        expectrun3(m, r);
        EXPECT_EQ(m->cache[1].runctx, n > 2 ? 1 : 0);
        for (uint32_t k = 1; k < n; ++k) EXPECT_EQ(decode(m), b);
        EXPECT_EQ(decode(m), c);
        EXPECT_EQ(guard.in.pos, guard.in.end);
        deletemodel(m);
    }
}

// A run of 4 in counts summing to 98 is coded with totals 98, 99, 100 and
// halves the counts (sum 101); from a sum of 97 it ends at 100 and does not.
TEST(ModelRules, RunModelRescalesAbove100)
{
    for (const uint32_t c2 : {28u, 27u}) {
        SCOPED_TRACE(c2);
        session guard;
        model* const m = &guard.m;
        const runmodel start{40, 30, c2};
        decisions ds = {{1, 2, 3}, {1, 3, 4}, {1, 65, 256}};
        runmodel r = start;
        rundecisions(ds, r, "00S");
        ds.push_back({2, 3, 5});
        ds.push_back({1, 65, 255});
        if (c2 == 28) {
            EXPECT_EQ(ds[5][2], 100u);
            EXPECT_EQ(r.c0, 21u);
            EXPECT_EQ(r.c1, 15u);
            EXPECT_EQ(r.c2, 15u);
        } else {
            EXPECT_EQ(r.c0 + r.c1 + r.c2, 100u);
        }

        bytes out;
        encodeprefix(&guard, out, {65});
        m->mrun[3] = start;
        for (int32_t s : {65, 65, 65, 66}) encode(m, s);
        expectrun3(m, r);
        encodeclose(&guard);
        EXPECT_EQ(out, codedecisions(ds));

        ASSERT_EQ(opendecoder(&guard, out), 0);
        m->mrun[3] = start;
        EXPECT_EQ(decode(m), 65);
        expectrun3(m, r);
        EXPECT_EQ(m->runlength, 3u);
        deletemodel(m);
    }
}

TEST(ModelRules, ClassCountsRescaleAbove100)
{
    session guard;
    model* const m = &guard.m;
    bytes out;
    encodeprefix(&guard, out, upto(96));
    EXPECT_EQ(m->mwhat[3], 97u);  // sum 100: kept
    encode(m, 96);
    EXPECT_EQ(m->mwhat[0] + m->mwhat[1] + m->mwhat[2], 3u);
    EXPECT_EQ(m->mwhat[3], 49u);  // 98, sum 101: halved
    m->encoding = 0;
    deletemodel(m);
    lockstep(upto(97));
}

// List 1 is full after 39 new symbols: 8, 7, ..., 0, 256. Its table is
// rescaled when coding from it leaves a total above 1000, and only then.
TEST(ModelRules, ListRescalesOnlyWhileFull)
{
    struct scenario {
        int32_t prefix;
        uint32_t extra;     // added to position 0 before coding from it
        bool rescaled;
    };
    for (const scenario sc : {scenario{39, 990, true}, scenario{39, 989, false},
                              scenario{38, 991, false}}) {
        SCOPED_TRACE(sc.extra + sc.prefix);
        session guard;
        model* const m = &guard.m;
        const auto addextra = [&](model* mm) {
            mm->mtf1.freq[0] += sc.extra;
            updatecumonly(0, &mm->mtf1, static_cast<int32_t>(sc.extra));
        };
        bytes out;
        encodeprefix(&guard, out, upto(sc.prefix));
        ASSERT_EQ(m->mtf1size, static_cast<uint32_t>(sc.prefix - 29));
        const int32_t front = m->mtf1list[0];
        addextra(m);
        const uint32_t before = m->mtf1.total;
        encode(m, front);
        if (sc.rescaled) {
            EXPECT_EQ(m->mtf1.freq[0], (sc.extra + 3) / 2);
            for (uint32_t p = 1; p < 10; ++p) EXPECT_EQ(m->mtf1.freq[p], 1u);
        } else {
            EXPECT_EQ(m->mtf1.freq[0], sc.extra + 2);
            EXPECT_EQ(before + 1, sc.prefix == 38 ? 1001u : 1000u);
        }
        m->encoding = 0;
        deletemodel(m);

        std::vector<int32_t> syms = upto(sc.prefix);
        syms.push_back(front);
        syms.push_back(200);
        lockstep(syms, {static_cast<size_t>(sc.prefix), addextra});
    }
}

// With both lists full, a symbol from the full table gives up a ring slot
// holding the last copy of X: X to list 1, list 1's last to list 2, and
// list 2's last back to the full table, in one call.
TEST(ModelRules, CascadeRingToListsToFullTable)
{
    session guard;
    model* const m = &guard.m;
    bytes out;
    encodeprefix(&guard, out, upto(60));
    ASSERT_EQ(m->mtf1size, 10u);
    ASSERT_EQ(m->mtf2size, 20u);
    const int32_t x = m->lastseen->next->sym;
    ASSERT_EQ(m->lastseen->next->count, 1u);
    const int32_t y = m->mtf1list[9], z = m->mtf2list[19];
    const uint32_t total = m->full.total, freq60 = m->full.freq[60], freqz = m->full.freq[z];
    encode(m, 60);
    EXPECT_EQ(m->mtf1size, 10u);
    EXPECT_EQ(m->mtf2size, 20u);
    EXPECT_EQ(m->mtf1list[0], x);
    EXPECT_EQ(m->mtf2list[0], y);
    EXPECT_EQ(m->sym2mod[x], 1);
    EXPECT_EQ(m->sym2mod[y], 2);
    EXPECT_EQ(m->sym2mod[z], 3);
    EXPECT_EQ(m->sym2mod[60], 0);
    EXPECT_EQ(m->full.total, total - freq60 + freqz);
    EXPECT_EQ(getsym(getcf(static_cast<uint32_t>(z), &m->full), &m->full), static_cast<uint32_t>(z));
    m->encoding = 0;
    deletemodel(m);
    std::vector<int32_t> syms = upto(61);
    syms.push_back(x);
    syms.push_back(z);
    lockstep(syms);
}

// The return of a symbol to the full table rescales it when the total then
// exceeds 8000: at 8001, not at 8000. Symbol 200 is padded to reach the
// total; the halving also reaches symbols outside the table (60, now in
// the ring).
TEST(ModelRules, FullTableRescalesAbove8000)
{
    for (const uint32_t target : {8000u, 8001u}) {
        SCOPED_TRACE(target);
        session guard;
        model* const m = &guard.m;
        bytes out;
        encodeprefix(&guard, out, upto(60));
        const int32_t z = m->mtf2list[19];
        const uint32_t pad = target - (m->full.total - m->full.freq[60] + m->full.freq[z]);
        const auto addpad = [pad](model* mm) {
            mm->full.freq[200] += pad;
            updatecumonly(200, &mm->full, static_cast<int32_t>(pad));
        };
        addpad(m);
        encode(m, 60);
        if (target == 8000) {
            EXPECT_EQ(m->full.total, 8000u);
            EXPECT_EQ(m->full.freq[200], 1 + pad);
            EXPECT_EQ(m->full.freq[60], 5u);
        } else {
            EXPECT_EQ(m->full.freq[200], (1 + pad + 1) / 2);
            EXPECT_EQ(m->full.freq[60], 3u);
            uint32_t sum = 0;
            for (uint32_t s = 0; s < 257; ++s)
                if (m->sym2mod[s] == fullclass) sum += m->full.freq[s];
            EXPECT_EQ(m->full.total, sum);
        }
        m->encoding = 0;
        deletemodel(m);

        std::vector<int32_t> syms = upto(61);
        syms.push_back(z);
        syms.push_back(60);
        lockstep(syms, {60, addpad});
    }
}

// A list that is never full is never rescaled by the rule above, so its
// total could grow past what the coder can divide by; it is halved just
// before it would be used with a total above 2^23.
TEST(ModelRules, UnfullListTotalStaysWithinTheCoder)
{
    session guard;
    model* const m = &guard.m;
    const auto inflate = [](model* mm) {
        mm->mtf1.freq[0] += 0x800000;
        updatecumonly(0, &mm->mtf1, 0x800000);
    };
    bytes out;
    encodeprefix(&guard, out, upto(31));
    ASSERT_EQ(m->mtf1size, 2u);
    ASSERT_EQ(m->mtf1list[0], 0);
    inflate(m);
    EXPECT_EQ(m->mtf1.total, 0x800002u);
    encode(m, 0);
    EXPECT_EQ(m->mtf1.freq[0], 0x400002u);  // halved, then counted
    EXPECT_EQ(m->mtf1.freq[1], 1u);
    EXPECT_EQ(m->mtf1size, 2u);             // 1 came in behind it
    EXPECT_EQ(m->mtf1.total, 0x400003u);
    EXPECT_EQ(m->mtf1.tree[3], 0u);         // empty positions stay out of coding
    m->encoding = 0;
    deletemodel(m);

    std::vector<int32_t> syms = upto(31);
    syms.push_back(0);
    syms.push_back(1);
    lockstep(syms, {31, inflate});
}

// Runs past 32 bits are coded with as many digits as they need and
// restored, up to the longest run a run number holds (maxrun, 32 digits
// and a stop); one more repeat stops the encoder instead of writing a
// stream that the decoder would refuse.
TEST(ModelRules, LongRunsAndTheLongest)
{
    for (const uint64_t run : {uint64_t{0xFFFFFFFF}, uint64_t{1} << 32, (uint64_t{1} << 32) + 104, maxrun}) {
        SCOPED_TRACE(run);
        session guard;
        model* const m = &guard.m;
        bytes out;
        encodeprefix(&guard, out, {7});
        m->runlength = run;
        encode(m, 9);
        EXPECT_EQ(m->lastseen->prev->runctx, 1);
        encodeclose(&guard);

        ASSERT_EQ(opendecoder(&guard, out), 0);
        EXPECT_EQ(decode(m), 7);
        EXPECT_EQ(m->runlength, run - 1);
        EXPECT_EQ(m->lastseen->runctx, 1);
        m->runlength = 0;  // skip handing out billions of copies
        EXPECT_EQ(decode(m), 9);
        deletemodel(m);
    }

    session guard;

    model* const m = &guard.m;
    bytes out;
    encodeprefix(&guard, out, {7});
    m->runlength = maxrun + 1;
    try {
        encode(m, 9);
        ADD_FAILURE() << "no stop";
    } catch (const stopped& e) {
        EXPECT_EQ(e.code, 0x6604u);
    }
    EXPECT_THROW(deletemodel(m), stopped);  // the end symbol meets the same run
    EXPECT_EQ(m->full.freq, nullptr);
    EXPECT_EQ(m->mtf1.freq, nullptr);
}

// The encoder's vector search for a symbol's list position against a plain
// scan, on lists of both sizes where a later position holds a stale copy of
// the symbol (as listremove and the lanes past a list's capacity leave them).
TEST(ModelRules, ListPositionIsTheFirstMatch)
{
    // {position of the symbol, a later position holding another copy}
    const std::array<uint32_t, 2> cases[] = {{0, 5},  {3, 4},   {4, 9},   {9, 9},   {0, 19},  {16, 19},
                                             {19, 19}, {7, 7}, {11, 18}, {9, 12}, {19, 23}, {2, 15}};
    for (const auto& [at, stale] : cases) {
        alignas(16) int16_t list[mtf2room];
        for (uint32_t j = 0; j < mtf2room; ++j) list[j] = static_cast<int16_t>(100 + j);
        list[stale] = 42;
        list[at] = 42;
        uint32_t plain = 0;
        while (list[plain] != 42) ++plain;
        EXPECT_EQ(listposition<mtf2cap>(list, 42), plain) << at;
        if (at < mtf1cap) {
            EXPECT_EQ(listposition<mtf1cap>(list, 42), plain) << at;
        }
    }
}
