// The decoder's two block buffers and the inverse transform beside the
// decoding: block k is restored (task.h) while the decoder fills the other
// buffer with block k+1, and each block's restored bytes wait in a buffer
// of their own until the caller has taken them.
#pragma once

#include <cstdint>
#include <memory>

#include "lib/task.h"
#include "transform/unsorttrans.h"

// One decoded block on its way to the output.
struct blockjob {
    std::unique_ptr<uint8_t[]> block;  // the transformed block
    std::unique_ptr<uint8_t[]> out;    // the block restored
    uint32_t count = 0;                // bytes in it
    uint32_t index = 0;
    uint32_t histogram[256] = {};      // the block's byte counts; working storage of the restoration
};

struct restorer {
    unsortspace unsort{};
    task work;
    blockjob jobs[2];
    uint32_t capacity = 0;        // bytes of each block buffer
    int turn = 0;                 // the job being decoded into
    blockjob* inhand = nullptr;   // being restored, not yet waited for
};

// Gives both buffers room for blocks of size bytes (kept from one stream to
// the next; a stop with err_nomemory when there is none).
void restorer_reserve(restorer* r, uint32_t size);

// The job the decoder fills next.
inline blockjob* restorer_filling(restorer* r) { return &r->jobs[r->turn]; }

// Hands the filled job, count bytes with its index, to the inverse
// transform, which runs when the job is waited for, unless
// restorer_overlap moves it to the task's thread first. The other job is
// filled next. No job may be in hand.
void restorer_start(restorer* r, uint32_t count, uint32_t index);

// The job in hand is restored on the task's thread (where it is threaded)
// while the caller goes on: once the next block has begun, so that a
// stream of one block never starts a thread.
inline void restorer_overlap(restorer* r) { task_release(&r->work); }

// Waits for the job in hand and returns it, restored (the restoration's
// stop is thrown again here); null when none is in hand.
blockjob* restorer_finish(restorer* r);

// Drops the job in hand, waiting for it where it runs: after a failure.
void restorer_drop(restorer* r);

void restorer_free(restorer* r);
