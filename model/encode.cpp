// Coding a new symbol: the run that it ends, its class, its place in the
// class. Repeats never get here (encode in model.h and encode_block only
// count them).
#include "model/modelstate.h"

#include <bit>
#include <cstring>

#include "common/stop.h"

namespace {

// Codes the position of sym in a list and takes it out of the list; the
// position that falls empty leaves coding and keeps its count.
template <uint32_t cap>
void encodelist(arithcoder* coder, int32_t sym, int16_t* list, uint32_t* size, cumtable* table)
{
    const uint32_t i = listposition<cap>(list, sym);
    if (table->total > codermaxtotal) limitlisttotal(table, *size);
    encode_freq(coder, table->freq[i], getcf(i, table), table->total);
    listremove<cap>(list, size, table, i);
}

// Byte j of rampmask + 32 - k is FF for j < k and 0 from there on.
alignas(64) constexpr uint8_t rampmask[64] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The counts of the slots strictly between slot `from` and slot `to`,
// going newer (slot k + 1 is the next newer slot after k, round the ring).
// In the doubled copy of the counts they are the bytes from + 1 onwards, as
// many as there are slots in between: a fixed pass over 32 bytes with a
// mask, which the compiler turns into a few vector operations, instead of a
// walk whose length varies with every symbol.
uint32_t ringnewer(const uint8_t* ringcount, uint32_t from, uint32_t to)
{
    // Byte arithmetic throughout (the counts add up to at most 30), and a
    // mask rather than a condition, so that every byte is loaded.
    const uint32_t gap = to - from - 1;  // wraps round when to <= from
    const uint32_t between = gap < ringslots ? gap : gap + ringslots;
    const uint8_t* const stretch = ringcount + from + 1;
    const uint8_t* const inside = rampmask + 32 - between;
    uint8_t sum = 0;
    for (uint32_t j = 0; j < 32; ++j) sum += stretch[j] & inside[j];
    return sum;
}

// The first byte from p on (before end) that differs from c, a symbol
// 0..256 (the end symbol differs from every byte), or end. Eight bytes are
// compared at a time, as one word: the lowest nonzero byte of the word xor
// c's copies ends the run. Most runs end within the first word, so the end
// of a run costs neither a loop nor a branch that depends on its length.
inline const uint8_t* runend(const uint8_t* p, const uint8_t* end, int32_t c)
{
    if (c > 255) return p;
    if constexpr (std::endian::native == std::endian::little) {
        const uint64_t copies = static_cast<uint64_t>(c) * 0x0101010101010101ull;
        for (; end - p >= 8; p += 8) {
            uint64_t word;
            std::memcpy(&word, p, sizeof word);
            const uint64_t differ = word ^ copies;
            if (differ != 0) return p + std::countr_zero(differ) / 8;
        }
    }
    while (p != end && *p == c) ++p;
    return p;
}

}  // namespace

// Everything a block's coding calls is compiled into this one function:
// the coder state and the model's pointers stay in registers from one new
// symbol to the next, instead of being saved and restored around calls.
__attribute__((flatten)) void encode_block(model* m, const uint8_t* p, uint32_t n)
{
    // Repeats are only counted, eight bytes at a time; the run is kept in a
    // register and handed back to runlength before the run number is coded.
    int32_t current = m->lastseen->sym;
    uint64_t run = m->runlength;
    const uint8_t* const end = p + n;
    for (;;) {
        const uint8_t* const from = p;
        p = runend(p, end, current);
        run += static_cast<uint64_t>(p - from);
        if (p == end) break;
        m->runlength = run;
        encode_runend(m);
        current = *p++;
        encode_newsymbol(m, current);
        run = 1;
    }
    m->runlength = run;
}

void encode_runend(model* m)
{
    const uint64_t runlength = m->runlength;
    arithcoder* const coder = &m->coder;
    // A longer run has no run number the decoder accepts; stop rather than
    // write a stream that would not restore.
    if (runlength > maxrun) errorstop(err_longrun);

    runmodel* const r = &m->mrun[m->lastseen->runctx];
    uint32_t t = r->c0 + r->c1 + r->c2;
    for (uint64_t a = runlength; a > 1; a >>= 1) {
        if (a & 1) {
            encode_freq(coder, r->c1, r->c0, t);
            ++r->c1;
        } else {
            encode_freq(coder, r->c0, 0, t);
            ++r->c0;
        }
        ++t;
    }
    encode_freq(coder, r->c2, r->c0 + r->c1, t);
    countstop(r, t);
    m->lastseen->runctx = runlength > 2 ? longrunctx : shortrunctx;
}

void encode_newsymbol(model* m, int32_t sym)
{
    arithcoder* const coder = &m->coder;
    const uint32_t* const mwhat = m->mwhat;
    cachenode* const lastseen = m->lastseen;
    const int32_t k = m->sym2mod[sym];
    const uint32_t total = m->mwhattotal;
    // The counts of the lower classes, without a loop whose length varies.
    const uint32_t below = (k > ringclass ? mwhat[ringclass] : 0) + (k > list1class ? mwhat[list1class] : 0) +
                           (k > list2class ? mwhat[list2class] : 0);
    encode_freq(coder, mwhat[k], below, total);

    switch (k) {
    case ringclass: {
        cachenode* const p = m->sym2cache[sym];
        const uint32_t newer = ringnewer(m->ringcount, ringslot(p), ringslot(lastseen));
        encode_freq(coder, p->count, newer, ringslots - lastseen->count);
        const uint32_t w = p->count;
        setcount(m, p, 0);
        cacheupdate(m, ringclass, sym, w + 1, p->runctx);
        break;
    }
    case list1class:
        encodelist<mtf1cap>(coder, sym, m->mtf1list, &m->mtf1size, &m->mtf1);
        cacheupdate(m, list1class, sym, 1, listrunctx);
        break;
    case list2class:
        encodelist<mtf2cap>(coder, sym, m->mtf2list, &m->mtf2size, &m->mtf2);
        cacheupdate(m, list2class, sym, 1, listrunctx);
        break;
    default: {
        flattable* const full = &m->full;
        const uint32_t s = static_cast<uint32_t>(sym);
        encode_freq(coder, full->freq[s], getcf(s, full), full->total);
        cacheupdate(m, fullclass, sym, 1, fullrunctx);
        break;
    }
    }
    m->runlength = 1;
}
