// Adaptive cumulative-frequency table kept flat, for the model's table of
// all symbols, where most lookups and updates of a new symbol land.
//
// The same contract as cumtable (coder/cumtable.h): freq[s] is the symbol's
// own frequency, the weight that coding sees is freq[s] while s is in
// coding and 0 once it is taken out, and taking it out keeps freq[s].
//
// The symbols stand in groups of 16 positions. For every position p the
// table keeps below[p], the weight of the positions of p's group before p,
// and for every group g, groupbelow[g], the weight of all groups before g;
// a symbol's cumulative weight is the sum of the two, two loads instead of
// a walk. An update adds its delta to the positions after the symbol in
// its group and to the groups after its group: a fixed pass of vector
// additions under a mask, with no branch that depends on the symbol. A
// search compares all groups with the value at once, then all positions of
// the group it found: two comparisons and two bit scans instead of a
// branch per level that the coder's value decides.
//
// Positions past size have weight 0; the lanes past the last group hold
// total. The cumulative weights are kept in 16 bits, eight to a vector, so
// a pass over a group or over the group level takes two or three vectors:
// every weight stays below 2^15 (the comparisons are signed). The model's
// table of all symbols, halved once its total passes 8000, holds at most
// 8000 and a returning symbol's count, below 16005. The group level has a
// fixed number of lanes, so that its passes are straight-line code; the
// table holds at most 24 groups, 384 symbols.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

constexpr uint32_t flatgroup = 16;
constexpr uint32_t flatlanes = 24;
constexpr uint32_t flatmax = flatgroup * flatlanes;
constexpr uint32_t flatlimit = 0x8000;  // every cumulative weight stays below this

struct flattable {
    uint32_t size;    // number of symbols n, at most flatmax
    uint32_t groups;  // groups of 16 positions: ceil(n / 16)
    uint32_t* freq;   // symbols 0..n-1
    uint32_t total;   // sum of the weights in coding
    alignas(16) uint16_t below[flatmax];          // the first 16 * groups are used
    alignas(16) uint16_t groupbelow[flatlanes];  // past the last group: total
};

// Allocates the table and sets every frequency to init, all in coding.
// Returns 0, or 1 when the storage cannot be obtained or n is above flatmax
// (freq is then null).
int initfreq(flattable* table, uint32_t n, uint32_t init);

// Cumulative weight below sym; exact while sym itself is in coding (and for
// a symbol out of coding, the weight of the symbols before it).
inline uint32_t getcf(uint32_t sym, const flattable* table)
{
    return table->groupbelow[sym / flatgroup] + table->below[sym];
}

#if defined(__SSE2__)
// Eight lanes from lane v on: d in the lanes after `after`, 0 in the others.
inline __m128i flat_lanesafter(uint32_t v, uint32_t after, __m128i d)
{
    const __m128i lane = _mm_setr_epi16(v, v + 1, v + 2, v + 3, v + 4, v + 5, v + 6, v + 7);
    return _mm_and_si128(d, _mm_cmpgt_epi16(lane, _mm_set1_epi16(static_cast<int16_t>(after))));
}
#endif

// Adds delta to the positions after sym in its group.
inline void flat_addinner(flattable* table, uint32_t sym, int32_t delta)
{
    uint16_t* const inner = table->below + sym / flatgroup * flatgroup;
#if defined(__SSE2__)
    const __m128i d = _mm_set1_epi16(static_cast<int16_t>(delta));
    for (uint32_t v = 0; v < flatgroup; v += 8) {
        __m128i* const q = reinterpret_cast<__m128i*>(inner + v);
        _mm_store_si128(q, _mm_add_epi16(_mm_load_si128(q), flat_lanesafter(v, sym % flatgroup, d)));
    }
#else
    const uint16_t d = static_cast<uint16_t>(delta);
    for (uint32_t p = sym % flatgroup + 1; p < flatgroup; ++p) inner[p] = static_cast<uint16_t>(inner[p] + d);
#endif
}

// Adds delta to the groups after group g.
inline void flat_addgroups(flattable* table, uint32_t g, int32_t delta)
{
#if defined(__SSE2__)
    const __m128i d = _mm_set1_epi16(static_cast<int16_t>(delta));
    for (uint32_t v = 0; v < flatlanes; v += 8) {
        __m128i* const q = reinterpret_cast<__m128i*>(table->groupbelow + v);
        _mm_store_si128(q, _mm_add_epi16(_mm_load_si128(q), flat_lanesafter(v, g, d)));
    }
#else
    const uint16_t d = static_cast<uint16_t>(delta);
    for (uint32_t h = g + 1; h < flatlanes; ++h) table->groupbelow[h] = static_cast<uint16_t>(table->groupbelow[h] + d);
#endif
}

// Adds delta to the weight of sym and to total; freq is left to the
// caller.
inline void updatecumonly(uint32_t sym, flattable* table, int32_t delta)
{
    table->total += static_cast<uint32_t>(delta);
    flat_addinner(table, sym, delta);
    flat_addgroups(table, sym / flatgroup, delta);
}

// The same for two symbols at once, da to the weight of a and db to that
// of b: one pass over the group level for both. The model takes a symbol
// out of coding and puts another back with most new symbols.
inline void updatecumtwo(flattable* table, uint32_t a, int32_t da, uint32_t b, int32_t db)
{
    table->total += static_cast<uint32_t>(da + db);
    flat_addinner(table, a, da);
    flat_addinner(table, b, db);
#if defined(__SSE2__)
    const __m128i dav = _mm_set1_epi16(static_cast<int16_t>(da));
    const __m128i dbv = _mm_set1_epi16(static_cast<int16_t>(db));
    for (uint32_t v = 0; v < flatlanes; v += 8) {
        __m128i* const q = reinterpret_cast<__m128i*>(table->groupbelow + v);
        const __m128i add = _mm_add_epi16(flat_lanesafter(v, a / flatgroup, dav), flat_lanesafter(v, b / flatgroup, dbv));
        _mm_store_si128(q, _mm_add_epi16(_mm_load_si128(q), add));
    }
#else
    flat_addgroups(table, a / flatgroup, da);
    flat_addgroups(table, b / flatgroup, db);
#endif
}

// The symbol whose interval holds value (value < total), and in *cum the
// cumulative weight below it. Symbols of weight 0 are passed over and never
// returned. The cumulative weights only grow from one position to the next,
// so those not above value come first: their number, less one, is the
// group, and then the position in it.
inline uint32_t getsymcf(uint32_t value, const flattable* table, uint32_t* cum)
{
    const uint16_t* const groupbelow = table->groupbelow;
#if defined(__SSE2__)
    // Sixteen lanes of comparisons make one mask of sixteen bits.
    const auto mask16 = [](__m128i a, __m128i b) {
        return static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
    };
    static_assert(flatlanes == 24, "the group level is one pass of sixteen lanes and one of eight");
    const __m128i target = _mm_set1_epi16(static_cast<int16_t>(value));
    const __m128i* const level = reinterpret_cast<const __m128i*>(groupbelow);
    const __m128i starts[3] = {_mm_load_si128(level), _mm_load_si128(level + 1), _mm_load_si128(level + 2)};
    const __m128i above[3] = {_mm_cmpgt_epi16(starts[0], target), _mm_cmpgt_epi16(starts[1], target),
                              _mm_cmpgt_epi16(starts[2], target)};
    // As if a group past the last began at total.
    const uint32_t over = (1u << table->groups) | mask16(above[0], above[1]) | (mask16(above[2], above[2]) & 0xFF) << 16;
    // groupbelow[0] is 0, never above value; a lane past the last group
    // holds total, always above it.
    const uint32_t g = static_cast<uint32_t>(__builtin_ctz(over)) - 1;
    // The group's start in every lane without a trip through g: the
    // largest start not above value, as the starts only grow. The
    // positions are then compared whole, start added, with the value.
    __m128i base = _mm_max_epi16(_mm_max_epi16(_mm_andnot_si128(above[0], starts[0]), _mm_andnot_si128(above[1], starts[1])),
                                 _mm_andnot_si128(above[2], starts[2]));
    base = _mm_max_epi16(base, _mm_shuffle_epi32(base, 0x4E));
    base = _mm_max_epi16(base, _mm_shuffle_epi32(base, 0xB1));
    base = _mm_max_epi16(base, _mm_shufflehi_epi16(_mm_shufflelo_epi16(base, 0xB1), 0xB1));
    const uint16_t* const inner = table->below + g * flatgroup;
    const __m128i* const lanes = reinterpret_cast<const __m128i*>(inner);
    const uint32_t passed = (1u << flatgroup) | mask16(_mm_cmpgt_epi16(_mm_add_epi16(_mm_load_si128(lanes), base), target),
                                                       _mm_cmpgt_epi16(_mm_add_epi16(_mm_load_si128(lanes + 1), base), target));
    const uint32_t p = static_cast<uint32_t>(__builtin_ctz(passed)) - 1;
#else
    uint32_t g = 0;
    while (g + 1 < table->groups && groupbelow[g + 1] <= value) ++g;
    const uint16_t* const inner = table->below + g * flatgroup;
    uint32_t p = 0;
    while (p + 1 < flatgroup && inner[p + 1] <= value - groupbelow[g]) ++p;
#endif
    *cum = groupbelow[g] + inner[p];
    return g * flatgroup + p;
}

inline uint32_t getsym(uint32_t value, const flattable* table)
{
    uint32_t cum;
    return getsymcf(value, table, &cum);
}

// Halves every frequency, rounding up, and puts every symbol in coding.
void scalefreq(flattable* table);

// Halves every frequency, rounding up; afterwards only the symbols s with
// classes[s] == fullclass (common/classes.h) are in coding.
void scalefreqcond(flattable* table, const int32_t* classes);

void freefreq(flattable* table);
