// Helpers shared by the model tests: a session holding a model with its own
// memory input and output, running the model on memory, and a snapshot of
// the whole model state with links turned into slot indices so that two
// runs can be compared.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "coder/arith.h"
#include "coder/byteio.h"
#include "common/stop.h"
#include "model/modelstate.h"
#include "tests/harness.h"

namespace modelkit {

// One model with its input and output, closed at the end of a test whatever
// happened (without coding anything more).
struct session {
    model m{};
    bytein in{};
    byteout out{};
    ~session()
    {
        m.encoding = 0;
        deletemodel(&m);
    }
};

// Opens the session's model for encoding into sink, or for decoding data.
inline int openencoder(session* s, bytes* sink)
{
    out_attach_memory(&s->out, sink);
    return initmodel(&s->m, 1, nullptr, &s->out);
}

inline int opendecoder(session* s, const bytes& data)
{
    in_attach_memory(&s->in, data.data(), data.size());
    return initmodel(&s->m, 0, &s->in, nullptr);
}

// Closes an encoding model (coding the end symbol) and flushes its output.
inline void closeencoder(session* s)
{
    deletemodel(&s->m);
    out_flush(&s->out);
}

// Whether the decoder has read its input exactly to the end.
inline bool readtoend(const session& s) { return s.in.pos == s.in.end && s.in.overrun == 0; }

inline uint32_t slotindex(const model* m, const cachenode* p)
{
    return p == nullptr ? 0xFFFFFFFFu : static_cast<uint32_t>(p - m->cache);
}

// Feeds every word of the model's state to put, links as slot indices.
// Left out: the coder, the direction flag and runlength (whose meaning
// differs between the directions), and the run context of a slot holding
// the end symbol: the encoder sets it when it codes the end symbol's
// initial run, the decoder reads that run without setting it, and it is
// never used again, since no run follows the end symbol once it is coded.
template <class Put>
void visitstate(const model* m, Put put)
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
    for (uint32_t s = 0; s < nsymbols; ++s) put(static_cast<uint32_t>(m->sym2mod[s]));
    for (uint32_t s = 0; s < nsymbols; ++s) put(slotindex(m, m->sym2cache[s]));
    for (const cachenode& n : m->cache) {
        put(static_cast<uint32_t>(n.sym));
        put(n.count);
        put(n.sym == endsymbol ? 0xFFFFFFFFu : static_cast<uint32_t>(n.runctx));
        put(slotindex(m, n.next));
        put(slotindex(m, n.prev));
    }
    put(slotindex(m, m->lastseen));
    for (uint32_t c : m->mwhat) put(c);
    for (const runmodel& m : m->mrun) {
        put(m.c0);
        put(m.c1);
        put(m.c2);
    }
    put(m->mtf1size);
    for (int32_t s : m->mtf1list) put(static_cast<uint32_t>(s));
    table(m->mtf1);
    put(m->mtf2size);
    for (int32_t s : m->mtf2list) put(static_cast<uint32_t>(s));
    table(m->mtf2);
    flat(m->full);
}

// The doubled copy of the ring's counts agrees with the slots.
inline bool ringcountmirrors(const model* m)
{
    for (uint32_t k = 0; k < ringslots; ++k)
        if (m->ringcount[k] != m->cache[k].count || m->ringcount[k + ringslots] != m->cache[k].count) return false;
    for (uint32_t k = 2 * ringslots; k < sizeof m->ringcount; ++k)
        if (m->ringcount[k] != 0) return false;
    return true;
}

inline std::vector<uint32_t> snapshot(const model* m)
{
    std::vector<uint32_t> w;
    visitstate(m, [&](uint32_t x) { w.push_back(x); });
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

inline digest statedigest(const model* m)
{
    digest d;
    visitstate(m, [&](uint32_t x) { d.put(x); });
    return d;
}

// Encodes syms with encode() and closes with deletemodel: the coded bytes.
inline bytes encodeall(const std::vector<int32_t>& syms)
{
    session s;
    bytes out;
    EXPECT_EQ(openencoder(&s, &out), 0);
    for (int32_t sym : syms) encode(&s.m, sym);
    closeencoder(&s);
    return out;
}

// Decodes until the end symbol or limit symbols; the end is not included.
inline std::vector<int32_t> decodeall(const bytes& in, size_t limit = SIZE_MAX)
{
    session s;
    EXPECT_EQ(opendecoder(&s, in), 0);
    std::vector<int32_t> got;
    for (int sym; got.size() < limit && (sym = decode(&s.m)) != -1;) got.push_back(sym);
    return got;
}

// Codes the given decisions (symfreq, cumfreq, totfreq) with a fresh coder
// and flushes it.
inline bytes codedecisions(const std::vector<std::array<uint32_t, 3>>& ds)
{
    bytes out;
    byteout o{};
    out_attach_memory(&o, &out);
    arithcoder c{};
    start_encoding(&c, &o, 0);
    for (const auto& d : ds) encode_freq(&c, d[0], d[1], d[2]);
    done_encoding(&c);
    out_flush(&o);
    return out;
}

// A change made to both sides at the same point of a round trip: after the
// first `after` symbols have been given to encode / taken from decode. It
// is applied to the model of the side that has got there.
struct tweak {
    size_t after = SIZE_MAX;
    std::function<void(model*)> apply;
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

    {
        session e;
        model* const m = &e.m;
        EXPECT_EQ(openencoder(&e, &r.coded), 0);
        for (size_t i = 0; i <= syms.size(); ++i) {
            if (i == tw.after) tw.apply(m);
            const int32_t s = i < syms.size() ? syms[i] : endsymbol;
            if (s == m->lastseen->sym) {
                ++m->runlength;
                continue;
            }
            encode_runend(m);
            enc.push_back(statedigest(m));
            if (!ringcountmirrors(m)) {
                ADD_FAILURE() << "ring count copy differs before symbol " << i;
                break;
            }
            encode_newsymbol(m, s);
        }
        r.finalstate = snapshot(m);
        enc.push_back(digestof(r.finalstate));
        closeencoder(&e);
    }

    // The same through encode() alone, without the tweak's help only when
    // there is none.
    if (tw.after == SIZE_MAX) {
        EXPECT_EQ(encodeall(syms), r.coded) << "encode() and its halves disagree";
    }

    session d;
    model* const m = &d.m;
    EXPECT_EQ(opendecoder(&d, r.coded), 0);
    size_t event = 0;
    EXPECT_EQ(statedigest(m), enc[event]) << "after opening";
    ++event;
    size_t i = 0;
    if (tw.after == 0) tw.apply(m);
    for (;;) {
        const int s = decode(m);
        if (s == -1) break;
        if (i >= syms.size() || s != syms[i]) {
            ADD_FAILURE() << "symbol " << i << ": decoded " << s;
            break;
        }
        ++i;
        if (i == tw.after) tw.apply(m);
        if (m->runlength == 0) {
            if (event >= enc.size() || !(statedigest(m) == enc[event]) || !ringcountmirrors(m)) {
                ADD_FAILURE() << "state differs after the run ending at symbol " << i - 1;
                break;
            }
            ++event;
        }
    }
    EXPECT_EQ(i, syms.size());
    EXPECT_EQ(event + 1, enc.size());
    EXPECT_EQ(snapshot(m), r.finalstate) << "state after the end symbol";
    EXPECT_EQ(d.in.pos, d.in.end) << "coded bytes left unread";
    EXPECT_EQ(d.in.overrun, 0u) << "read past the coded bytes";
    return r;
}

}  // namespace modelkit
