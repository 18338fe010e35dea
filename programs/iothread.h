// The programs' reading and writing, beside the thread that codes: a
// thread of their own reads the next piece of input while the current one
// is coded, and writes each piece of output while the next is made. Where
// the process may run on one processor only, or the caller asks for none,
// the same calls read and write on the calling thread.
//
// The pump takes input pieces in order and gives each back when it has
// used it up, and fills output pieces and submits them; the pieces are
// written in the order submitted. A failure to read ends the input with
// the error; a failure to write is reported by the next submit and by
// io_finish, and nothing more is written.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

constexpr int ioslots = 2;  // pieces each way

struct iothread {
    int infd = -1;
    int outfd = -1;           // below 0: output is dropped
    size_t piece = 0;         // bytes of each piece
    bool threaded = false;
    std::unique_ptr<uint8_t[]> in[ioslots];
    std::unique_ptr<uint8_t[]> out[ioslots];
    size_t inlen[ioslots] = {};
    size_t outlen[ioslots] = {};
    int intake = 0;           // the input piece the pump takes next
    int infilled = 0;         // pieces read and not yet taken
    bool inheld = false;      // the pump holds a piece
    bool inended = false;     // the end of the input, or an error, has been read
    int inerr = 0;            // errno of a failed read
    int outfirst = 0;         // the output piece written next
    int outqueued = 0;        // pieces submitted and not yet written
    int outerr = 0;           // errno of a failed write
    bool stopping = false;
    int wake[2] = {-1, -1};   // a pipe that ends a read the pump no longer waits for
    std::mutex mu;
    std::condition_variable cv;
    std::thread thread;
};

// Sets up pieces of `piece` bytes and, when `beside` is true, starts the
// thread where two processors may be used; false when memory is short.
bool io_start(iothread* io, int infd, int outfd, size_t piece, bool beside);

// The next piece of input (waiting for it): its bytes and length, 0 at
// the end of the input; -1 on a read error (errno in *err). The piece held
// before is given back.
long io_take(iothread* io, const uint8_t** data, int* err);

// A free output piece to fill (waiting for one).
uint8_t* io_outpiece(iothread* io);

// Submits the piece io_outpiece gave, filled with len bytes; false, with
// errno in *err, once a write has failed.
bool io_submit(iothread* io, size_t len, int* err);

// Waits until every submitted piece is written and stops the thread, also
// one waiting for input that may never come (a pipe held open); returns the
// errno of a failed write, or 0.
int io_finish(iothread* io);
