// Both directions of the programs: read the input in pieces, hand them to
// the library's stream, write what it gives back, and turn its status into
// the programs' own.
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
void sayprogress(void* to, progressevent event, long value)
{
    std::FILE* const progress = static_cast<std::FILE*>(to);
    switch (event) {
    case progress_block: say(progress, "Processing %d bytes ...", static_cast<int>(value)); break;
    case progress_coding: say(progress, " coding ..."); break;
    case progress_done: say(progress, " done\n"); break;
    case progress_decoding: say(progress, "Decoding ..."); break;
    case progress_processing: say(progress, " processing %ld bytes ...", value); break;
    case progress_nextstream: endline(progress); break;
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

streamresult failed(streamstatus status, unsigned stopcode = 0, int err = 0)
{
    streamresult r;
    r.status = status;
    r.stopcode = stopcode;
    r.err = err;
    return r;
}

// What a failed call of the library means to the programs: a core stop is
// reported by its code, everything else by the programs' own message.
streamresult libraryfailure(int status, unsigned stopcode)
{
    if (stopcode != 0) return failed(stream_stopped, stopcode);
    switch (status) {
    case VORN_E_EMPTY: return failed(stream_empty);
    case VORN_E_TRUNCATED: return failed(stream_truncated);
    case VORN_E_TRAILING: return failed(stream_trailing);
    case VORN_E_NOMEMORY: return failed(stream_nomemory);
    default: return failed(stream_damaged);
    }
}

// The loop both directions share, over either kind of stream.
template <typename Stream, typename Run, typename Stop>
streamresult pump(Stream* s, Run run, Stop stopcode, int infd, int outfd)
{
    std::unique_ptr<uint8_t[]> in(new (std::nothrow) uint8_t[piece]);
    std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[piece]);
    if (!in || !out) return failed(stream_nomemory);
    size_t have = 0;
    size_t at = 0;
    bool last = false;
    for (;;) {
        if (at == have && !last) {
            const ssize_t got = readsome(infd, in.get(), piece);
            if (got < 0) return failed(stream_readerror, 0, errno);
            last = got == 0;
            have = static_cast<size_t>(got);
            at = 0;
        }
        size_t used = 0;
        size_t made = 0;
        const int status = run(s, in.get() + at, have - at, &used, out.get(), piece, &made, last);
        at += used;
        if (made > 0 && !writeall(outfd, out.get(), made)) return failed(stream_writeerror, 0, errno);
        if (status < 0) return libraryfailure(status, stopcode(s));
        if (status == VORN_OK && last) return failed(stream_ok);
    }
}

}  // namespace

streamresult compress_stream(int infd, int outfd, std::FILE* progress)
{
    vorn_encoder* const e = vorn_encoder_new(0);
    if (e == nullptr) return failed(stream_nomemory);
    if (progress != nullptr) encoder_progress(e, sayprogress, progress);
    const streamresult r = pump(e, vorn_encode, encoder_stopcode, infd, outfd);
    vorn_encoder_free(e);
    return r;
}

streamresult decompress_stream(int infd, int outfd, std::FILE* progress)
{
    vorn_decoder* const d = vorn_decoder_new(0);
    if (d == nullptr) return failed(stream_nomemory);
    if (progress != nullptr) decoder_progress(d, sayprogress, progress);
    const streamresult r = pump(d, vorn_decode, decoder_stopcode, infd, outfd);
    vorn_decoder_free(d);
    return r;
}
