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

// Shifts the list back by one place and puts s in front. The whole list
// moves, whatever its size: a fixed sequence of moves instead of a loop
// whose length varies. What moves past the occupied positions is never
// read. With the vector unit: every group of four is loaded before any is
// stored, the last group ending at the list's end.
template <uint32_t cap>
inline void pushfront(int32_t* list, int32_t s)
{
#if defined(__SSE2__)
    static_assert(cap >= 5);
    constexpr uint32_t groups = (cap - 1 + 3) / 4;
    __m128i moved[groups];
    for (uint32_t g = 0; g < groups; ++g) {
        const uint32_t from = 4 * g + 4 <= cap - 1 ? 4 * g : cap - 5;
        moved[g] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(list + from));
    }
    for (uint32_t g = 0; g < groups; ++g) {
        const uint32_t from = 4 * g + 4 <= cap - 1 ? 4 * g : cap - 5;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(list + from + 1), moved[g]);
    }
#else
    for (uint32_t j = cap - 1; j > 0; --j) list[j] = list[j - 1];
#endif
    list[0] = s;
}

// X leaves the ring for the front of list 1.
void ringleave(model* m, int32_t x)
{
    int32_t* const sym2mod = m->sym2mod;
    flattable* const full = &m->full;
    if (m->mtf1size == mtf1cap) {
        const int32_t y = m->mtf1list[mtf1cap - 1];
        if (m->mtf2size == mtf2cap) {
            const int32_t z = m->mtf2list[mtf2cap - 1];
            // Z returns to coding with the count it kept.
            updatecumonly(static_cast<uint32_t>(z), full, static_cast<int32_t>(full->freq[z]));
            sym2mod[z] = fullclass;
            if (full->total > fulllimit) scalefreqcond(full, sym2mod);
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

    if (e->count != 0) {
        // The only remaining copy of its symbol (count 1) leaves the ring.
        ringleave(m, e->sym);
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
}
