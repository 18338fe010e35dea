// Reading a new symbol: its class, its place in the class and the run that
// it starts, mirroring the encoder decision for decision. Pending copies of
// a run never get here (decode in model.h and decode_block hand them out).
//
// Any byte string is a possible input. Every query is clamped below its
// total and every table search returns a slot of nonzero weight, so the
// choices always lie inside the tables. What the coder cannot survive is
// stopped here: a class whose total is 0 (an empty list, or a ring whose
// only symbol is the current one) and a run number longer than the run
// counter can hold.
#include "model/model.h"

#include "coder/stop.h"

namespace {

// Reads a position of a list, takes its symbol out of the list and returns
// the symbol.
inline int32_t decodelist(arithcoder* coder, int32_t* list, uint32_t* size, cumtable* table, uint32_t cap)
{
    if (*size == 0) errorstop(err_corrupt);
    if (table->total > codermaxtotal) limitlisttotal(table, *size);
    const uint32_t p = static_cast<uint32_t>(decode_symbol(coder, table));
    const int32_t sym = list[p];
    listremove(list, size, table, cap, p);
    return sym;
}

}  // namespace

uint32_t decoderun(arithcoder* coder, runmodel* m)
{
    uint32_t result = 0;
    uint32_t bit = 1;
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
        // A 32nd digit below the leading 1 would push the run past 32 bits.
        bit <<= 1;
        if (bit == 0) errorstop(err_corrupt);
    }
    result += bit;
    decode_update(coder, m->c2, m->c0 + m->c1, t);
    countstop(m, t);
    return result;
}

int decode_newsymbol(arithcoder* coder)
{
    const uint32_t total = mwhat[0] + mwhat[1] + mwhat[2] + mwhat[3];
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
    case 0: {
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
        uint32_t at = ringslot(lastseen) + ringslots;
        uint32_t sum = 0;
        do sum += ringcount[--at];
        while (unit * sum <= v);
        cachenode* const p = &cache[at < ringslots ? at : at - ringslots];
        const uint32_t w = p->count;
        decode_update(coder, w, sum - w, ringtotal);
        sym = p->sym;
        setcount(p, 0);
        cacheupdate(0, sym, w + 1, p->runctx);
        break;
    }
    case 1:
        sym = decodelist(coder, mtf1list, &mtf1size, &mtf1, mtf1cap);
        cacheupdate(1, sym, 1, 2);
        break;
    case 2:
        sym = decodelist(coder, mtf2list, &mtf2size, &mtf2, mtf2cap);
        cacheupdate(2, sym, 1, 2);
        break;
    default: {
        sym = decode_symbol(coder, &full);
        const uint32_t s = static_cast<uint32_t>(sym);
        updatecumonly(s, &full, -static_cast<int32_t>(full.freq[s]));
        full.freq[s] += 4;
        cacheupdate(3, sym, 1, 3);
        break;
    }
    }

    if (sym == endsymbol) return -1;

    const uint32_t j = decoderun(coder, &mrun[lastseen->runctx]);
    runlength = j - 1;
    lastseen->runctx = j - 1 > 1 ? 1 : 0;
    return sym;
}
