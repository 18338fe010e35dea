// The model's tables, their opening and closing.
//
// Opening sets the state as if the end symbol had filled the whole ring and
// had just been seen, with a run of length 1 in progress in run context 3;
// every byte value starts in the full table with count 1.
#include "model/modelstate.h"

#include <cstring>

#include "common/stop.h"

namespace {

// A list table starts with every position remembering a count of 1 while
// none is occupied, so nothing is in coding.
int openlist(cumtable* table, uint32_t n)
{
    if (initfreq(table, n, 0) != 0) return 1;
    for (uint32_t p = 0; p < n; ++p) table->freq[p] = 1;
    return 0;
}

void releasetables(model* m)
{
    freefreq(&m->mtf1);
    freefreq(&m->mtf2);
    freefreq(&m->full);
}

// The same table in to's own storage.
void copytable(cumtable* to, const cumtable* from)
{
    uint32_t* const storage = to->freq;
    std::memcpy(storage, from->freq, (2 * static_cast<size_t>(from->size) + cumspare) * sizeof(uint32_t));
    *to = *from;
    to->freq = storage;
    to->tree = storage + (from->tree - from->freq);
}

}  // namespace

int initmodel(model* m, int flag, bytein* in, byteout* out)
{
    // Anything a previous run left open is released, so a table is never
    // leaked or opened twice.
    releasetables(m);
    m->encoding = 0;

    if (initfreq(&m->full, nsymbols, 1) != 0) return 1;
    m->mtf1size = 0;
    if (openlist(&m->mtf1, mtf1cap) != 0) {
        releasetables(m);
        return 1;
    }
    m->mtf2size = 0;
    if (openlist(&m->mtf2, mtf2cap) != 0) {
        releasetables(m);
        return 1;
    }

    for (runmodel& r : m->mrun) r = runmodel{1, 1, 1};
    for (uint32_t& c : m->mwhat) c = 1;
    m->mwhattotal = 4;

    for (uint8_t& c : m->ringcount) c = 0;
    cachenode* const cache = m->cache;
    for (uint32_t k = 0; k < ringslots; ++k) {
        cache[k].slot = k;
        cache[k].sym = endsymbol;
        setcount(m, &cache[k], 0);
        cache[k].runctx = fullrunctx;
        cache[k].next = &cache[(k + 1) % ringslots];
        cache[k].prev = &cache[(k + ringslots - 1) % ringslots];
    }
    m->lastseen = &cache[0];
    setcount(m, &cache[0], ringslots);

    updatecumonly(endsymbol, &m->full, -1);

    for (int32_t s = 0; s < endsymbol; ++s) {
        m->sym2mod[s] = fullclass;
        m->sym2cache[s] = nullptr;
    }
    m->sym2mod[endsymbol] = ringclass;
    m->sym2cache[endsymbol] = &cache[0];
    for (int16_t& s : m->mtf1list) s = 0;
    for (int16_t& s : m->mtf2list) s = 0;

    m->encoding = flag != 0 ? 1 : 0;
    if (m->encoding) {
        start_encoding(&m->coder, out, 0);
        m->runlength = 1;
    } else {
        // The first byte is the encoder's initial held byte, always 0.
        start_decoding(&m->coder, in);
        // The initial run of the end symbol, which the encoder codes before
        // its first symbol.
        decoderun(&m->coder, &m->mrun[m->lastseen->runctx]);
        m->runlength = 0;
    }
    return 0;
}

void deletemodel(model* m)
{
    // The tables go even when coding the end symbol stops the run.
    struct releaser {
        model* m;
        ~releaser() { releasetables(m); }
    } const release{m};
    if (m->encoding == 1 && m->full.freq != nullptr) {
        m->encoding = 0;
        encode(m, endsymbol);
        done_encoding(&m->coder);
    }
    m->encoding = 0;
}

void abandonmodel(model* m)
{
    m->encoding = 0;
    deletemodel(m);
}

bool modelopen(const model* m)
{
    return m->full.freq != nullptr || m->mtf1.freq != nullptr || m->mtf2.freq != nullptr;
}

void copymodel(model* to, const model* from, bytein* in)
{
    if (!modelopen(to)) {
        if (initfreq(&to->full, nsymbols, 1) != 0 || initfreq(&to->mtf1, mtf1cap, 0) != 0 ||
            initfreq(&to->mtf2, mtf2cap, 0) != 0) {
            releasetables(to);
            errorstop(err_nomemory);
        }
    }
    cumtable mtf1 = to->mtf1;
    cumtable mtf2 = to->mtf2;
    flattable* const full = &to->full;
    copytable(&mtf1, &from->mtf1);
    copytable(&mtf2, &from->mtf2);
    uint32_t* const fullfreq = full->freq;
    std::memcpy(fullfreq, from->full.freq, from->full.size * sizeof(uint32_t));

    // Everything else is the record itself, whose pointers into its own
    // ring move to the same places in to's ring.
    std::memcpy(static_cast<void*>(to), static_cast<const void*>(from), sizeof(model));
    const auto moved = [to, from](cachenode* p) { return p == nullptr ? nullptr : to->cache + (p - from->cache); };
    for (cachenode& c : to->cache) {
        c.next = moved(c.next);
        c.prev = moved(c.prev);
    }
    to->lastseen = moved(from->lastseen);
    for (cachenode*& p : to->sym2cache) p = moved(p);
    to->mtf1 = mtf1;
    to->mtf2 = mtf2;
    full->freq = fullfreq;
    to->coder.in = in;
    to->coder.out = nullptr;
}

uint64_t currentrun(const model* m) { return m->runlength; }

void limitlisttotal(cumtable* table, uint32_t size)
{
    // Halving puts every position in coding; the empty ones go out again
    // and keep their halved counts for when they are filled.
    while (table->total > codermaxtotal) {
        scalefreq(table);
        for (uint32_t p = size; p < table->size; ++p)
            updatecumonly(p, table, -static_cast<int32_t>(table->freq[p]));
    }
}
