// The symbol model's state and its own helpers, for the model's files and
// its tests; the drivers use model/model.h.
//
// The model turns symbols into coding decisions for the range coder and
// back, keeping the same adaptive state on both sides.
//
// Symbols are 0..256; 256 is the end symbol. A repeat of the current symbol
// only lengthens the current run. Any other symbol (a new symbol) is coded
// as the length of the run that just ended, then its class, then its place
// inside the class:
//
//   class 0  the recency ring cache: the symbols of the last 30 new symbols,
//            each weighted by the number of ring slots it holds
//   class 1  list 1 (mtf1list): up to 10 symbols that last left the ring,
//            coded by position with the position counts of mtf1
//   class 2  list 2 (mtf2list): up to 20 symbols that last left list 1,
//            coded by position with the position counts of mtf2
//   class 3  every other symbol, coded by its own count in full
//
// and afterwards becomes the newest slot of the ring (cacheupdate). Symbols
// age 0 -> 1 -> 2 -> 3 and jump back to 0 when used. The decoder reads the
// same decisions in the same order and makes the same changes, so after
// each new symbol and its run both sides hold identical state.
//
// The state is one record, struct model (model/model.h), opened by
// initmodel and closed by deletemodel; every function here takes it first
// where it needs it.
//
// Damaged input: the decoder stops with errorstop(err_corrupt) when a
// stream selects a class that holds nothing or a run number with more than
// rundigits digits; every other choice a stream can make picks a slot of
// nonzero weight, so no table is ever left.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "coder/arith.h"
#include "coder/cumtable.h"
#include "coder/flattable.h"
#include "common/classes.h"
#include "model/model.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

constexpr int32_t endsymbol = 256;

// Rescale thresholds: a sum above 100 for the class counts and each run
// model, a total above 1000 for a full list table, above 8000 for full.
constexpr uint32_t countlimit = 100;
constexpr uint32_t listlimit = 1000;
constexpr uint32_t fulllimit = 8000;

// The largest total the coder can divide its range by (2^23).
constexpr uint32_t codermaxtotal = 0x800000u;

// The ring's slots (cachenode) and the run models (runmodel) are in
// model/model.h, with the record.

// Run contexts, the run models of mrun: for a symbol from the ring whose
// previous run was 1..2 bytes or longer, for a symbol from a list, and for
// one from full (and the end symbol's initial run).
enum : int32_t { shortrunctx = 0, longrunctx = 1, listrunctx = 2, fullrunctx = 3 };
//
// The record's tables:
//
// sym2mod    class 0..3 of every symbol. Exactly one holds: class 0 and
//            sym2cache[s] holds s with count >= 1; class 1/2 and s stands
//            at an occupied position of list 1/2; class 3.
// cache      the ring's slots; lastseen the newest, whose sym is the
//            current run's; sym2cache[s] the newest slot of a class-0 s.
// mwhat      class-decision counts, sum halved above 100.
// mrun       run digit counts, indexed by run context.
// mtf1list, mtf1size, mtf1 and mtf2list, mtf2size, mtf2: the lists.
//            Position 0 is the most recently inserted symbol; positions
//            0..size-1 are occupied. The tables count positions, not
//            symbols: every position keeps its freq entry, but only
//            occupied positions are in coding.
// full       counts of the symbols themselves; only class-3 symbols are in
//            coding, the others keep their freq entry for their return.
//            Flat, so that looking a symbol up and taking it out or putting
//            it back cost no walk.
// runlength  encoding: length so far of the current run (at least 1).
//            Decoding: copies of lastseen's symbol still owed to the
//            caller. 64 bits wide in both directions: a run can be longer
//            than 2^32 bytes.
// coder      the range coder; encoding writes to its out, decoding reads
//            from its in.

// Index of a slot in cache.
inline uint32_t ringslot(const cachenode* p) { return p->slot; }

// A copy of the slots' counts, laid out twice in a row: ringcount[k] and
// ringcount[k + 30] both equal cache[k].count, and bytes 60..63 are 0. Any
// stretch of the ring then lies side by side in it: the encoder sums the
// counts of the slots newer than a symbol's slot in one pass without a
// branch, and the decoder walks the older slots without wrapping round.
// Every change of a count goes through setcount.
inline void setcount(model* m, cachenode* p, uint32_t count)
{
    p->count = count;
    const uint32_t k = ringslot(p);
    m->ringcount[k] = static_cast<uint8_t>(count);
    m->ringcount[k + ringslots] = static_cast<uint8_t>(count);
}

// Makes s, just coded from class what, the newest ring slot with the given
// count and run context, counts the class decision, and pushes the symbol
// the ring gives up down the lists (list 1 -> list 2 -> full). A symbol
// coded from the full table leaves that table's coding here, its count
// raised by 4.
void cacheupdate(model* m, int32_t what, int32_t s, uint32_t newcount, int32_t newctx);

// Counts the stop that ends a run number in run model m, whose sum was t
// before the stop; the counts are halved, rounding up, once the sum passes
// 100. Only a stop is followed by this test, never a digit.
inline void countstop(runmodel* m, uint32_t t)
{
    ++m->c2;
    if (t + 1 > countlimit) {
        m->c0 = (m->c0 + 1) >> 1;
        m->c1 = (m->c1 + 1) >> 1;
        m->c2 = (m->c2 + 1) >> 1;
    }
}

// Brings an unfull list's total back within what the coder can take, by
// halving; streams that never need it are unaffected.
void limitlisttotal(cumtable* table, uint32_t size);

// A list's storage as vectors of eight symbols (model.h: listlanes).
template <uint32_t cap>
constexpr uint32_t listvectors = (cap + listlanes - 1) / listlanes;

// After position i of a list has been coded, in either direction: counts
// the position (a full list's table is halved once its total passes 1000),
// closes the gap in the list, and takes the position that fell empty out of
// coding; that position keeps its count for when it is filled again. The
// decoder learns i late, so nothing here branches on i: the count goes up
// in a fixed number of steps, and the gap closes by a pass over the whole
// list that moves only the symbols behind it.
template <uint32_t cap>
inline void listremove(int16_t* list, uint32_t* size, cumtable* table, uint32_t i)
{
    ++table->freq[i];
    updatecumfixed<std::bit_width(cap)>(i, table, +1);
    if (table->total > listlimit && *size == cap) scalefreq(table);
    const uint32_t last = --*size;
#if defined(__SSE2__)
    // Position j takes position j + 1's symbol for i <= j < last: each
    // vector beside itself moved down a lane, the next vector's first lane
    // coming in at its top.
    constexpr uint32_t vectors = listvectors<cap>;
    __m128i v[vectors + 1];
    for (uint32_t g = 0; g < vectors; ++g) v[g] = _mm_load_si128(reinterpret_cast<const __m128i*>(list) + g);
    v[vectors] = _mm_setzero_si128();
    const __m128i from = _mm_set1_epi16(static_cast<int16_t>(i));
    const __m128i upto = _mm_set1_epi16(static_cast<int16_t>(last));
    for (uint32_t g = 0; g < vectors; ++g) {
        const __m128i lane = _mm_add_epi16(_mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7),
                                           _mm_set1_epi16(static_cast<int16_t>(listlanes * g)));
        const __m128i behind = _mm_or_si128(_mm_srli_si128(v[g], 2), _mm_slli_si128(v[g + 1], 14));
        const __m128i moves = _mm_andnot_si128(_mm_cmpgt_epi16(from, lane), _mm_cmpgt_epi16(upto, lane));
        _mm_store_si128(reinterpret_cast<__m128i*>(list) + g,
                        _mm_or_si128(_mm_and_si128(moves, behind), _mm_andnot_si128(moves, v[g])));
    }
#else
    for (uint32_t j = i; j < last; ++j) list[j] = list[j + 1];
#endif
    updatecumonly(last, table, -static_cast<int32_t>(table->freq[last]));
}

// ---- encoding -----------------------------------------------------------

// The position of sym in a list that holds it at an occupied position. The
// positions past the occupied ones hold symbols that have moved on, all
// behind sym's place, so the first position holding sym is its own.
//
// With the vector unit: every position compared at once, eight to a
// vector, and the lowest match taken, instead of a scan whose end varies
// with every symbol.
template <uint32_t cap>
inline uint32_t listposition(const int16_t* list, int32_t sym)
{
#if defined(__SSE2__)
    const __m128i target = _mm_set1_epi16(static_cast<int16_t>(sym));
    uint64_t found = 0;
    for (uint32_t g = 0; g < listvectors<cap>; ++g) {
        const __m128i x = _mm_load_si128(reinterpret_cast<const __m128i*>(list) + g);
        found |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi16(x, target))))
                 << (16 * g);
    }
    return static_cast<uint32_t>(std::countr_zero(found)) / 2;
#else
    uint32_t i = 0;
    while (list[i] != sym) ++i;
    return i;
#endif
}

// The two halves of coding a new symbol: the run number of the run that
// just ended (and its run context), then the symbol's class and place.
void encode_runend(model* m);
void encode_newsymbol(model* m, int32_t sym);

// Codes sym (0..256). A repeat of the current symbol only counts.
inline void encode(model* m, int32_t sym)
{
    if (sym == m->lastseen->sym) {
        ++m->runlength;
        return;
    }
    encode_runend(m);
    encode_newsymbol(m, sym);
}

// ---- decoding -----------------------------------------------------------

// Reads one run number (at least 1) in run model m.
uint64_t decoderun(arithcoder* coder, runmodel* m);

// Reads one slot of table: a slot in coding, so with nonzero weight.
inline int decode_symbol(arithcoder* coder, const flattable* table)
{
    const uint32_t total = table->total;
    const uint32_t t = decode_culfreq(coder, total);
    uint32_t cum;
    const uint32_t s = getsymcf(t, table, &cum);
    decode_update(coder, table->freq[s], cum, total);
    return static_cast<int>(s);
}

// Reads a new symbol with its run; -1 for the end symbol. The coder is
// m->coder, or a copy of it that the caller keeps in registers.
int decode_newsymbol(model* m, arithcoder* coder);

// The next symbol 0..255, or -1 once the end symbol has been read.
inline int decode(model* m)
{
    if (m->runlength != 0) {
        --m->runlength;
        return m->lastseen->sym;
    }
    return decode_newsymbol(m, &m->coder);
}

