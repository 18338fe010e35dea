// Forward order-4 sort transform of a block.
//
// Every byte of the block is placed by the four bytes that precede it
// (cyclically): the output's s-th byte is the byte at the s-th position when
// positions are sorted stably by their context value
//   K(i) = b[i-1]<<24 | b[i-2]<<16 | b[i-3]<<8 | b[i-4]   (indices mod n).
// Equal contexts keep block order; the byte itself never breaks a tie.
// The index is K(0), written least significant byte first, so the four-byte
// index area ends up holding the block's last four bytes in block order.
#pragma once

#include <cstdint>

#include "transform/bigblock.h"

// The sort's working storage: 65,536 counters plus 3 bytes per block byte,
// kept between calls and grown to the largest block seen, so that a stream
// of 2 MiB blocks faults its pages in once, not once per block. A
// zero-initialised record is empty; each stream or thread sorting at the
// same time as another needs a record of its own.
struct sortspace {
    heaparray<uint32_t> bucket;  // 65,536 bucket positions
    heaparray<uint8_t> record;   // 3 bytes per slot: high half (2 bytes), byte
    uint32_t cap = 0;            // slots the record array holds
};

// Rearranges block[0..n-1] in place and fills index[0..3]. n >= 4. Returns n.
// If the working storage cannot be had the call stops with err_workspace
// before the block is touched, leaving space empty or as it was.
uint32_t sorttrans(sortspace* space, uint8_t* block, uint32_t n, uint8_t* index);

// Releases the storage; space is empty afterwards and may be used again.
void freesortspace(sortspace* space);

// The full block-sorting forward transform is not provided: this entry, the
// counterpart of unBWtrans, only stops with err_bwtrans. No program path
// calls it; the tests check that it stops.
[[noreturn]] void BWtrans(uint8_t* block, uint32_t n, uint8_t* index);
