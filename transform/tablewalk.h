// Inverse sort transform by the context hash table: the reference form of
// the inverse, which the tests and fuzz_unsorttrans compare the step
// table's walk with, byte for byte and stop for stop.
//
// Enters the first slot of every context's bucket in the context hash table
// (hash2), then walks the block from the index with one lookup per byte:
// each lookup hands out the next slot of the current context's bucket.
// unsorttrans follows a faster route (steptable.h) that restores the same
// bytes and, on a damaged block, stops no later than this walk, having
// written what it wrote; it uses this walk for blocks beyond 2 MiB.
// Its speed and memory depend on the data: one table lookup per byte, up
// to 256 table blocks of 96 KiB.
#pragma once

#include <cstdint>

// Stops with the corrupt-block report unless counts add up to n and n fits
// the table's 24-bit counters: the checks both inverse walks start with.
void checkcounts(uint32_t n, const uint32_t* counts);

// Same parameters and checks as unsorttrans (n <= h2_maxvalue, counts the
// histogram of block, used as working storage).
void tablewalk(const uint8_t* block, uint8_t* out, uint32_t n, uint32_t index, uint32_t* counts);
