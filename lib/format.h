// The compressed stream's layout, which the encoder writes and the decoder
// reads.
//
// A stream is one header byte n, the smallest with 2^n at least the first
// block's length, followed by one range-coded symbol stream: for each block
// of more than 4 bytes its four index bytes and its sort-transformed bytes,
// for a final block of 1 to 4 bytes just its bytes, and then the end symbol.
// Every block but the last holds blocksize bytes. An empty input is written
// as the five bytes of a coder that coded nothing: 00 80 00 00 00. Streams
// may follow one another; the decoder restores each with a fresh model.
#pragma once

#include <cstdint>

#include "common/blocksize.h"

constexpr int maxheader = 21;             // log2(blocksize)
constexpr uint32_t rawtail = 4;           // a last block this short is not transformed
constexpr uint32_t indexbytes = 4;        // index symbols before a transformed block

static_assert(uint32_t{1} << maxheader == blocksize);

// Smallest n with 2^n >= length (length >= 1).
inline int headerbyte(uint32_t length)
{
    int n = 0;
    while ((uint64_t{1} << n) < length) ++n;
    return n;
}

// The index is carried least significant byte first: each index symbol
// enters at the top while the ones before it move down.
inline uint32_t indexsymbol(uint32_t index, int s) { return (index >> 8) | (static_cast<uint32_t>(s) << 24); }
