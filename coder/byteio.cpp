// Byte input and output in memory.
#include "coder/byteio.h"

#include <new>

#include "common/stop.h"

namespace {

// Memory output grows the vector by at least this much at a time, so that
// a drain is rare and what a flush trims costs little to fill again.
constexpr size_t growstep = 1 << 18;

// Whether pos points into the sink's storage, which holds the bytes written
// since the last drain from kept on. pos is null right after attaching and
// after a flush (nothing written since), and inside spill when there is no
// sink.
bool writing(const byteout* out) { return out->sink != nullptr && out->pos != nullptr; }

}  // namespace

int in_refill(bytein* in)
{
    // pos and end stay as they are: the caller owns them.
    ++in->overrun;
    // Seen from the callers, this call may change any memory. Left to know
    // better, the compiler keeps more of the decoder's state live across
    // the call in the hot loop of every coder step that reads a byte, and
    // decoding random bytes takes a sixth longer.
    asm volatile("" ::: "memory");
    return -1;
}

void in_attach_memory(bytein* in, const void* data, size_t n)
{
    in->pos = static_cast<const uint8_t*>(data);
    in->end = in->pos + n;
    in->overrun = 0;
}

void out_drain(byteout* out)
{
    std::vector<uint8_t>* const s = out->sink;
    if (s == nullptr) {
        out->pos = out->spill;
        out->end = out->spill + sizeof out->spill;
        return;
    }
    if (writing(out)) out->kept = static_cast<size_t>(out->pos - s->data());
    const size_t want = out->kept + growstep;
    try {
        if (want > s->capacity()) s->reserve(want > 2 * s->capacity() ? want : 2 * s->capacity());
        s->resize(want);
    } catch (const std::bad_alloc&) {
        errorstop(err_nomemory);
    }
    out->pos = s->data() + out->kept;
    out->end = s->data() + want;
}

void out_flush(byteout* out)
{
    if (!writing(out)) return;
    out->kept = static_cast<size_t>(out->pos - out->sink->data());
    out->sink->resize(out->kept);
    out->pos = out->end = nullptr;
}

void out_attach_memory(byteout* out, std::vector<uint8_t>* sink)
{
    out_close(out);
    out->sink = sink;
    out->kept = sink != nullptr ? sink->size() : 0;
}

void out_close(byteout* out)
{
    // Flushed (pos null), the vector is exact and the caller's to change.
    if (writing(out)) out->sink->resize(out->kept);
    *out = byteout{};
}
