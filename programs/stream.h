// The compressed stream as a whole, in both directions.
//
// A stream is one header byte n, the smallest with 2^n at least the first
// block's length, followed by one range-coded symbol stream: for each block
// of more than 4 bytes its four index bytes and its sort-transformed bytes,
// for a final block of 1 to 4 bytes just its bytes, and then the end symbol.
// Every block but the last holds blocksize bytes. An empty input is written
// as the five bytes of a coder that coded nothing: 00 80 00 00 00.
//
// Both directions read through getbyte()/readfull() and write through
// putbyte() (coder/byteio.h), so the programs run them on files and pipes
// and tests and fuzzers on memory. Progress goes to `progress` (the exact
// messages of the programs), or nowhere when it is null.
#pragma once

#include <cstdint>
#include <cstdio>

#include "transform/blocksize.h"

// The format's rules, which both directions follow (and blocksize).
constexpr int maxheader = 21;             // log2(blocksize)
constexpr uint32_t rawtail = 4;           // a last block this short is not transformed
constexpr uint32_t indexbytes = 4;        // index symbols before a transformed block
static_assert(blocksize == uint32_t{1} << maxheader);

// Smallest n with 2^n >= length (length >= 1).
int headerbyte(uint32_t length);

// The index is carried least significant byte first: each index symbol
// enters at the top while the ones before it move down.
inline uint32_t indexsymbol(uint32_t index, int s) { return (index >> 8) | (static_cast<uint32_t>(s) << 24); }

enum streamstatus {
    stream_ok = 0,
    stream_readerror,   // the input could not be read (in_errno)
    stream_writeerror,  // the output could not be written (out_errno)
    stream_empty,       // decompression: the input holds no byte at all
    stream_truncated,   // decompression: the input ended inside the stream
    stream_damaged,     // decompression: the stream breaks the format's rules
    stream_trailing,    // decompression: restored completely, but bytes follow the stream
    stream_nomemory,    // a buffer or the model's tables cannot be allocated
    stream_stopped,     // the core stopped (streamstop): damage inside the symbol
                        // stream or a block, or no storage for a transform
};

// The errorstop() code behind stream_stopped.
extern unsigned streamstop;

// Compresses the whole input. An input whose run of one byte value would
// outgrow a run number (more than splitrun bytes) is written as streams one
// after the other: each block that could take the run past splitrun starts
// a new stream with its own header byte and a fresh model. splitrun is
// maxrun (model.h); tests lower it to see the seam.
extern uint64_t splitrun;
streamstatus compress_stream(std::FILE* progress);

// Restores the whole input: one stream, and every stream that follows it
// (a header byte of at most maxheader followed by 00, or the five bytes of
// the empty stream), each with a fresh model; the output is their
// concatenation. Bytes after a stream that begin no stream end the run
// with stream_trailing once everything before them is written.
streamstatus decompress_stream(std::FILE* progress);
