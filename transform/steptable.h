// Step table of the inverse sort transform: one 32-bit word per slot of the
// transformed block, from which the walk restores the block with one read
// from far away per byte.
//
// Terms. The context K(s) of slot s is the context value of the position it
// holds; slot s's byte c = L[s] leads to the context (K(s) >> 8) | c << 24,
// whose bucket (its slots, in block order) hands out one slot per visit.
// All slots that share K(s) >> 8 form an order-3 group, a run of slots; the
// slots of one group with one byte c (a pair) all lead to the same bucket,
// and there are exactly as many of them as that bucket has slots.
//
// Layout. Slot s's word holds its byte in bits 24..31 and where the walk
// goes next: for a pair of one slot, whose bucket has one slot too, that
// slot itself (step_exact set); for any other pair, the number of its
// counter, the running slot of its bucket, kept in a dense array apart.
// Counters are numbered in slot order of their pairs, so those of one group
// stand together, and they take a few hundred KiB for text: they stay in
// the caches, and a step costs one read from far away and one near.
#pragma once

#include <cstdint>

constexpr uint32_t step_maxblock = 1u << 21;         // largest block with a step table
constexpr uint32_t step_exact = 1u << 23;            // the word holds the next slot itself
constexpr uint32_t step_slotmask = step_exact - 1;   // next slot or counter number
constexpr uint32_t step_exhausted = 0xFFFFFFFF;      // a running slot beyond every block

// Where the walk of a block starts and what guards it: the bucket of the
// index. Every other bucket is drawn from only on visits to the slots that
// lead to it, but this one also once at the start, so it alone can be drawn
// from too often first. It always has a counter.
struct stepstart {
    uint32_t first;    // first slot of the index's bucket: the walk's first slot
    uint32_t last;     // its last slot: once visited, the bucket is spent
    uint32_t counter;  // number of its counter (not yet drawn from)
};

enum class stepbuild { ok, badcounts, noindex };

// Builds the step table of block L (n <= step_maxblock) into the process's
// working storage, growing it when needed; stops with err_workspace if that
// fails. counts must add up to n; they are checked against L's histogram
// (badcounts when they differ, the table left unusable), and they are not
// changed. noindex: the index is no context of L. On ok, *start tells where
// the walk begins.
stepbuild buildsteptable(const uint8_t* L, uint32_t n, uint32_t index, const uint32_t* counts, stepstart* start);

// The table built last (n words) and its counters.
uint32_t* steptable();
uint32_t* stepcounters();
