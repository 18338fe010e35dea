// Context hash table: 32-bit context values to running slot counters.
//
// The reference form of the inverse transform's bookkeeping: the table
// walk (tablewalk.h) restores blocks through it, which the tests and the
// fuzz targets hold the faster step table against; no stream of the
// format has blocks large enough for the programs to take that walk.
//
// An extendible hash. The directory (hash2) has 256 entries; each points to
// an h2block, and a block serves an aligned run of `span` consecutive entries
// (span a power of two, 256 down to 1, run starting at a multiple of span).
// Inside a block every key has a home slot. An entry whose home slot in the
// primary area is free sits there without its key; otherwise it goes, with
// its key, to the first free overflow slot along the key's probe sequence.
// A lookup that does not find its key in the overflow area takes the keyless
// entry at the home slot, so the table cannot tell a missing key from the
// one that holds that slot; it only reports a home slot that is empty.
//
// A block whose overflow count passes 7,168 is split in two halves of its
// run. A block of span 1 cannot be split: once its overflow area holds 7,169
// entries, further keyed entries of that block go to its spill, a list of
// (key, tagged value) pairs kept sorted by key, searched after the overflow
// area and before the fall-back to the home slot. Valid blocks can need this
// (many contexts may share one directory index), and it keeps probe sequences
// in the overflow area as short as in any other block.
//
// Slot values are tagged: bits 24..31 hold the directory index of the key,
// bits 0..23 the counter plus one, so a used slot is never 0. Counters stop
// at h2_maxvalue instead of carrying into the tag.
#pragma once

#include <cstdint>

constexpr uint32_t h2_slots = 8192;        // slots per area of a block
constexpr uint32_t h2_slotmask = h2_slots - 1;
constexpr uint16_t h2_splitcount = 7168;   // a count above this splits the block
constexpr uint32_t h2_maxvalue = 0xFFFFFE; // largest counter a slot can hold

// A keyed entry of a spill.
struct h2pair {
    uint32_t key;
    uint32_t value;  // tagged value
};

// Keyed entries of a span-1 block beyond its full overflow area.
// item[0 .. sorted-1] ascend by key; item[sorted .. size-1] are the latest
// insertions in arrival order, merged in before the next lookup. Every key
// appears at most once in the block, spill included.
struct h2spill {
    h2pair* item;
    uint32_t size;
    uint32_t sorted;
    uint32_t cap;
};

struct h2block {
    uint16_t count;    // entries placed in overflow since creation or last split
    uint16_t span;     // directory entries that point to this block
    uint32_t primary[h2_slots];       // keyless: 0 = empty, else tagged value
    uint32_t overflow[h2_slots];      // keyed: 0 = empty, else tagged value
    uint32_t overflow_key[h2_slots];  // meaningful where overflow[] != 0
    h2spill* spill;    // null unless span is 1 and the overflow area is full
};

// The directory: 256 pointers, provided by the caller. Every entry is either
// null (no table) or part of a consistent set of runs.
using hash2 = h2block* [256];

struct h2hashed {
    uint32_t d;     // directory index
    uint32_t home;  // home slot
    uint32_t step;  // odd probe step
};

inline uint32_t h2hash(uint32_t x)
{
    return x ^ (x << 5) ^ (x >> 18) ^ (x << 14);
}

inline h2hashed h2place(uint32_t key)
{
    const uint32_t h = h2hash(key);
    return {(h >> 13) & 0xFF, h & h2_slotmask, (h >> 20) | 1};
}

// One zero-filled block of span 256 serving every directory entry.
// Stops with err_hashblock if it cannot be allocated.
void initHash2(hash2 table);

// Adds key (not yet in the table) with counter value (value <= h2_maxvalue).
void h2_insert(hash2 table, uint32_t key, uint32_t value);

// Splits the block serving directory entry d (its span must be 2 or more).
void splitblock(hash2 table, uint32_t d);

// Releases every block once, spills included, and nulls the directory, so a
// second call, or a call on an all-null directory, does nothing.
void freeHash2(hash2 table);

// The spill's slot holding key's tagged value, or null.
uint32_t* h2_spillfind(h2spill* spill, uint32_t key);

// The slot that holds key's tagged value: its overflow or spill slot if it
// has one, else its home primary slot (0 there means no entry). Stays valid
// until the next insertion.
inline uint32_t* h2_target(hash2 table, uint32_t key)
{
    const h2hashed w = h2place(key);
    h2block* const b = table[w.d];
    uint32_t slot = w.home;
    // The three lines a lookup may need are fetched together; otherwise the
    // home primary slot would only be asked for once the overflow probe ends.
    __builtin_prefetch(&b->primary[slot]);
    __builtin_prefetch(&b->overflow_key[slot]);
    if (b->overflow[slot] != 0) {
        do {
            if (b->overflow_key[slot] == key) return &b->overflow[slot];
            slot = (slot + w.step) & h2_slotmask;
        } while (b->overflow[slot] != 0);
    }
    if (b->spill != nullptr) {
        if (uint32_t* const p = h2_spillfind(b->spill, key)) return p;
    }
    return &b->primary[w.home];
}

// Returns the counter held in *target and advances it; -1 for an empty slot,
// which is left as it is. Counters stop at h2_maxvalue.
inline int32_t h2_take(uint32_t* target)
{
    const uint32_t t = *target;
    if (t == 0) return -1;
    const uint32_t c = t & 0xFFFFFF;
    if (c != 0xFFFFFF) *target = t + 1;
    return static_cast<int32_t>(c) - 1;
}

// Returns key's counter and advances it. For a key inserted with value v,
// successive calls give v, v+1, v+2, ... A key that is not in the table gets
// the counter of the entry at its home slot, or -1 (table unchanged) if that
// slot is empty.
inline int32_t h2_get_inc(hash2 table, uint32_t key)
{
    return h2_take(h2_target(table, key));
}
