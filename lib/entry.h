// The stream entry points' one rule for failures. The core stops a stream
// by throwing a stop (common/stop.h), for damage or for lack of storage,
// and a deferred task throws again on the caller's thread what its work
// threw (task.h). Only the functions of vorn.h catch, and each turns what
// it caught into a status here; nothing thrown ever leaves the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "common/stop.h"
#include "lib/vorn.h"

// The status of a stop: no storage, or damage (and any other stop, which
// only damaged input can cause).
inline int stopstatus(unsigned code) { return nostorage(code) ? VORN_E_NOMEMORY : VORN_E_DAMAGED; }

// The code of a stop as the programs learn it (lib/programs.h): they
// report a stop by its code, but for the lack of storage of the model or a
// buffer, which they report in words of their own.
inline unsigned reportedcode(unsigned code) { return code == err_nomemory ? 0 : code; }

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

// What a stream keeps of the first call that said finish: no input follows
// what that call held, so every later call must say finish again and hold
// exactly the input that the calls before left untaken. A call that breaks
// this is refused, and the stream goes on as if it had not been made.
struct finishguard {
    bool given = false;
    size_t left = 0;
};

// One call of vorn_encode or vorn_decode around its work: the arguments
// and the finish checked, the counts reported, a stop or failed allocation caught and
// turned into a status, and a failed stream left to `halt` (which the
// stream's file defines: no work running, nothing more written), after
// which it takes no more calls. work(src, &left, &dst, &room) takes input
// from src (left bytes), writes output at dst (room bytes free), moves both
// on and returns a status.
template <typename Stream, typename Work>
int streamcall(Stream* s, const void* src, size_t srclen, size_t* srcused, void* dst, size_t dstcap,
               size_t* dstlen, int finish, Work work)
{
    if (s == nullptr || !usable(src, srclen, srcused, dst, dstcap, dstlen)) return VORN_E_ARGUMENT;
    *srcused = *dstlen = 0;
    if (s->state != streamstate::running) return VORN_E_STATE;
    if (s->guard.given && (finish == 0 || srclen != s->guard.left)) return VORN_E_STATE;
    size_t left = srclen;
    uint8_t* out = static_cast<uint8_t*>(dst);
    size_t room = dstcap;
    int status;
    try {
        status = work(static_cast<const uint8_t*>(src), &left, &out, &room);
    } catch (const stopped& x) {
        s->stopcode = reportedcode(x.code);
        status = stopstatus(x.code);
    } catch (...) {
        // What the runtime itself may throw when a resource runs out (a
        // std::function or a thread of its own that cannot be had).
        status = VORN_E_NOMEMORY;
    }
    if (status < 0) {
        halt(s);
        s->state = streamstate::failed;
    }
    *srcused = srclen - left;
    *dstlen = dstcap - room;
    if (finish != 0) {
        s->guard.given = true;
        s->guard.left = left;
    }
    return status;
}

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
