// Coding a new symbol: the run that it ends, its class, its place in the
// class. Repeats never get here (encode in model.h only counts them).
#include "model/model.h"

#include "coder/stop.h"

namespace {

// Codes the position of sym in a list and takes it out of the list; the
// position that falls empty leaves coding and keeps its count.
void encodelist(int32_t sym, int32_t* list, uint32_t* size, cumtable* table, uint32_t cap)
{
    uint32_t i = 0;
    while (list[i] != sym) ++i;
    if (table->total > codermaxtotal) limitlisttotal(table, *size);
    encode_freq(&ac, table->freq[i], getcf(i, table), table->total);
    ++table->freq[i];
    updatecumonly(i, table, +1);
    if (table->total > listlimit && *size == cap) scalefreq(table);
    const uint32_t last = --*size;
    for (uint32_t j = i; j < last; ++j) list[j] = list[j + 1];
    updatecumonly(last, table, -static_cast<int32_t>(table->freq[last]));
}

}  // namespace

void encode_runend()
{
    // A run this long has no run number in the stream format (the decoder
    // takes at most 32 digits); stop rather than write a stream that would
    // restore the wrong data.
    if (runlength > UINT32_MAX) errorstop(err_longrun);

    runmodel* const m = &mrun[lastseen->runctx];
    uint32_t t = m->c0 + m->c1 + m->c2;
    for (uint64_t a = runlength; a > 1; a >>= 1) {
        if (a & 1) {
            encode_freq(&ac, m->c1, m->c0, t);
            ++m->c1;
        } else {
            encode_freq(&ac, m->c0, 0, t);
            ++m->c0;
        }
        ++t;
    }
    encode_freq(&ac, m->c2, m->c0 + m->c1, t);
    ++m->c2;
    ++t;
    if (t > countlimit) {
        m->c0 = (m->c0 + 1) >> 1;
        m->c1 = (m->c1 + 1) >> 1;
        m->c2 = (m->c2 + 1) >> 1;
    }
    lastseen->runctx = runlength > 2 ? 1 : 0;
}

void encode_newsymbol(int32_t sym)
{
    const int32_t k = sym2mod[sym];
    const uint32_t total = mwhat[0] + mwhat[1] + mwhat[2] + mwhat[3];
    uint32_t below = 0;
    for (int32_t j = 0; j < k; ++j) below += mwhat[j];
    encode_freq(&ac, mwhat[k], below, total);

    switch (k) {
    case 0: {
        cachenode* const p = sym2cache[sym];
        uint32_t newer = 0;
        for (const cachenode* n = p->next; n != lastseen; n = n->next) newer += n->count;
        encode_freq(&ac, p->count, newer, ringslots - lastseen->count);
        const uint32_t w = p->count;
        p->count = 0;
        cacheupdate(0, sym, w + 1, p->runctx);
        break;
    }
    case 1:
        encodelist(sym, mtf1list, &mtf1size, &mtf1, mtf1cap);
        cacheupdate(1, sym, 1, 2);
        break;
    case 2:
        encodelist(sym, mtf2list, &mtf2size, &mtf2, mtf2cap);
        cacheupdate(2, sym, 1, 2);
        break;
    default: {
        const uint32_t s = static_cast<uint32_t>(sym);
        encode_freq(&ac, full.freq[s], getcf(s, &full), full.total);
        updatecumonly(s, &full, -static_cast<int32_t>(full.freq[s]));
        full.freq[s] += 4;
        cacheupdate(3, sym, 1, 3);
        break;
    }
    }
    runlength = 1;
}
