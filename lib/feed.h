// Where the decoder reads: straight from the caller's bytes of the current
// call, after the few bytes that an earlier call gave but that no decoding
// step could use yet (the carry).
//
// A step of the decoder that needs more bytes than the input holds leaves
// them unread and waits for the next call; those bytes are part of the
// stream (the step will read them), so the call takes them into the carry.
// A call that stops for any other reason (the caller's output room is
// full, a stream has ended) takes only what was read. So the bytes taken
// are exactly the stream's, up to its last byte, whatever the cutting of
// the input.
//
// While the carry holds bytes, the caller's first bytes are copied behind
// them (as many as fit) and reading goes on there until it has passed the
// carried bytes; from then on it reads the caller's bytes in place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "coder/byteio.h"

// Room in the carry: twice what any step waits for, so that a carry full
// of copied bytes is always read past its carried part before it runs low.
constexpr size_t carrycap = 256;

struct feed {
    bytein in;               // what the decoder reads
    uint8_t carry[carrycap];
    size_t carried;          // carried bytes at the front of carry
    bool oncarry;            // in reads the carry
    const uint8_t* src;      // the call's bytes
    size_t srclen;
    size_t copied;           // of them, copied behind the carried bytes
};

// Starts a call on the caller's n bytes at src.
void feed_begin(feed* f, const uint8_t* src, size_t n);

// Moves reading from the carry to the caller's bytes once the carried
// bytes are all read. Called between steps.
void feed_settle(feed* f);

// Bytes readable now, and whether the call has more beyond them.
inline size_t feed_available(const feed* f) { return static_cast<size_t>(f->in.end - f->in.pos); }
bool feed_more(const feed* f);

// Ends a call that waits for input: every byte given is taken, the unread
// ones into the carry. Returns the caller's bytes taken.
size_t feed_keep(feed* f);

// Ends a call that stops for another reason: only the bytes read are
// taken, the rest stay the caller's. Returns the caller's bytes taken.
size_t feed_stop(feed* f);
