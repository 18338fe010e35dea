// Inverse transforms: the inverse of the order-4 sort transform, and the
// inverse of the full block-sorting transform (which no program path uses).
//
// Both restore n bytes in block order into out, or, when out is null, write
// each byte to the process output with putbyte() as soon as it is known
// (nothing is flushed). counts[0..255] is the histogram of block; both may
// use it as working storage. They guard memory against any input: counts
// that do not match the block, an index out of range, or a block whose walk
// leaves it stop the call with err_corrupt, never an access outside the
// block or the working storage. Working storage held for one call only is
// released on every exit, including a stop whose handler throws.
#pragma once

#include <cstdint>

// block: the transformed block L; index: K(0), the context of position 0.
// Rejects (err_corrupt) n above h2_maxvalue, counts that are not L's
// histogram, a walk that draws a slot outside the block, and a walk that
// does not end in the index. On err_corrupt, out may hold a partial block.
// Blocks up to 2 MiB take the walk over a step table (steptable.h), larger
// ones the context hash table's walk (tablewalk.h). Both restore the same
// bytes; on a damaged block the step table's walk stops no later than the
// hash table's, having delivered the same bytes up to its stop.
// Working storage (4 bytes per slot for the table, up to 2 more for
// counters, of which text uses a few hundred KiB, n / 8 bytes of bits, and
// for blocks of mostly exact steps about 1.3 bytes per slot of side chains)
// is kept for the process between calls and grows to the largest block
// seen: calls must not overlap (one thread).
void unsorttrans(const uint8_t* block, uint8_t* out, uint32_t n, uint32_t index, uint32_t* counts);

// The same restoration in stretches, for a caller that has other work to
// do while the walk waits on memory: unsort_start checks the block and
// builds its tables (the block and counts are not needed afterwards), then
// each unsort_walk(k) writes the next k bytes (at most the bytes left) to the
// process output with putbyte(). The checks and stops are those of
// unsorttrans; the one about the ending context comes with the last byte.
// After a stop nothing more of the block is written. Blocks up to 2 MiB
// only (larger ones stop with err_corrupt). A new start drops a walk left
// unfinished.
void unsort_start(const uint8_t* block, uint32_t n, uint32_t index, uint32_t* counts);
void unsort_walk(uint32_t k);
uint32_t unsort_left();  // bytes of the current walk still to be written
bool unsort_whole();     // the current walk has written its whole block, intact

// block: the last column of the sorted rotations; index: the starting row.
// Rejects (err_corrupt) index >= n for n > 0 and counts that are not the
// block's histogram. On return counts[v] holds the number of bytes <= v.
void unBWtrans(const uint8_t* block, uint8_t* out, uint32_t n, uint32_t index, uint32_t* counts);
