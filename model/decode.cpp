// Reading a new symbol: its class, its place in the class and the run that
// it starts, mirroring the encoder decision for decision. Pending copies of
// a run never get here (decode in model.h and decode_block hand them out).
//
// Any byte string is a possible input. Every query is clamped below its
// total and every table search returns a slot of nonzero weight, so the
// choices always lie inside the tables. What the coder cannot survive is
// stopped here: a class whose total is 0 (an empty list, or a ring whose
// only symbol is the current one) and a run number with more digits than
// the longest run the compressor codes (rundigits in model.h).
#include "model/modelstate.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/stop.h"
#include "model/ringwalk.h"

namespace {

// The position p of a list table holding q: the one with cum(p) <= q <
// cum(p) + freq[p], where cum(p) is the sum of freq over the positions
// before p. The occupied positions 0..size-1 are exactly those in coding,
// each with its count freq[p], so their counts add up to the table's total,
// which q is below. Sets *cum to cum(p).
//
// With the vector unit: the running sums of all positions at once, and one
// comparison of each with q; the positions whose sums do not pass q are the
// ones before p. No branch waits for the coder here, where the tree search
// would take one per level.
template <uint32_t cap>
inline uint32_t listfind(const uint32_t* freq, uint32_t size, uint32_t q, uint32_t* cum)
{
#if defined(__SSE2__)
    // Whole vectors: the lanes past cap read the table's tree, which follows
    // freq in the same allocation, and are masked off with the empty ones.
    constexpr uint32_t vectors = (cap + 3) / 4;
    static_assert(4 * vectors <= 2 * cap, "the lanes stay inside the table's storage");
    alignas(16) uint32_t sums[4 * vectors];
    const __m128i occupied = _mm_set1_epi32(static_cast<int32_t>(size));
    const __m128i target = _mm_set1_epi32(static_cast<int32_t>(q));
    __m128i carry = _mm_setzero_si128();
    uint32_t passed = 0;
    for (uint32_t v = 0; v < vectors; ++v) {
        const __m128i lane = _mm_setr_epi32(4 * v, 4 * v + 1, 4 * v + 2, 4 * v + 3);
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(freq + 4 * v));
        x = _mm_and_si128(x, _mm_cmpgt_epi32(occupied, lane));
        x = _mm_add_epi32(x, _mm_slli_si128(x, 4));
        x = _mm_add_epi32(x, _mm_slli_si128(x, 8));
        x = _mm_add_epi32(x, carry);
        carry = _mm_shuffle_epi32(x, 0xFF);
        _mm_store_si128(reinterpret_cast<__m128i*>(sums + 4 * v), x);
        // Sums stay below 2^24, so the signed comparison is exact.
        const uint32_t over = static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(x, target))));
        passed |= over << (4 * v);
    }
    const uint32_t p = static_cast<uint32_t>(__builtin_ctz(passed));
    *cum = sums[p] - freq[p];
    return p;
#else
    (void)size;
    uint32_t p = 0;
    uint32_t c = 0;
    while (c + freq[p] <= q) c += freq[p++];
    *cum = c;
    return p;
#endif
}

// Reads a position of a list, takes its symbol out of the list and returns
// the symbol.
template <uint32_t cap>
inline int32_t decodelist(arithcoder* coder, int16_t* list, uint32_t* size, cumtable* table)
{
    if (*size == 0) errorstop(err_corrupt);
    if (table->total > codermaxtotal) limitlisttotal(table, *size);
    const uint32_t total = table->total;
    const uint32_t q = decode_culfreq(coder, total);
    uint32_t cum;
    const uint32_t p = listfind<cap>(table->freq, *size, q, &cum);
    decode_update(coder, table->freq[p], cum, total);
    const int32_t sym = list[p];
    listremove<cap>(list, size, table, p);
    return sym;
}

}  // namespace

uint64_t decoderun(arithcoder* coder, runmodel* m)
{
    uint64_t result = 0;
    uint64_t bit = 1;
    uint32_t t = m->c0 + m->c1 + m->c2;
    for (;;) {
        // Compared in range units, which saves the query's division.
        const uint32_t d = decode_culscaled(coder, t);
        if (d >= coder->aux * (m->c0 + m->c1)) break;
        if (d < coder->aux * m->c0) {
            decode_update(coder, m->c0, 0, t);
            ++m->c0;
        } else {
            result += bit;
            decode_update(coder, m->c1, m->c0, t);
            ++m->c1;
        }
        ++t;
        // A digit beyond the longest run number (rundigits) is damage.
        if (bit == uint64_t{1} << rundigits) errorstop(err_corrupt);
        bit <<= 1;
    }
    result += bit;
    decode_update(coder, m->c2, m->c0 + m->c1, t);
    countstop(m, t);
    return result;
}

int decode_newsymbol(model* m, arithcoder* coder)
{
    const uint32_t* const mwhat = m->mwhat;
    cachenode* const lastseen = m->lastseen;
    const uint32_t total = m->mwhattotal;
    // The scan compares in range units; the target lies below
    // unit * total, so the scan stops at class 3 at the latest.
    const uint32_t t = decode_culscaled(coder, total);
    const uint32_t classunit = coder->aux;
    int32_t k = 0;
    uint32_t upto = mwhat[0];
    while (classunit * upto <= t) upto += mwhat[++k];
    decode_update(coder, mwhat[k], upto - mwhat[k], total);

    int32_t sym;
    switch (k) {
    case ringclass: {
        const uint32_t ringtotal = ringslots - lastseen->count;
        if (ringtotal == 0) errorstop(err_corrupt);
        const uint32_t v = decode_culscaled(coder, ringtotal);
        const uint32_t unit = coder->aux;
        // The walk goes older from lastseen (slot k - 1 is the next older
        // slot after k, round the ring): downwards through the doubled copy
        // of the counts, starting just below lastseen's second copy. The
        // counts of all slots but lastseen add up to ringtotal, and
        // v < unit * ringtotal, so the walk ends before it comes round to
        // lastseen, on a slot of nonzero count.
        uint32_t sum;
        const uint8_t* const hit = ringwalk(m->ringcount + ringslot(lastseen) + ringslots, ringtotal, coder->range,
                                            coder->low, unit, v, &sum);
        const uint32_t at = static_cast<uint32_t>(hit - m->ringcount);
        cachenode* const p = &m->cache[at < ringslots ? at : at - ringslots];
        const uint32_t w = p->count;
        decode_update(coder, w, sum - w, ringtotal);
        sym = p->sym;
        setcount(m, p, 0);
        cacheupdate(m, ringclass, sym, w + 1, p->runctx);
        break;
    }
    case list1class:
        sym = decodelist<mtf1cap>(coder, m->mtf1list, &m->mtf1size, &m->mtf1);
        cacheupdate(m, list1class, sym, 1, listrunctx);
        break;
    case list2class:
        sym = decodelist<mtf2cap>(coder, m->mtf2list, &m->mtf2size, &m->mtf2);
        cacheupdate(m, list2class, sym, 1, listrunctx);
        break;
    default:
        sym = decode_symbol(coder, &m->full);
        cacheupdate(m, fullclass, sym, 1, fullrunctx);
        break;
    }

    if (sym == endsymbol) return -1;

    cachenode* const now = m->lastseen;
    const uint64_t j = decoderun(coder, &m->mrun[now->runctx]);
    m->runlength = j - 1;
    now->runctx = j - 1 > 1 ? longrunctx : shortrunctx;
    return sym;
}

// Exactly as n calls of decode() would, with the copies of a run handed
// out as one stretch.
__attribute__((flatten)) uint32_t decode_block(model* m, uint8_t* buf, uint32_t n, uint32_t* histogram, bool* end,
                                               size_t reserve)
{
    // The coder works on a copy that the compiler keeps in registers from
    // one decision to the next; m->coder is brought up to date on the way
    // out.
    arithcoder coder = m->coder;
    bytein* const in = coder.in;
    *end = false;
    uint32_t count = 0;
    while (count < n) {
        if (m->runlength != 0) {
            // Owed copies go out as one stretch, as far as buf reaches.
            const uint32_t room = n - count;
            const uint32_t k = m->runlength < room ? static_cast<uint32_t>(m->runlength) : room;
            const uint8_t s = static_cast<uint8_t>(m->lastseen->sym);
            // Most runs are short: one store of 16 copies covers them
            // where buf has the room, whatever their length.
            if (k <= 16 && room >= 16)
                std::memset(buf + count, s, 16);
            else
                std::memset(buf + count, s, k);
            histogram[s] += k;
            count += k;
            m->runlength -= k;
            continue;
        }
        // Too little input left for the longest symbol: the caller brings
        // more (one comparison, never true for reserve 0).
        if (static_cast<size_t>(in->end - in->pos) < reserve) break;
        const int s = decode_newsymbol(m, &coder);
        if (s < 0) {
            *end = true;
            break;
        }
        buf[count++] = static_cast<uint8_t>(s);
        ++histogram[s];
    }
    m->coder = coder;
    return count;
}
