// Both directions of the programs: read the input in pieces, hand them to
// the library's stream, write what it gives back, and keep the status the
// stream ended with.
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <new>

#include "lib/programs.h"
#include "lib/vorn.h"
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

// Reads what the descriptor gives at once, retrying on interruption:
// a count, 0 at the end, -1 on an error.
ssize_t readsome(int fd, uint8_t* buf, size_t n)
{
    for (;;) {
        const ssize_t got = read(fd, buf, n);
        if (got >= 0 || errno != EINTR) return got;
    }
}

// Writes all n bytes; false on an error (errno set).
bool writeall(int fd, const uint8_t* p, size_t n)
{
    while (n > 0) {
        const ssize_t put = write(fd, p, n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (put == 0) errno = EIO;
            return false;
        }
        p += put;
        n -= static_cast<size_t>(put);
    }
    return true;
}

streamresult iofailed(iofailure io, int err)
{
    streamresult r;
    r.io = io;
    r.err = err;
    return r;
}

// The loop both directions share, over either kind of stream: a new
// stream with the programs' progress lines, fed and emptied until it ends.
template <typename New, typename Track, typename Run, typename Stop, typename Free>
streamresult pump(New create, Track track, Run run, Stop stopcode, Free release, int infd, int outfd, progress* p)
{
    std::unique_ptr<uint8_t[]> in(new (std::nothrow) uint8_t[piece]);
    std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[piece]);
    const auto s = create(0);
    if (!in || !out || s == nullptr) {
        release(s);
        streamresult r;
        r.status = VORN_E_NOMEMORY;
        return r;
    }
    if (p->to != nullptr) track(s, sayprogress, p);
    streamresult r;
    size_t have = 0;
    size_t at = 0;
    bool last = false;
    for (;;) {
        if (at == have && !last) {
            const ssize_t got = readsome(infd, in.get(), piece);
            if (got < 0) {
                r = iofailed(iofailure::reading, errno);
                break;
            }
            last = got == 0;
            have = static_cast<size_t>(got);
            at = 0;
        }
        size_t used = 0;
        size_t made = 0;
        const int status = run(s, in.get() + at, have - at, &used, out.get(), piece, &made, last);
        at += used;
        if (made > 0 && outfd >= 0 && !writeall(outfd, out.get(), made)) {
            r = iofailed(iofailure::writing, errno);
            break;
        }
        if (status < 0) {
            r.status = status;
            r.stopcode = stopcode(s);
            break;
        }
        if (status == VORN_OK && last) break;
    }
    release(s);
    return r;
}

}  // namespace

streamresult compress_stream(int infd, int outfd, progress* p)
{
    return pump(vorn_encoder_new, encoder_progress, vorn_encode, encoder_stopcode, vorn_encoder_free, infd, outfd, p);
}

streamresult decompress_stream(int infd, int outfd, progress* p)
{
    return pump(vorn_decoder_new, decoder_progress, vorn_decode, decoder_stopcode, vorn_decoder_free, infd, outfd, p);
}
