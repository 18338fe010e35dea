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

// Opens an encoder on out and codes syms; the caller closes.
void encodeprefix(bytes& out, const std::vector<int32_t>& syms)
{
    out_attach_memory(&out);
    ASSERT_EQ(initmodel(1), 0);
    for (int32_t s : syms) encode(s);
}

// Flushes the coder an encodeprefix opened and closes the model without
// coding the end symbol.
void encodeclose()
{
    done_encoding(&ac);
    out_flush();
    encoding = 0;
    deletemodel();
}

// The counts of run context 3 are those of m.
void expectrun3(const runmodel& m)
{
    EXPECT_EQ(mrun[3].c0, m.c0);
    EXPECT_EQ(mrun[3].c1, m.c1);
    EXPECT_EQ(mrun[3].c2, m.c2);
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
        decisions ds = {{1, 2, 3}, {1, 3, 4}, {1, 65, 256}};
        runmodel m{1, 1, 2};
        rundecisions(ds, m, table[n - 1]);
        ds.push_back({2, 3, 5});    // class 3 with mwhat 1, 1, 1, 2
        ds.push_back({1, 65, 255}); // c, with b out of the full table's count

        std::vector<int32_t> syms(n, b);
        syms.push_back(c);
        bytes out;
        encodeprefix(out, syms);
        expectrun3(m);
        EXPECT_EQ(cache[1].runctx, n > 2 ? 1 : 0);
        encodeclose();
        EXPECT_EQ(out, codedecisions(ds));

        in_attach_memory(out.data(), out.size());
        ASSERT_EQ(initmodel(0), 0);
        EXPECT_EQ(decode(), b);
        EXPECT_EQ(runlength, n - 1);
        expectrun3(m);
        EXPECT_EQ(cache[1].runctx, n > 2 ? 1 : 0);
        for (uint32_t k = 1; k < n; ++k) EXPECT_EQ(decode(), b);
        EXPECT_EQ(decode(), c);
        EXPECT_EQ(in_pos, in_end);
        deletemodel();
    }
}

// A run of 4 in counts summing to 98 is coded with totals 98, 99, 100 and
// halves the counts (sum 101); from a sum of 97 it ends at 100 and does not.
TEST(ModelRules, RunModelRescalesAbove100)
{
    for (const uint32_t c2 : {28u, 27u}) {
        SCOPED_TRACE(c2);
        session guard;
        const runmodel start{40, 30, c2};
        decisions ds = {{1, 2, 3}, {1, 3, 4}, {1, 65, 256}};
        runmodel m = start;
        rundecisions(ds, m, "00S");
        ds.push_back({2, 3, 5});
        ds.push_back({1, 65, 255});
        if (c2 == 28) {
            EXPECT_EQ(ds[5][2], 100u);
            EXPECT_EQ(m.c0, 21u);
            EXPECT_EQ(m.c1, 15u);
            EXPECT_EQ(m.c2, 15u);
        } else {
            EXPECT_EQ(m.c0 + m.c1 + m.c2, 100u);
        }

        bytes out;
        encodeprefix(out, {65});
        mrun[3] = start;
        for (int32_t s : {65, 65, 65, 66}) encode(s);
        expectrun3(m);
        encodeclose();
        EXPECT_EQ(out, codedecisions(ds));

        in_attach_memory(out.data(), out.size());
        ASSERT_EQ(initmodel(0), 0);
        mrun[3] = start;
        EXPECT_EQ(decode(), 65);
        expectrun3(m);
        EXPECT_EQ(runlength, 3u);
        deletemodel();
    }
}

TEST(ModelRules, ClassCountsRescaleAbove100)
{
    session guard;
    bytes out;
    encodeprefix(out, upto(96));
    EXPECT_EQ(mwhat[3], 97u);  // sum 100: kept
    encode(96);
    EXPECT_EQ(mwhat[0] + mwhat[1] + mwhat[2], 3u);
    EXPECT_EQ(mwhat[3], 49u);  // 98, sum 101: halved
    encoding = 0;
    deletemodel();
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
        const auto addextra = [&] {
            mtf1.freq[0] += sc.extra;
            updatecumonly(0, &mtf1, static_cast<int32_t>(sc.extra));
        };
        bytes out;
        encodeprefix(out, upto(sc.prefix));
        ASSERT_EQ(mtf1size, static_cast<uint32_t>(sc.prefix - 29));
        const int32_t front = mtf1list[0];
        addextra();
        const uint32_t before = mtf1.total;
        encode(front);
        if (sc.rescaled) {
            EXPECT_EQ(mtf1.freq[0], (sc.extra + 3) / 2);
            for (uint32_t p = 1; p < 10; ++p) EXPECT_EQ(mtf1.freq[p], 1u);
        } else {
            EXPECT_EQ(mtf1.freq[0], sc.extra + 2);
            EXPECT_EQ(before + 1, sc.prefix == 38 ? 1001u : 1000u);
        }
        encoding = 0;
        deletemodel();

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
    bytes out;
    encodeprefix(out, upto(60));
    ASSERT_EQ(mtf1size, 10u);
    ASSERT_EQ(mtf2size, 20u);
    const int32_t x = lastseen->next->sym;
    ASSERT_EQ(lastseen->next->count, 1u);
    const int32_t y = mtf1list[9], z = mtf2list[19];
    const uint32_t total = full.total, freq60 = full.freq[60], freqz = full.freq[z];
    encode(60);
    EXPECT_EQ(mtf1size, 10u);
    EXPECT_EQ(mtf2size, 20u);
    EXPECT_EQ(mtf1list[0], x);
    EXPECT_EQ(mtf2list[0], y);
    EXPECT_EQ(sym2mod[x], 1);
    EXPECT_EQ(sym2mod[y], 2);
    EXPECT_EQ(sym2mod[z], 3);
    EXPECT_EQ(sym2mod[60], 0);
    EXPECT_EQ(full.total, total - freq60 + freqz);
    EXPECT_EQ(getsym(getcf(static_cast<uint32_t>(z), &full), &full), static_cast<uint32_t>(z));
    encoding = 0;
    deletemodel();
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
        bytes out;
        encodeprefix(out, upto(60));
        const int32_t z = mtf2list[19];
        const uint32_t pad = target - (full.total - full.freq[60] + full.freq[z]);
        const auto addpad = [pad] {
            full.freq[200] += pad;
            updatecumonly(200, &full, static_cast<int32_t>(pad));
        };
        addpad();
        encode(60);
        if (target == 8000) {
            EXPECT_EQ(full.total, 8000u);
            EXPECT_EQ(full.freq[200], 1 + pad);
            EXPECT_EQ(full.freq[60], 5u);
        } else {
            EXPECT_EQ(full.freq[200], (1 + pad + 1) / 2);
            EXPECT_EQ(full.freq[60], 3u);
            uint32_t sum = 0;
            for (uint32_t s = 0; s < 257; ++s)
                if (sym2mod[s] == 3) sum += full.freq[s];
            EXPECT_EQ(full.total, sum);
        }
        encoding = 0;
        deletemodel();

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
    const auto inflate = [] {
        mtf1.freq[0] += 0x800000;
        updatecumonly(0, &mtf1, 0x800000);
    };
    bytes out;
    encodeprefix(out, upto(31));
    ASSERT_EQ(mtf1size, 2u);
    ASSERT_EQ(mtf1list[0], 0);
    inflate();
    EXPECT_EQ(mtf1.total, 0x800002u);
    encode(0);
    EXPECT_EQ(mtf1.freq[0], 0x400002u);  // halved, then counted
    EXPECT_EQ(mtf1.freq[1], 1u);
    EXPECT_EQ(mtf1size, 2u);             // 1 came in behind it
    EXPECT_EQ(mtf1.total, 0x400003u);
    EXPECT_EQ(mtf1.tree[3], 0u);         // empty positions stay out of coding
    encoding = 0;
    deletemodel();

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
        bytes out;
        encodeprefix(out, {7});
        runlength = run;
        encode(9);
        EXPECT_EQ(lastseen->prev->runctx, 1);
        encodeclose();

        in_attach_memory(out.data(), out.size());
        ASSERT_EQ(initmodel(0), 0);
        EXPECT_EQ(decode(), 7);
        EXPECT_EQ(runlength, run - 1);
        EXPECT_EQ(lastseen->runctx, 1);
        runlength = 0;  // skip handing out billions of copies
        EXPECT_EQ(decode(), 9);
        deletemodel();
    }

    session guard;
    bytes out;
    encodeprefix(out, {7});
    runlength = maxrun + 1;
    try {
        encode(9);
        ADD_FAILURE() << "no stop";
    } catch (const stopped& e) {
        EXPECT_EQ(e.code, 0x6604u);
    }
    EXPECT_THROW(deletemodel(), stopped);  // the end symbol meets the same run
    EXPECT_EQ(full.freq, nullptr);
    EXPECT_EQ(mtf1.freq, nullptr);
}

// The encoder's vector search for a symbol's list position against a plain
// scan, on lists of both sizes where a later position holds a stale copy of
// the symbol (as listremove leaves them past the occupied positions).
TEST(ModelRules, ListPositionIsTheFirstMatch)
{
    // {position of the symbol, a later position holding another copy}
    const std::array<uint32_t, 2> cases[] = {{0, 5}, {3, 4}, {4, 9}, {9, 9}, {0, 19}, {16, 19}, {19, 19}, {7, 7}, {11, 18}};
    for (const auto& [at, stale] : cases) {
        int32_t list[mtf2cap];
        for (uint32_t j = 0; j < mtf2cap; ++j) list[j] = static_cast<int32_t>(100 + j);
        list[stale] = 42;
        list[at] = 42;
        uint32_t plain = 0;
        while (list[plain] != 42) ++plain;
        EXPECT_EQ(listposition<mtf2cap>(list, 42), plain) << at;
        if (stale < mtf1cap) {
            EXPECT_EQ(listposition<mtf1cap>(list, 42), plain) << at;
        }
    }
}
