// Buffered byte input and output of the process.
//
// Every byte that vorn reads comes through getbyte() or readfull(), every
// byte it writes goes through putbyte(); both are inline on the fast path and
// touch the operating system only when a 256 KiB buffer runs empty or full.
// By default input is file descriptor 0 and output file descriptor 1; tests
// and the fuzz harnesses attach memory instead, without changing the code
// that reads or writes.
//
// Reads past the end of input yield -1 (whose low eight bits the range
// decoder takes as 0xFF) and are counted in in_overrun, so a driver can tell
// a stream that was read exactly to its end from one that was cut short.
// Read and write errors are never silent: they are kept in in_errno and
// out_errno (and a failing write stops all further writing).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// ---- input -------------------------------------------------------------

extern const uint8_t* in_pos;  // next unread byte of the buffer
extern const uint8_t* in_end;  // end of the buffered bytes
extern uint64_t in_overrun;    // getbyte() calls made past the end of input
extern int in_errno;           // first read error, 0 if none

// Slow path of getbyte(): refills the buffer; at the end of input (or on a
// read error) returns -1 and counts the read in in_overrun. Kept out of
// line (also where a caller asks for everything inline), so that the coder
// steps that read bytes stay small.
[[gnu::noinline, gnu::cold]] int in_refill();

// The next input byte 0..255, or -1 past the end of input.
inline int getbyte() { return in_pos != in_end ? *in_pos++ : in_refill(); }

// The next input byte without taking it, or -1 at the end of input (not
// counted as a read past the end).
int in_peek();

// Reads up to n bytes into buf; a count below n means the input ended or a
// read error occurred (in_errno tells which).
size_t readfull(uint8_t* buf, size_t n);

// Attach the input: a file descriptor (initially 0), or n bytes of memory
// that the caller keeps alive while they are read. Resets in_overrun and
// in_errno and drops anything buffered.
void in_attach_fd(int fd);
void in_attach_memory(const void* data, size_t n);

// ---- output ------------------------------------------------------------

extern uint8_t* out_pos;  // next free byte of the buffer
extern uint8_t* out_end;  // end of the buffer
extern int out_errno;     // first write error, 0 if none

// Slow path of putbyte(): empties the full buffer to the output. Out of
// line, like in_refill.
[[gnu::noinline, gnu::cold]] void out_drain();

inline void putbyte(int c)
{
    if (out_pos == out_end) out_drain();
    *out_pos++ = static_cast<uint8_t>(c);
}

// Writes n bytes: what is buffered first, then the n bytes straight from p.
void putbytes(const uint8_t* p, size_t n);

// Writes everything buffered to the output. Returns 0, or the error number
// of the first failed write (also kept in out_errno).
int out_flush();

// Attach the output: a file descriptor (initially 1), or a vector that
// receives every byte written (appended at each drain and flush). A limit
// other than 0 caps the vector's size: a write beyond it fails with EFBIG,
// which bounds what a damaged stream can make a test produce.
// Buffered bytes of the previous output are discarded, not written.
void out_attach_fd(int fd);
void out_attach_memory(std::vector<uint8_t>* sink, size_t limit = 0);
