// Moving a just-coded symbol into the recency ring, and everything the ring
// pushes out on the way down: list 1, list 2, the full table.
//
// The ring ages by one slot per call: the oldest slot becomes the newest.
// If that slot held the last copy of a symbol, the symbol goes to the front
// of list 1; a full list 1 hands its last symbol to the front of list 2,
// and a full list 2 hands its last symbol back to the full table. Lists
// move symbols between positions; the positions' counts stay where they are.
#include "model/modelstate.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// A position that becomes occupied goes back into coding with the count it
// remembered.
inline void occupy(cumtable* table, uint32_t pos)
{
    updatecumonly(pos, table, static_cast<int32_t>(table->freq[pos]));
}

// Shifts the list back by one place and puts s in front: each vector moves
// up a lane, the one below's top lane coming in at its bottom. What moves
// past the list's capacity is never read.
template <uint32_t cap>
inline void pushfront(int16_t* list, int32_t s)
{
#if defined(__SSE2__)
    constexpr uint32_t vectors = listvectors<cap>;
    __m128i v[vectors];
    for (uint32_t g = 0; g < vectors; ++g) v[g] = _mm_load_si128(reinterpret_cast<const __m128i*>(list) + g);
    for (uint32_t g = vectors - 1; g > 0; --g) {
        _mm_store_si128(reinterpret_cast<__m128i*>(list) + g,
                        _mm_or_si128(_mm_slli_si128(v[g], 2), _mm_srli_si128(v[g - 1], 14)));
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(list), _mm_insert_epi16(_mm_slli_si128(v[0], 2), s, 0));
#else
    for (uint32_t j = cap - 1; j > 0; --j) list[j] = list[j - 1];
    list[0] = static_cast<int16_t>(s);
#endif
}

// X leaves the ring for the front of list 1. Returns the symbol that a
// full list 2 hands back to the full table, or -1; the table itself is
// left to the caller.
int32_t ringleave(model* m, int32_t x)
{
    int32_t* const sym2mod = m->sym2mod;
    int32_t back = -1;
    if (m->mtf1size == mtf1cap) {
        const int32_t y = m->mtf1list[mtf1cap - 1];
        if (m->mtf2size == mtf2cap) {
            back = m->mtf2list[mtf2cap - 1];
            sym2mod[back] = fullclass;
        } else {
            occupy(&m->mtf2, m->mtf2size);
            ++m->mtf2size;
        }
        pushfront<mtf2cap>(m->mtf2list, y);
        sym2mod[y] = list2class;
    } else {
        occupy(&m->mtf1, m->mtf1size);
        ++m->mtf1size;
    }
    pushfront<mtf1cap>(m->mtf1list, x);
    sym2mod[x] = list1class;
    return back;
}

// The full table's part: s, when it was coded from the table, leaves its
// coding with its count raised by 4; back, when a symbol comes back, returns
// to coding with the count it kept, and the table is halved once its total
// passes 8000. Most new symbols do both, in one pass.
void fullupdate(model* m, int32_t what, int32_t s, int32_t back)
{
    flattable* const full = &m->full;
    if (what == fullclass) {
        const uint32_t out = static_cast<uint32_t>(s);
        const int32_t drop = -static_cast<int32_t>(full->freq[out]);
        full->freq[out] += 4;
        if (back < 0)
            updatecumonly(out, full, drop);
        else
            updatecumtwo(full, out, drop, static_cast<uint32_t>(back), static_cast<int32_t>(full->freq[back]));
    } else if (back >= 0) {
        updatecumonly(static_cast<uint32_t>(back), full, static_cast<int32_t>(full->freq[back]));
    }
    // Only a return raises the total.
    if (back >= 0 && full->total > fulllimit) scalefreqcond(full, m->sym2mod);
}

}  // namespace

void cacheupdate(model* m, int32_t what, int32_t s, uint32_t newcount, int32_t newctx)
{
    cachenode* const e = m->lastseen->next;
    m->lastseen = e;
    m->sym2cache[s] = e;
    m->sym2mod[s] = ringclass;

    ++m->mwhat[what];
    if (++m->mwhattotal > countlimit) {
        m->mwhattotal = 0;
        for (uint32_t& c : m->mwhat) m->mwhattotal += c = (c + 1) >> 1;
    }

    int32_t back = -1;
    if (e->count != 0) {
        // The only remaining copy of its symbol (count 1) leaves the ring.
        back = ringleave(m, e->sym);
        setcount(m, e, newcount);
    } else {
        // An older duplicate: one copy of its symbol leaves the window. When
        // that symbol is s itself, sym2cache[s] is already e, so e ends with
        // newcount - 1, the copy leaving and the copy entering being the same.
        setcount(m, e, newcount);
        cachenode* const newest = m->sym2cache[e->sym];
        setcount(m, newest, newest->count - 1);
    }
    e->sym = s;
    e->runctx = newctx;
    fullupdate(m, what, s, back);
}
