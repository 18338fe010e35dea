// Both directions of the programs: read the input in pieces, hand them to
// the library's stream, write what it gives back, and keep the status the
// stream ended with.

#include <cstdint>

#include "lib/programs.h"
#include "lib/vorn.h"
#include "programs/iothread.h"
#include "programs/progress.h"
#include "programs/stream.h"

namespace {

constexpr size_t piece = size_t{1} << 20;  // bytes read or written at a time

// The programs' progress lines, one per event of the library's streams.
void sayprogress(void* arg, progressevent event, long value)
{
    progress* const p = static_cast<progress*>(arg);
    switch (event) {
    case progress_block: say(p, "Processing %d bytes ...", static_cast<int>(value)); break;
    case progress_coding: say(p, " coding ..."); break;
    case progress_done: say(p, " done\n"); break;
    case progress_decoding: say(p, "Decoding ..."); break;
    case progress_processing: say(p, " processing %ld bytes ...", value); break;
    case progress_nextstream: endline(p); break;
    }
}

streamresult iofailed(iofailure io, int err)
{
    streamresult r;
    r.io = io;
    r.err = err;
    return r;
}

// The loop both directions share, over either kind of stream: a new
// stream with the programs' progress lines, fed and emptied until it ends,
// the files read and written beside it (iothread.h) where `beside` asks.
template <typename New, typename Track, typename Run, typename Stop, typename Free>
streamresult pump(New create, Track track, Run run, Stop stopcode, Free release, int infd, int outfd, progress* p,
                  bool beside)
{
    iothread io;
    const auto s = create(0);
    if (!io_start(&io, infd, outfd, piece, beside) || s == nullptr) {
        release(s);
        io_finish(&io);
        streamresult r;
        r.status = VORN_E_NOMEMORY;
        return r;
    }
    if (p->to != nullptr) track(s, sayprogress, p);
    streamresult r;
    const uint8_t* in = nullptr;
    size_t have = 0;
    size_t at = 0;
    bool last = false;
    uint8_t* out = io_outpiece(&io);
    for (;;) {
        if (at == have && !last) {
            int err = 0;
            const long got = io_take(&io, &in, &err);
            if (got < 0) {
                r = iofailed(iofailure::reading, err);
                break;
            }
            last = got == 0;
            have = static_cast<size_t>(got);
            at = 0;
        }
        size_t used = 0;
        size_t made = 0;
        const int status = run(s, in + at, have - at, &used, out, piece, &made, last);
        at += used;
        if (made > 0) {
            int err = 0;
            if (!io_submit(&io, made, &err)) {
                r = iofailed(iofailure::writing, err);
                break;
            }
            out = io_outpiece(&io);
        }
        if (status < 0) {
            r.status = status;
            r.stopcode = stopcode(s);
            break;
        }
        if (status == VORN_OK && last) break;
    }
    release(s);
    // Everything restored before a failure is written before it is reported.
    const int err = io_finish(&io);
    if (err != 0 && r.io == iofailure::none) r = iofailed(iofailure::writing, err);
    return r;
}

}  // namespace

// Compressing, the second thread sorts beside the coding and keeps both
// processors busy: a third thread for the files would take time from it.
// Restoring, the decoding sets the pace, and the files go beside it.
streamresult compress_stream(int infd, int outfd, progress* p)
{
    return pump(vorn_encoder_new, encoder_progress, vorn_encode, encoder_stopcode, vorn_encoder_free, infd, outfd, p,
                false);
}

streamresult decompress_stream(int infd, int outfd, progress* p)
{
    return pump(vorn_decoder_new, decoder_progress, vorn_decode, decoder_stopcode, vorn_decoder_free, infd, outfd, p,
                true);
}
