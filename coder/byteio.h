// Byte input and output of one stream, in memory.
//
// Every byte that a stream reads comes through getbyte() on its bytein,
// every byte it writes goes through putbyte() on its byteout; both are
// inline on the fast path. Input is read straight from the caller's bytes,
// output is written straight into the caller's vector. Records are
// independent of each other: any number of streams run at once, each with
// its own records, on one thread or several (one record is used by one
// thread at a time).
//
// A zero-initialised record (`bytein in{};`, `byteout out{};`) is memory
// that holds nothing: reads find the end at once, writes go nowhere.
//
// Reads past the end of input yield -1 (whose low eight bits the range
// decoder takes as 0xFF) and are counted in overrun, so a driver can tell a
// stream that was read exactly to its end from one that was cut short.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// ---- input -------------------------------------------------------------

// Input: pos and end are the stretch of the caller's bytes still to be
// read, and nothing else is consulted while pos < end, so a caller whose
// bytes arrive in pieces may move end on (or pos and end to a new stretch)
// between reads.
struct bytein {
    const uint8_t* pos;  // next unread byte
    const uint8_t* end;  // end of the readable bytes
    uint64_t overrun;    // getbyte() calls made past the end of input
};

// Slow path of getbyte(): at the end of input returns -1 and counts the
// read in overrun. Kept out of line (also where a caller asks for
// everything inline), so that the coder steps that read bytes stay small.
[[gnu::noinline, gnu::cold]] int in_refill(bytein* in);

// The next input byte 0..255, or -1 past the end of input.
inline int getbyte(bytein* in) { return in->pos != in->end ? *in->pos++ : in_refill(in); }

// The next input byte without taking it, or -1 at the end of input (not
// counted as a read past the end).
inline int in_peek(const bytein* in) { return in->pos != in->end ? *in->pos : -1; }

// Attaches n bytes of memory, which the caller keeps alive while they are
// read, and resets overrun.
void in_attach_memory(bytein* in, const void* data, size_t n);

// ---- output ------------------------------------------------------------

// Output: pos and end are the free stretch of the vector's storage. The
// vector's size runs ahead of the bytes written between flushes, and is
// exact after each flush.
struct byteout {
    uint8_t* pos;                // next free byte
    uint8_t* end;                // end of the free stretch
    std::vector<uint8_t>* sink;  // receives the bytes (null: they go nowhere)
    size_t kept;                 // bytes of sink that are written, up to the last drain
    uint8_t spill[64];           // where bytes go that go nowhere
};

// Slow path of putbyte(): makes room in the vector (a stop with
// err_nomemory when there is none). Out of line, like in_refill.
[[gnu::noinline, gnu::cold]] void out_drain(byteout* out);

inline void putbyte(byteout* out, int c)
{
    if (out->pos == out->end) out_drain(out);
    *out->pos++ = static_cast<uint8_t>(c);
}

// Makes the vector hold exactly the bytes written.
void out_flush(byteout* out);

// Attaches a vector that receives every byte written, appended after what
// it holds. Bytes not yet flushed to the previous vector are dropped.
void out_attach_memory(byteout* out, std::vector<uint8_t>* sink);

// Drops what is not flushed and leaves the record writing nowhere.
void out_close(byteout* out);
