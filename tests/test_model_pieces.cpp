// Input that arrives in pieces: no new symbol reads more than
// maxsymbolbytes, so a decoder that begins one only with that many bytes
// in hand never reads past them, and decoding in pieces of any size gives
// what decoding all at once gives. And models are independent records: two
// run side by side as each alone.
#include "tests/test_model_kit.h"

#include <algorithm>
#include <random>
#include <thread>

using namespace modelkit;

namespace {

// How a decoding went: the symbols up to the end symbol, the stop or the
// limit, and the most input that opening or one new symbol read.
struct decoded {
    bytes syms;
    bool end = false;
    unsigned stop = 0;
    size_t mostread = 0;
    bool earlyoverrun = false;  // read past a piece that was not the last
};

// Bytes taken from the input so far, reads past its end included.
size_t consumed(const session& s, const uint8_t* start)
{
    return static_cast<size_t>(s.in.pos - start) + s.in.overrun;
}

// Decodes up to limit symbols of in, one new symbol per call. piece 0 feeds
// everything at once; otherwise the input's end moves on by piece bytes
// whenever the decoder stops for lack of input (at least maxsymbolbytes
// before opening), with reserve maxsymbolbytes until the last piece.
decoded decodepieces(const bytes& in, size_t piece, size_t limit)
{
    session s;
    model* const m = &s.m;
    decoded r;
    const uint8_t* const start = in.data();
    size_t fed = in.size();
    if (piece != 0) {
        fed = 0;
        while (fed < in.size() && fed < maxsymbolbytes) fed = std::min(fed + piece, in.size());
    }
    in_attach_memory(&s.in, start, fed);
    uint8_t buf[4096];
    uint32_t histogram[256] = {};
    try {
        EXPECT_EQ(initmodel(m, 0, &s.in, nullptr), 0);
        r.mostread = consumed(s, start);
        while (r.syms.size() < limit) {
            bool end = false;
            if (m->runlength != 0) {
                const size_t n = std::min<size_t>({m->runlength, sizeof buf, limit - r.syms.size()});
                const uint32_t got = decode_block(m, buf, static_cast<uint32_t>(n), histogram, &end, maxsymbolbytes);
                r.syms.insert(r.syms.end(), buf, buf + got);
                continue;
            }
            const bool last = fed == in.size();
            const size_t before = consumed(s, start);
            const uint32_t got = decode_block(m, buf, 1, histogram, &end, last ? 0 : maxsymbolbytes);
            r.mostread = std::max(r.mostread, consumed(s, start) - before);
            r.earlyoverrun |= !last && s.in.overrun != 0;
            if (end) {
                r.end = true;
                break;
            }
            if (got == 0) {
                EXPECT_FALSE(last) << "stopped with the whole input in hand";
                if (last) break;
                fed = std::min(fed + piece, in.size());
                s.in.end = start + fed;
                continue;
            }
            r.syms.push_back(buf[0]);
        }
    } catch (const stopped& e) {
        r.stop = e.code;
    }
    return r;
}

std::vector<int32_t> randomsyms(uint32_t seed, size_t n, uint32_t alphabet)
{
    std::mt19937 rng(seed);
    std::vector<int32_t> v(n);
    for (int32_t& s : v) s = static_cast<int32_t>(rng() % alphabet);
    return v;
}

// A stream whose first byte's run number has the given digits, all 0.
bytes runnumber(int digits)
{
    std::vector<std::array<uint32_t, 3>> ds = {{1, 2, 3}, {1, 3, 4}, {1, 7, 256}};
    uint32_t c0 = 1, t = 4;
    for (int k = 0; k < digits; ++k) ds.push_back({c0++, 0, t++});
    ds.push_back({2, c0 + 1, t});
    return codedecisions(ds);
}

// The longest run a run number holds, then two more symbols.
bytes longestrun()
{
    session s;
    bytes out;
    EXPECT_EQ(openencoder(&s, &out), 0);
    encode(&s.m, 7);
    s.m.runlength = maxrun;
    encode(&s.m, 9);
    encode(&s.m, 200);
    closeencoder(&s);
    return out;
}

// Random bytes; with an even seed the first is 00, as a stream's byte 1 is.
bytes randomcoded(unsigned seed, size_t n)
{
    bytes v = randombytes(n, seed);
    if (seed % 2 == 0 && n > 0) v[0] = 0;
    return v;
}

bytes flipped(bytes v, size_t at)
{
    v[at % v.size()] ^= 0x5A;
    return v;
}

bytes prefix(bytes v, size_t n)
{
    v.resize(n);
    return v;
}

}  // namespace

TEST(ModelPieces, NoSymbolReadsMoreThanTheBoundAndPiecesChangeNothing)
{
    std::vector<int32_t> cycling;
    for (int k = 0; k < 1200; ++k) cycling.push_back((k * 97) % 256);
    const struct {
        const char* what;
        bytes in;
    } cases[] = {
        {"every byte value in turn", encodeall(cycling)},
        {"the ring and the lists", encodeall(randomsyms(1, 1500, 45))},
        {"uniform bytes", encodeall(randomsyms(2, 800, 256))},
        {"long runs", encodeall({5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6, 5, 5, 5, 5, 7})},
        {"32-digit run number", runnumber(32)},
        {"33-digit run number", runnumber(33)},
        {"the longest run", longestrun()},
        {"damaged stream", flipped(encodeall(randomsyms(3, 900, 70)), 333)},
        {"cut stream", prefix(encodeall(randomsyms(4, 900, 70)), 250)},
        {"random bytes", randomcoded(5, 300)},
        {"random bytes after 00", randomcoded(6, 400)},
        {"nothing", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t limit = 20000;
        const decoded whole = decodepieces(c.in, 0, limit);
        EXPECT_LE(whole.mostread, maxsymbolbytes);
        for (size_t piece = 1; piece <= c.in.size() + 1; ++piece) {
            const decoded cut = decodepieces(c.in, piece, limit);
            ASSERT_EQ(cut.syms, whole.syms) << "pieces of " << piece;
            ASSERT_EQ(cut.end, whole.end) << "pieces of " << piece;
            ASSERT_EQ(cut.stop, whole.stop) << "pieces of " << piece;
            ASSERT_FALSE(cut.earlyoverrun) << "pieces of " << piece;
        }
    }
}

// Two models coded symbol by symbol in turn, in one thread, and round
// trips in several threads at once, write and read what each does alone.
TEST(ModelPieces, ModelsAreIndependent)
{
    const std::vector<int32_t> a = randomsyms(7, 5000, 60), b = randomsyms(8, 5000, 256);
    session sa, sb;
    bytes outa, outb;
    ASSERT_EQ(openencoder(&sa, &outa), 0);
    ASSERT_EQ(openencoder(&sb, &outb), 0);
    for (size_t i = 0; i < a.size(); ++i) {
        encode(&sa.m, a[i]);
        encode(&sb.m, b[i]);
    }
    closeencoder(&sa);
    closeencoder(&sb);
    EXPECT_EQ(outa, encodeall(a));
    EXPECT_EQ(outb, encodeall(b));

    ASSERT_EQ(opendecoder(&sa, outa), 0);
    ASSERT_EQ(opendecoder(&sb, outb), 0);
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(decode(&sa.m), a[i]);
        ASSERT_EQ(decode(&sb.m), b[i]);
    }

    std::vector<std::thread> threads;
    bool same[4] = {};
    for (uint32_t t = 0; t < 4; ++t)
        threads.emplace_back([t, &same] {
            const std::vector<int32_t> syms = randomsyms(10 + t, 40000, 30 + 60 * t);
            same[t] = decodeall(encodeall(syms)) == syms;
        });
    for (std::thread& t : threads) t.join();
    for (bool s : same) EXPECT_TRUE(s);
}
