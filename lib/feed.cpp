#include "lib/feed.h"

#include <cstring>

namespace {

// Keeps the n bytes at p at the front of the carry.
void carryover(feed* f, const uint8_t* p, size_t n)
{
    std::memmove(f->carry, p, n);
    f->carried = n;
    f->oncarry = false;
    f->copied = 0;
}

}  // namespace

void feed_begin(feed* f, const uint8_t* src, size_t n)
{
    f->src = src;
    f->srclen = n;
    f->copied = 0;
    // The overrun count is the stream's: reads past the end of the input
    // given with finish, kept from call to call.
    const uint64_t overrun = f->in.overrun;
    if (f->carried == 0) {
        f->oncarry = false;
        in_attach_memory(&f->in, src, n);
    } else {
        f->copied = n < carrycap - f->carried ? n : carrycap - f->carried;
        if (f->copied != 0) std::memcpy(f->carry + f->carried, src, f->copied);
        f->oncarry = true;
        in_attach_memory(&f->in, f->carry, f->carried + f->copied);
    }
    f->in.overrun = overrun;
}

void feed_settle(feed* f)
{
    if (!f->oncarry) return;
    const size_t read = static_cast<size_t>(f->in.pos - f->carry);
    if (read < f->carried) return;
    f->in.pos = f->src + (read - f->carried);
    f->in.end = f->src + f->srclen;
    f->oncarry = false;
    f->carried = 0;
}

bool feed_more(const feed* f) { return f->oncarry && f->copied < f->srclen; }

size_t feed_keep(feed* f)
{
    const size_t unread = feed_available(f);
    if (unread > carrycap) return feed_stop(f);
    const size_t taken = f->oncarry ? f->copied : f->srclen;
    carryover(f, f->in.pos, unread);
    return taken;
}

size_t feed_stop(feed* f)
{
    size_t taken;
    if (f->oncarry) {
        // Still inside the carried bytes: none of the caller's is read.
        carryover(f, f->in.pos, f->carried - static_cast<size_t>(f->in.pos - f->carry));
        taken = 0;
    } else {
        taken = static_cast<size_t>(f->in.pos - f->src);
        f->carried = 0;
    }
    return taken;
}
