// Buffered byte input and output of one stream.
//
// Every byte that a stream reads comes through getbyte() or readfull() on
// its bytein, every byte it writes goes through putbyte() on its byteout;
// both are inline on the fast path and touch the operating system only when
// a 256 KiB buffer runs empty or full. A record reads from or writes to a
// file descriptor or memory, without changing the code that reads or
// writes. Records are independent of each other: any number of streams can
// run at once, each with its own records, on one thread or several (one
// record is used by one thread at a time).
//
// A zero-initialised record (`bytein in{};`, `byteout out{};`) is memory
// that holds nothing: reads find the end at once, writes go nowhere. A
// record attached to a file descriptor holds a buffer, which in_close /
// out_close release (attaching again reuses or releases it too). Memory
// needs no buffer: input is read straight from the caller's bytes, output
// is written straight into the caller's vector.
//
// Reads past the end of input yield -1 (whose low eight bits the range
// decoder takes as 0xFF) and are counted in overrun, so a driver can tell a
// stream that was read exactly to its end from one that was cut short.
// Read and write errors are never silent: they are kept in err (and a
// failing write stops all further writing).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// ---- input -------------------------------------------------------------

// Input. In memory mode pos and end are the stretch of the caller's bytes
// still to be read and nothing else is consulted while pos < end, so a
// caller whose bytes arrive in pieces may move end on (or pos and end to a
// new stretch) between reads.
struct bytein {
    const uint8_t* pos;  // next unread byte
    const uint8_t* end;  // end of the readable bytes
    uint64_t overrun;    // getbyte() calls made past the end of input
    int err;             // first read error, 0 if none
    int fd;              // the file descriptor, while buf is held
    bool done;           // fd: end of input (or a read error) has been met
    uint8_t* buf;        // fd: the buffer (null in memory mode)
};

// Slow path of getbyte(): refills the buffer; at the end of input (or on a
// read error) returns -1 and counts the read in overrun. Kept out of line
// (also where a caller asks for everything inline), so that the coder steps
// that read bytes stay small.
[[gnu::noinline, gnu::cold]] int in_refill(bytein* in);

// The next input byte 0..255, or -1 past the end of input.
inline int getbyte(bytein* in) { return in->pos != in->end ? *in->pos++ : in_refill(in); }

// The next input byte without taking it, or -1 at the end of input (not
// counted as a read past the end).
int in_peek(bytein* in);

// Reads up to n bytes into buf; a count below n means the input ended or a
// read error occurred (err tells which).
size_t readfull(bytein* in, uint8_t* buf, size_t n);

// Attach the input: a file descriptor (a buffer is allocated; without one
// err is ENOMEM and the input is empty), or n bytes of memory that the
// caller keeps alive while they are read. Resets overrun and err and drops
// anything buffered.
void in_attach_fd(bytein* in, int fd);
void in_attach_memory(bytein* in, const void* data, size_t n);

// Releases the buffer and leaves the record empty memory. The descriptor
// is not closed (it belongs to whoever opened it).
void in_close(bytein* in);

// ---- output ------------------------------------------------------------

// Output. pos and end are the free stretch of the buffer, or of the
// vector's storage in memory mode.
struct byteout {
    uint8_t* pos;                  // next free byte
    uint8_t* end;                  // end of the free stretch
    int err;                       // first write error, 0 if none
    int fd;                        // the file descriptor, while buf is held
    uint8_t* buf;                  // fd: the buffer (null in memory mode)
    std::vector<uint8_t>* sink;    // memory: receives the bytes (null: none)
    size_t limit;                  // memory: the sink's largest size, 0 for none
    size_t kept;                   // memory: bytes of sink that are written
    uint8_t spill[64];             // where bytes go that go nowhere
};

// Slow path of putbyte(): empties the full buffer to the output, or makes
// room in the vector. Out of line, like in_refill.
[[gnu::noinline, gnu::cold]] void out_drain(byteout* out);

inline void putbyte(byteout* out, int c)
{
    if (out->pos == out->end) out_drain(out);
    *out->pos++ = static_cast<uint8_t>(c);
}

// Writes n bytes: what is buffered first, then the n bytes straight from p.
void putbytes(byteout* out, const uint8_t* p, size_t n);

// Writes everything buffered to the output; in memory mode the vector then
// holds exactly the bytes written. Returns 0, or the error number of the
// first failed write (also kept in err).
int out_flush(byteout* out);

// Attach the output: a file descriptor (a buffer is allocated; without one
// err is ENOMEM and nothing is written), or a vector that receives every
// byte written (appended after what it holds; its size is exact after each
// flush, and may run ahead of the bytes written in between). A limit other
// than 0 caps the vector's size: a write beyond it fails with EFBIG, which
// bounds what a damaged stream can make a test produce. Bytes not yet
// flushed to the previous output are discarded, not written.
void out_attach_fd(byteout* out, int fd);
void out_attach_memory(byteout* out, std::vector<uint8_t>* sink, size_t limit = 0);

// Discards what is not flushed, releases the buffer and leaves the record
// empty memory. The descriptor is not closed.
void out_close(byteout* out);
