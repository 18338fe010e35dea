// Inverse transforms: the inverse of the order-4 sort transform, and the
// inverse of the full block-sorting transform, unBWtrans, which no stream
// of the format needs: it is kept as the public inverse of the full
// transform beside the order-4 one, and only the tests call it.
//
// Both restore n bytes in block order into out. counts[0..255] is the
// histogram of block; both may use it as working storage. They guard
// memory against any input: counts that do not match the block, an index
// out of range, or a block whose walk leaves it stop the call with
// err_corrupt, never an access outside the block or the working storage.
// Working storage held for one call only is released on every exit,
// including a stop.
#pragma once

#include <cstdint>

#include "transform/stepchains.h"
#include "transform/steptable.h"

// The walk in progress: the step table of one block and how far the walk
// has come. A caller may take the block in stretches between other work.
struct walkstate {
    steptable table;
    stepchains chains;  // count 0: none marked
    uint32_t slot;      // slot whose byte comes next
    uint32_t word;      // its word
    uint32_t left;      // bytes still to deliver
    uint32_t n;         // bytes of the block
    uint32_t ctx;       // context after the bytes delivered so far
    uint32_t index;     // the context the walk must end in
    bool whole;         // every byte written, ending in the index
};

// What the inverse sort transform keeps between calls: the storage of its
// step tables and side chains, grown to the largest block seen (4 bytes
// per slot for the table, up to 2 more for counters, of which text uses a
// few hundred KiB, a byte per slot of marks, and for blocks of mostly exact
// steps about 1.3 bytes per slot of side chains), and the walk in
// progress. A zero-initialised record is empty; each stream or thread
// restoring at the same time as another needs a record of its own. After
// a stop the record holds no walk and may be used again or freed.
struct unsortspace {
    stepspace steps;
    chainspace sidechains;
    walkstate walk;
};

// block: the transformed block L; index: K(0), the context of position 0.
// Rejects (err_corrupt) n above h2_maxvalue, counts that are not L's
// histogram, a walk that draws a slot outside the block, and a walk that
// does not end in the index. On err_corrupt, out may hold a partial block.
// Blocks up to blocksize take the walk over a step table (steptable.h),
// larger ones the context hash table's walk (tablewalk.h), which keeps
// nothing in space. Both restore the same bytes; on a damaged block the
// step table's walk stops no later than the hash table's, having written
// the same bytes up to its stop.
void unsorttrans(unsortspace* space, const uint8_t* block, uint8_t* out, uint32_t n, uint32_t index, uint32_t* counts);

// The same restoration in stretches, for a caller that has other work to
// do while the walk waits on memory: unsort_start checks the block and
// builds its tables (the block and counts are not needed afterwards), then
// each unsort_walk writes the next k bytes (at most the bytes left) to
// out[0..k-1]. The checks and stops are those of unsorttrans; the one about
// the ending context comes with the last byte. After a stop nothing more
// of the block is written. Blocks up to blocksize only (larger ones stop
// with err_corrupt). A new start drops a walk left unfinished.
void unsort_start(unsortspace* space, const uint8_t* block, uint32_t n, uint32_t index, uint32_t* counts);
void unsort_walk(unsortspace* space, uint8_t* out, uint32_t k);
uint32_t unsort_left(const unsortspace* space);  // bytes of the current walk still to be written
bool unsort_whole(const unsortspace* space);     // the current walk has written its whole block, intact

// Releases the storage and drops the walk; space is empty afterwards and
// may be used again.
void freeunsortspace(unsortspace* space);

// block: the last column of the sorted rotations; index: the starting row.
// Rejects (err_corrupt) index >= n for n > 0 and counts that are not the
// block's histogram. On return counts[v] holds the number of bytes <= v.
void unBWtrans(const uint8_t* block, uint8_t* out, uint32_t n, uint32_t index, uint32_t* counts);
