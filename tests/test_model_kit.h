// Helpers shared by the model tests: running the model on memory, a
// session that closes the model, and a snapshot of the whole model state with
// links turned into slot indices so that two runs can be compared.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "coder/arith.h"
#include "coder/byteio.h"
#include "coder/stop.h"
#include "model/modelstate.h"
#include "tests/harness.h"

namespace modelkit {

// Closes the model at the end of a test whatever happened (without coding
// anything more).
struct session {
    ~session()
    {
        encoding = 0;
        deletemodel();
    }
};

using bytes = std::vector<uint8_t>;

inline uint32_t slotindex(const cachenode* p)
{
    return p == nullptr ? 0xFFFFFFFFu : static_cast<uint32_t>(p - cache);
}

// Feeds every word of the model's state to put, links as slot indices.
// Left out: the coder, the direction flag and runlength (whose meaning
// differs between the directions), and the run context of a slot holding
// the end symbol: the encoder sets it when it codes the end symbol's
// initial run, the decoder reads that run without setting it, and it is
// never used again, since no run follows the end symbol once it is coded.
template <class Put>
void visitstate(Put put)
{
    const auto table = [&](const cumtable& t) {
        put(t.size);
        put(t.topbit);
        put(t.total);
        for (uint32_t s = 0; s < t.size; ++s) put(t.freq[s]);
        for (uint32_t k = 1; k <= t.size; ++k) put(t.tree[k]);
    };
    const auto flat = [&](const flattable& t) {
        put(t.size);
        put(t.total);
        for (uint32_t s = 0; s < t.size; ++s) put(t.freq[s]);
        for (uint32_t p = 0; p < t.groups * flatgroup; ++p) put(t.below[p]);
        for (uint32_t g : t.groupbelow) put(g);
    };
    for (uint32_t s = 0; s < nsymbols; ++s) put(static_cast<uint32_t>(sym2mod[s]));
    for (uint32_t s = 0; s < nsymbols; ++s) put(slotindex(sym2cache[s]));
    for (const cachenode& n : cache) {
        put(static_cast<uint32_t>(n.sym));
        put(n.count);
        put(n.sym == endsymbol ? 0xFFFFFFFFu : static_cast<uint32_t>(n.runctx));
        put(slotindex(n.next));
        put(slotindex(n.prev));
    }
    put(slotindex(lastseen));
    for (uint32_t c : mwhat) put(c);
    for (const runmodel& m : mrun) {
        put(m.c0);
        put(m.c1);
        put(m.c2);
    }
    put(mtf1size);
    for (int32_t s : mtf1list) put(static_cast<uint32_t>(s));
    table(mtf1);
    put(mtf2size);
    for (int32_t s : mtf2list) put(static_cast<uint32_t>(s));
    table(mtf2);
    flat(full);
}

// The doubled copy of the ring's counts agrees with the slots.
inline bool ringcountmirrors()
{
    for (uint32_t k = 0; k < ringslots; ++k)
        if (ringcount[k] != cache[k].count || ringcount[k + ringslots] != cache[k].count) return false;
    for (uint32_t k = 2 * ringslots; k < sizeof ringcount; ++k)
        if (ringcount[k] != 0) return false;
    return true;
}

inline std::vector<uint32_t> snapshot()
{
    std::vector<uint32_t> w;
    visitstate([&](uint32_t x) { w.push_back(x); });
    return w;
}

// 256-bit digest of the state: four independent multiply-xorshift lanes,
// so that the multiplications run in parallel.
struct digest {
    uint64_t lane[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull,
                        0x082EFA98EC4E6C89ull};
    uint32_t n = 0;
    void put(uint32_t x)
    {
        uint64_t& h = lane[n++ & 3];
        h = (h ^ x) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
    }
    bool operator==(const digest& o) const
    {
        return n == o.n && lane[0] == o.lane[0] && lane[1] == o.lane[1] && lane[2] == o.lane[2] &&
               lane[3] == o.lane[3];
    }
};

inline digest digestof(const std::vector<uint32_t>& w)
{
    digest d;
    for (uint32_t x : w) d.put(x);
    return d;
}

inline digest statedigest()
{
    digest d;
    visitstate([&](uint32_t x) { d.put(x); });
    return d;
}

// Encodes syms with encode() and closes with deletemodel: the coded bytes.
inline bytes encodeall(const std::vector<int32_t>& syms)
{
    bytes out;
    out_attach_memory(&out);
    EXPECT_EQ(initmodel(1), 0);
    for (int32_t s : syms) encode(s);
    deletemodel();
    out_flush();
    return out;
}

// Decodes until the end symbol or limit symbols; the end is not included.
inline std::vector<int32_t> decodeall(const bytes& in, size_t limit = SIZE_MAX)
{
    in_attach_memory(in.data(), in.size());
    EXPECT_EQ(initmodel(0), 0);
    std::vector<int32_t> got;
    for (int s; got.size() < limit && (s = decode()) != -1;) got.push_back(s);
    deletemodel();
    return got;
}

// Codes the given decisions (symfreq, cumfreq, totfreq) with a fresh coder
// and flushes it.
inline bytes codedecisions(const std::vector<std::array<uint32_t, 3>>& ds)
{
    bytes out;
    out_attach_memory(&out);
    arithcoder c;
    start_encoding(&c, 0);
    for (const auto& d : ds) encode_freq(&c, d[0], d[1], d[2]);
    done_encoding(&c);
    out_flush();
    return out;
}

// A change made to both sides at the same point of a round trip: after the
// first `after` symbols have been given to encode / taken from decode.
struct tweak {
    size_t after = SIZE_MAX;
    std::function<void()> apply;
};

// Lockstep round trip. The encoder runs new symbols in its two halves and
// records the state after each run number (just before the next class);
// the decoder records its state each time it has handed out the last copy
// of a run (again just before the next class), plus both at the very end.
// Both sides must agree everywhere, decode must give back syms then -1,
// the decoder must consume exactly the coded bytes, and the encoder driven
// in halves must write what encode() writes.
struct lockstepresult {
    bytes coded;
    std::vector<uint32_t> finalstate;  // encoder after the end symbol
};

inline lockstepresult lockstep(const std::vector<int32_t>& syms, const tweak& tw = {})
{
    lockstepresult r;
    std::vector<digest> enc;

    out_attach_memory(&r.coded);
    EXPECT_EQ(initmodel(1), 0);
    for (size_t i = 0; i <= syms.size(); ++i) {
        if (i == tw.after) tw.apply();
        const int32_t s = i < syms.size() ? syms[i] : endsymbol;
        if (s == lastseen->sym) {
            ++runlength;
            continue;
        }
        encode_runend();
        enc.push_back(statedigest());
        if (!ringcountmirrors()) {
            ADD_FAILURE() << "ring count copy differs before symbol " << i;
            break;
        }
        encode_newsymbol(s);
    }
    r.finalstate = snapshot();
    enc.push_back(digestof(r.finalstate));
    deletemodel();
    out_flush();

    // The same through encode() alone, without the tweak's help only when
    // there is none.
    if (tw.after == SIZE_MAX) {
        EXPECT_EQ(encodeall(syms), r.coded) << "encode() and its halves disagree";
    }

    in_attach_memory(r.coded.data(), r.coded.size());
    EXPECT_EQ(initmodel(0), 0);
    size_t event = 0;
    EXPECT_EQ(statedigest(), enc[event]) << "after opening";
    ++event;
    size_t i = 0;
    if (tw.after == 0) tw.apply();
    for (;;) {
        const int s = decode();
        if (s == -1) break;
        if (i >= syms.size() || s != syms[i]) {
            ADD_FAILURE() << "symbol " << i << ": decoded " << s;
            break;
        }
        ++i;
        if (i == tw.after) tw.apply();
        if (runlength == 0) {
            if (event >= enc.size() || !(statedigest() == enc[event]) || !ringcountmirrors()) {
                ADD_FAILURE() << "state differs after the run ending at symbol " << i - 1;
                break;
            }
            ++event;
        }
    }
    EXPECT_EQ(i, syms.size());
    EXPECT_EQ(event + 1, enc.size());
    EXPECT_EQ(snapshot(), r.finalstate) << "state after the end symbol";
    EXPECT_EQ(in_pos, in_end) << "coded bytes left unread";
    EXPECT_EQ(in_overrun, 0u) << "read past the coded bytes";
    deletemodel();
    return r;
}

}  // namespace modelkit
