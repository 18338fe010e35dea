// Adaptive cumulative-frequency table over the symbols 0 .. size-1.
//
// A binary indexed tree beside a plain array of frequencies. The two may
// differ: freq[s] is the symbol's own frequency, while the tree and total hold
// the weights that coding sees. A symbol is either in coding (weight freq[s])
// or taken out (weight 0); taking it out keeps freq[s], so it can be put back
// later with the frequency it had. A symbol in coding has freq[s] >= 1, and
// halving never brings a nonzero frequency to 0.
#pragma once

#include <cstdint>

struct cumtable {
    uint32_t size;    // number of symbols n
    uint32_t topbit;  // largest power of two not above n: first getsym step
    uint32_t* tree;   // positions 1..n; position k stands for symbol k-1;
                      // then cumspare words that updatecumfixed scribbles on
    uint32_t* freq;   // symbols 0..n-1; also the one allocation of 2n + cumspare words
    uint32_t total;   // sum of the weights in the tree
};

constexpr uint32_t cumspare = 16;

// Allocates the table and sets every frequency to init, all in coding.
// Returns 0, or 1 when the storage cannot be obtained (freq is then null).
int initfreq(cumtable* table, uint32_t n, uint32_t init);

// Cumulative weight below sym; exact while sym itself is in coding.
inline uint32_t getcf(uint32_t sym, const cumtable* table)
{
    const uint32_t* tree = table->tree;
    uint32_t r = tree[sym + 1] - table->freq[sym];
    for (uint32_t j = sym & (sym + 1); j != 0; j &= j - 1) r += tree[j];
    return r;
}

// Adds delta (modulo 2^32) to the weight of sym and to total; freq is left
// to the caller.
inline void updatecumonly(uint32_t sym, cumtable* table, int32_t delta)
{
    const uint32_t d = static_cast<uint32_t>(delta);
    uint32_t* tree = table->tree;
    const uint32_t size = table->size;
    table->total += d;
    for (uint32_t k = sym + 1; k <= size; k = (k | (k - 1)) + 1) tree[k] += d;
}

// The same in a fixed number of steps, as many as size has bits, without a
// branch that depends on sym: for a caller that learns sym late (from the
// decoder), where a loop whose length follows sym would be mispredicted.
template <uint32_t steps>
inline void updatecumfixed(uint32_t sym, cumtable* table, int32_t delta)
{
    const uint32_t d = static_cast<uint32_t>(delta);
    uint32_t* tree = table->tree;
    const uint32_t size = table->size;
    table->total += d;
    static_assert(steps <= cumspare, "every step past the end has a spare word");
    uint32_t k = sym + 1;
    for (uint32_t j = 0; j < steps; ++j) {
        // A step past the end adds to a spare word of its own, so that it
        // waits for no other step; a mask rather than a condition, so that
        // the compiler does not branch on it.
        const uint32_t inside = 0u - static_cast<uint32_t>(k <= size);
        tree[(k & inside) | ((size + 1 + j) & ~inside)] += d;
        k = (k | (k - 1)) + 1;
    }
}

// The symbol whose interval holds value (value < total), and in *cum the
// cumulative weight below it, which the search adds up on its way down.
// Symbols of weight 0 are passed over and never returned.
inline uint32_t getsymcf(uint32_t value, const cumtable* table, uint32_t* cum)
{
    const uint32_t* tree = table->tree;
    const uint32_t size = table->size;
    const uint32_t start = value;
    uint32_t pos = 0;
    for (uint32_t step = table->topbit; step != 0; step >>= 1) {
        const uint32_t next = pos | step;
        if (next <= size && value >= tree[next]) {
            value -= tree[next];
            pos = next;
        }
    }
    *cum = start - value;
    return pos;
}

inline uint32_t getsym(uint32_t value, const cumtable* table)
{
    uint32_t cum;
    return getsymcf(value, table, &cum);
}

// Halves every frequency, rounding up, and puts every symbol in coding.
void scalefreq(cumtable* table);

// Halves every frequency, rounding up; afterwards only the symbols s with
// classes[s] == fullclass (common/classes.h) are in coding.
void scalefreqcond(cumtable* table, const int32_t* classes);

void freefreq(cumtable* table);
