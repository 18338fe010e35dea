// The model's tables, their opening and closing.
//
// Opening sets the state as if the end symbol had filled the whole ring and
// had just been seen, with a run of length 1 in progress in run context 3;
// every byte value starts in the full table with count 1.
#include "model/modelstate.h"

int encoding;
int32_t sym2mod[nsymbols];
cachenode cache[ringslots];
alignas(64) uint8_t ringcount[64];
cachenode* lastseen;
cachenode* sym2cache[nsymbols];
uint32_t mwhat[4];
runmodel mrun[4];
int32_t mtf1list[mtf1cap];
uint32_t mtf1size;
cumtable mtf1;
int32_t mtf2list[mtf2cap];
uint32_t mtf2size;
cumtable mtf2;
flattable full;
uint64_t runlength;

namespace {

// A list table starts with every position remembering a count of 1 while
// none is occupied, so nothing is in coding.
int openlist(cumtable* table, uint32_t n)
{
    if (initfreq(table, n, 0) != 0) return 1;
    for (uint32_t p = 0; p < n; ++p) table->freq[p] = 1;
    return 0;
}

void releasetables()
{
    freefreq(&mtf1);
    freefreq(&mtf2);
    freefreq(&full);
}

}  // namespace

int initmodel(int flag)
{
    // Anything a previous run left open is released, so a table is never
    // leaked or opened twice.
    releasetables();
    encoding = 0;

    if (initfreq(&full, nsymbols, 1) != 0) return 1;
    mtf1size = 0;
    if (openlist(&mtf1, mtf1cap) != 0) {
        releasetables();
        return 1;
    }
    mtf2size = 0;
    if (openlist(&mtf2, mtf2cap) != 0) {
        releasetables();
        return 1;
    }

    for (runmodel& m : mrun) m = runmodel{1, 1, 1};
    for (uint32_t& c : mwhat) c = 1;

    for (uint8_t& c : ringcount) c = 0;
    for (uint32_t k = 0; k < ringslots; ++k) {
        cache[k].slot = k;
        cache[k].sym = endsymbol;
        setcount(&cache[k], 0);
        cache[k].runctx = 3;
        cache[k].next = &cache[(k + 1) % ringslots];
        cache[k].prev = &cache[(k + ringslots - 1) % ringslots];
    }
    lastseen = &cache[0];
    setcount(&cache[0], ringslots);

    updatecumonly(endsymbol, &full, -1);

    for (int32_t s = 0; s < endsymbol; ++s) {
        sym2mod[s] = 3;
        sym2cache[s] = nullptr;
    }
    sym2mod[endsymbol] = 0;
    sym2cache[endsymbol] = &cache[0];
    for (int32_t& s : mtf1list) s = 0;
    for (int32_t& s : mtf2list) s = 0;

    encoding = flag != 0 ? 1 : 0;
    if (encoding) {
        start_encoding(&ac, 0);
        runlength = 1;
    } else {
        // The first byte is the encoder's initial held byte, always 0.
        start_decoding(&ac);
        // The initial run of the end symbol, which the encoder codes before
        // its first symbol.
        decoderun(&ac, &mrun[lastseen->runctx]);
        runlength = 0;
    }
    return 0;
}

void deletemodel()
{
    // The tables go even when coding the end symbol stops the run.
    struct releaser {
        ~releaser() { releasetables(); }
    } const release;
    if (encoding == 1 && full.freq != nullptr) {
        encoding = 0;
        encode(endsymbol);
        done_encoding(&ac);
    }
    encoding = 0;
}

void abandonmodel()
{
    encoding = 0;
    deletemodel();
}

bool modelopen() { return full.freq != nullptr || mtf1.freq != nullptr || mtf2.freq != nullptr; }

uint64_t currentrun() { return runlength; }

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
