// What a stream's bytes must show around its symbols: where a stream may
// begin, and what each decoded block may be. The decoder asks these at no
// cost per byte; the format has no checksum, so they are most of what
// damage can be caught by before the model and the inverse transform.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- where a stream begins ----------------------------------------------

enum class startkind {
    more,       // too few bytes to tell: wait for input
    nothing,    // the input ends here
    stream,     // a stream with header byte `header` begins
    empty,      // the stream written for an empty input, `length` bytes
    nostream,   // the bytes begin no stream
    cut,        // the bytes are the start of a stream, cut short
};

struct streamstart {
    startkind kind;
    int header;     // stream: its header byte
    size_t length;  // empty: the bytes it takes
};

// Classifies the n bytes at p (the rest of the input when final, else a
// part of it). A stream begins with a header byte of at most 21 followed
// by 00, and the stream written for an empty input is 00 80 00 00 00.
// After a complete stream (following), zero bytes are padding, which
// block devices and tapes add, and begin no stream: three of them, or two
// at the end of the input (a stream that begins 00 00 is one of a single
// byte, and none of those goes on with a third 00).
streamstart classifystart(const uint8_t* p, size_t n, bool final, bool following);

// The status of a start that cannot be restored: the input's first
// stream is empty, cut or damaged; after a complete stream, anything that
// is no stream is trailing data.
int startfailure(startkind kind, bool following);

// ---- what a decoded block may be ------------------------------------------

// A block as the decoder finished it: up to four index symbols, then up to
// 2^header bytes, or the end symbol anywhere.
struct blockshape {
    int header;            // the stream's header byte
    bool first;            // the stream's first block
    uint32_t indexsymbols; // symbols decoded before the block's bytes (0..4)
    uint32_t count;        // bytes decoded after them
    bool last;             // the end symbol came
    bool overrun;          // the decoder read past the end of the input
};

enum class blockkind {
    rawtail,    // the stream's last 1 to 4 bytes, not transformed (or nothing)
    transform,  // a transformed block: to be restored
    truncated,  // the input ended inside the block
    damaged,    // no block the compressor writes looks like this
};

struct blockverdict {
    blockkind kind;
    uint32_t rawbytes;  // rawtail: its bytes (the index symbols)
    bool decoding;      // the block counts as one decoded (its message is due)
};

blockverdict checkblock(const blockshape& b);

// Whether a block of a stream with this header byte may be followed by
// another: only a first block, or any block of a stream of 2 MiB blocks.
bool successor(int header, bool first);
