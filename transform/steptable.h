// Step table of the inverse sort transform: one 32-bit word per slot of the
// transformed block, and a small table of counters, from which the walk
// restores the block.
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
// counter. A counter is an entry of a dense table, numbered in slot order
// of the pairs, holding the bucket's running slot and that slot's word.
// Drawing from a counter thus yields the next slot's word at once: the walk
// waits for the counter, which text keeps to a few hundred KiB that stay in
// the caches, and the word of the slot the bucket hands out after that is
// fetched from the table while the walk goes on elsewhere. Only a step to a
// one-slot bucket waits for the table; where such steps make up most of
// the block, side chains (stepchains.h) walk them ahead of the walk.
//
// A block with more counted pairs than a quarter of its slots (pairs of two
// or three slots, as in data that repeats once) would need more room for
// entries than the plain running slots take. Its counters then live in the
// table itself: the word of a counted pair's first slot (its head) holds
// the running slot, and the pair's other slots name the head (step_redirect).
// A pair's slots lie in one order-3 group, a run of slots, so a redirect
// and its head mostly share a cache line: a step then waits for one read of
// the table, the word of the slot it reaches, where a separate counter
// would cost a second.
#pragma once

#include <cstdint>

#include "transform/bigblock.h"
#include "common/blocksize.h"

constexpr uint32_t step_exact = 1u << 23;            // the word holds the next slot itself
constexpr uint32_t step_slotmask = step_exact - 1;   // next slot or counter number
constexpr uint32_t step_exhausted = 0xFFFFFFFF;      // a running slot beyond every block
// Head layout: a word without step_exact is a head, whose low bits hold the
// running slot, or with step_redirect a redirect to the head's slot.
constexpr uint32_t step_redirect = 1u << 22;
constexpr uint32_t step_runmask = step_redirect - 1;  // a head's running slot
constexpr uint32_t step_headspent = step_runmask;     // beyond every block, for a head

// The step table of one block, and where its walk starts. The index's
// bucket always has a counter: every other bucket is drawn from only on
// visits to the slots that lead to it, but this one also once at the start,
// so it alone can be drawn from too often first.
struct steptable {
    uint32_t* word;        // n words (side chains mark some: stepchains.h)
    uint32_t* entry;       // counter i: running slot at 2i, its word at 2i + 1;
                           // null in the head layout
    uint32_t first;        // first slot of the index's bucket: the walk's first slot
    uint32_t last;         // its last slot: once visited, the bucket is spent
    uint32_t home;         // number of its counter, or in the head layout its
                           // pair's head slot; not yet drawn from
};

// Storage of step tables, kept between builds and grown to the largest
// block seen, so the pages of a stream's 2 MiB blocks are faulted in once,
// not once per block. Arrays of block size hold `cap` slots. A
// zero-initialised record is empty.
struct stepspace {
    heaparray<uint32_t> word;     // cap: the step table
    heaparray<uint32_t> counter;  // cap/2 + 1: running slots of the counted buckets
    heaparray<uint8_t> group;     // cap + 1: byte s marks the start of an order-3 group
    heaparray<uint32_t> pair;     // 256 x 256 pair counts
    uint32_t cap = 0;
};

enum class stepbuild { ok, badcounts, noindex };

// Builds the step table of block L (n <= blocksize) into space, growing it
// when needed; stops with err_workspace if that fails (space is then empty
// or as it was). counts must add up to n; they are checked against L's
// histogram (badcounts when they differ, the table left unusable), and
// they are not changed. noindex: the index is no context of L. On ok,
// *table describes the table until the next build into space.
stepbuild buildsteptable(stepspace* space, const uint8_t* L, uint32_t n, uint32_t index, const uint32_t* counts,
                         steptable* table);
