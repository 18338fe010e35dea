// The stream entry points' one rule for failures. The core stops a stream
// by throwing (coder/stop.h), a failed allocation throws std::bad_alloc, and
// a deferred task throws again on the caller's thread what its work threw
// (task.h). Only the functions of vorn.h catch, and each turns what it
// caught into a status here; nothing thrown ever leaves the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "coder/stop.h"
#include "lib/vorn.h"

// The status of a stop: no working storage, or damage (and any other stop,
// which only damaged input can cause).
inline int stopstatus(unsigned code)
{
    return code == err_workspace || code == err_hashblock ? VORN_E_NOMEMORY : VORN_E_DAMAGED;
}

// Whether a call's arguments can be used: no null pointer with a size
// other than 0, and somewhere to put both counts.
inline bool usable(const void* src, size_t srclen, const size_t* srcused, const void* dst, size_t dstcap,
                   const size_t* dstlen)
{
    return srcused != nullptr && dstlen != nullptr && (src != nullptr || srclen == 0) &&
           (dst != nullptr || dstcap == 0);
}

// Where a stream stands between calls.
enum class streamstate { running, finished, failed };

// Hands out pending bytes into the caller's room.
inline void handout(const uint8_t** pending, size_t* pendinglen, uint8_t** dst, size_t* room)
{
    const size_t n = *pendinglen < *room ? *pendinglen : *room;
    if (n == 0) return;
    std::memcpy(*dst, *pending, n);
    *pending += n;
    *pendinglen -= n;
    *dst += n;
    *room -= n;
}
