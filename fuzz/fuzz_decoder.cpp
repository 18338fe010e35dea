// Fuzz target: the streaming decoder against itself, in pieces.
//
// The first two bytes choose how the rest is cut: input pieces of 1 to 256
// bytes and output room of 1 to 128 bytes per call, each varying from call
// to call by a sequence the bytes seed, and one thread or two. The rest is
// restored that way and all at once; both must give the same status, the
// same stop and the same bytes. Input need not be a valid stream: damage
// must be found alike however the input arrives.
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tests/streams.h"

using namespace fuzz;

namespace {

struct cutter {
    uint32_t state;
    uint32_t next(uint32_t most)
    {
        state = state * 1103515245u + 12345u;
        return 1 + (state >> 16) % most;
    }
};

streamrun inpieces(const bytes& input, uint8_t a, uint8_t b)
{
    streamrun r;
    vorn_decoder* const d = vorn_decoder_new(1 + (a & 1));
    require(d != nullptr, "no decoder");
    cutter cut{static_cast<uint32_t>(a << 8 | b)};
    const uint32_t inmost = 1 + (a >> 1) * 2, outmost = 1 + (b >> 1);
    uint8_t room[128];
    size_t at = 0;
    int last = 0;
    for (;;) {
        // Once finish is given, every call gives it again with all the rest.
        const size_t rest = input.size() - at;
        const size_t want = cut.next(inmost);
        const size_t give = want < rest && !last ? want : rest;
        last = give == rest;
        size_t used = 0, made = 0;
        r.status = vorn_decode(d, input.data() + at, give, &used, room, cut.next(outmost), &made, last);
        at += used;
        r.out.insert(r.out.end(), room, room + made);
        if (r.status < 0 || (r.status == VORN_OK && last)) break;
        require(r.out.size() <= outputlimit, "output beyond its bound");
        require(r.status != VORN_MORE || used + made > 0, "a call that neither took nor gave anything asked for more");
    }
    r.stopcode = decoder_stopcode(d);
    vorn_decoder_free(d);
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const bytes input(data + 2, data + size);
    streamhow how;
    how.outlimit = outputlimit;
    const streamrun whole = runstream(false, input, how);
    if (whole.status == stream_overlong) return 0;
    const streamrun cut = inpieces(input, data[0], data[1]);
    require(cut.status == whole.status, "pieces gave another status");
    require(cut.stopcode == whole.stopcode, "pieces gave another stop");
    require(cut.out == whole.out, "pieces gave other bytes");
    return 0;
}
