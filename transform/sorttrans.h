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

// Rearranges block[0..n-1] in place and fills index[0..3]. n >= 4. Returns n.
// Working storage (65,536 counters plus 3 bytes per block byte) is kept for
// the process between calls and grows to the largest block seen, so calls
// must not overlap (one thread at a time); if it cannot be had the call
// stops with err_workspace before the block is touched.
uint32_t sorttrans(uint8_t* block, uint32_t n, uint8_t* index);

// The full block-sorting forward transform is not provided: this entry only
// stops with err_bwtrans.
[[noreturn]] void BWtrans(uint8_t* block, uint32_t n, uint8_t* index);
