// The part of the library kept for the vorn and unvorn programs, which
// link the library's objects as they are (neither installed library
// offers it): their per-block progress lines and the core stop behind a
// failure (which they report as "Error #%x"); and for the tests, the
// threads a stream has started and the run length at which the encoder
// starts a new stream, which they lower to see the seam. Everything else
// the programs do goes through vorn.h.
#pragma once

#include <cstdint>

#include "lib/vorn.h"

// What a stream reports as it goes, in the order the programs print it.
enum progressevent {
    progress_block,       // encoder: a block of `value` bytes is being coded
    progress_coding,      // encoder: its index is coded, its bytes follow
    progress_done,        // either: the block is complete (a raw tail has none)
    progress_decoding,    // decoder: a block is decoded and checks out so far
    progress_processing,  // decoder: it has `value` bytes and is being restored
    progress_nextstream,  // decoder: another stream follows the one before
};

using progressfn = void (*)(void* arg, progressevent event, long value);

void encoder_progress(vorn_encoder* e, progressfn fn, void* arg);
void decoder_progress(vorn_decoder* d, progressfn fn, void* arg);

// The core stop behind the last failure, which the programs report as
// "Error #%x" (common/stop.h: 0x6601 damage, 0x6503 no working storage of
// a transform, ...), or 0 when the failure is to be reported by its status
// alone.
unsigned encoder_stopcode(const vorn_encoder* e);
unsigned decoder_stopcode(const vorn_decoder* d);

// Whether the process may run on two processors, where threads 0 takes two
// (the programs put their reading and writing beside the coding there).
bool twoprocessors();

// Threads the stream has started for its second thread so far.
unsigned encoder_threadstarts(const vorn_encoder* e);
unsigned decoder_threadstarts(const vorn_decoder* d);

// The longest run of one byte value a stream may carry before the encoder
// ends it and goes on in a new one (at most, and by default, maxrun of
// model/model.h). Set before the first call of vorn_encode.
void encoder_splitrun(vorn_encoder* e, uint64_t run);
