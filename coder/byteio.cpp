// Buffered byte input and output on file descriptors or memory.
#include "coder/byteio.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr size_t bufsize = 1 << 18;

// Memory output grows the vector by at least this much at a time, so that
// a drain is rare and what a flush trims costs little to fill again.
constexpr size_t growstep = 1 << 18;

// Reads once into the buffer, retrying on interruption. Returns the count,
// 0 at the end of input or on an error.
size_t fillonce(bytein* in)
{
    if (in->done || in->buf == nullptr) return 0;
    for (;;) {
        const ssize_t got = read(in->fd, in->buf, bufsize);
        if (got > 0) return static_cast<size_t>(got);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && in->err == 0) in->err = errno;
        in->done = true;
        return 0;
    }
}

// Writes len bytes to the descriptor; records the first error and then
// drops everything, so a failing output never turns into a loop.
void emit(byteout* out, const uint8_t* p, size_t len)
{
    if (out->err != 0) return;
    while (len > 0) {
        const ssize_t put = write(out->fd, p, len);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            out->err = put < 0 ? errno : EIO;
            return;
        }
        p += put;
        len -= static_cast<size_t>(put);
    }
}

// Bytes with nowhere to go (no sink, or after an error) land in spill.
void spill(byteout* out)
{
    out->pos = out->spill;
    out->end = out->spill + sizeof out->spill;
}

// Memory mode: whether pos points into the sink's storage, which holds the
// bytes written since the last drain from kept on. pos is null right after
// attaching and after a flush (nothing written since), and inside spill
// once there is no sink or an error has occurred.
bool writing(const byteout* out)
{
    return out->sink != nullptr && out->err == 0 && out->pos != nullptr;
}

// Memory mode: counts the bytes written as kept and makes room in the
// vector for at least n more, or sends them to spill when there is no sink,
// after an error, or when n more would pass the limit (EFBIG).
void makeroom(byteout* out, size_t n)
{
    std::vector<uint8_t>* const s = out->sink;
    if (writing(out)) out->kept = static_cast<size_t>(out->pos - s->data());
    if (s == nullptr || out->err != 0) {
        spill(out);
        return;
    }
    size_t want = out->kept + (n > growstep ? n : growstep);
    if (out->limit != 0) {
        if (out->kept > out->limit || n > out->limit - out->kept) {
            out->err = EFBIG;
            s->resize(out->kept);
            spill(out);
            return;
        }
        if (want > out->limit) want = out->limit;
    }
    if (want > s->capacity()) s->reserve(want > 2 * s->capacity() ? want : 2 * s->capacity());
    s->resize(want);
    out->pos = s->data() + out->kept;
    out->end = s->data() + want;
}

// Drops what the output holds unflushed: the vector goes back to the bytes
// written up to the last drain, the buffer is emptied.
void discard(byteout* out)
{
    if (out->buf != nullptr) {
        out->pos = out->buf;
        return;
    }
    // Flushed (pos null), the vector is exact and the caller's to change.
    if (writing(out)) out->sink->resize(out->kept);
}

}  // namespace

// ---- input -------------------------------------------------------------

int in_refill(bytein* in)
{
    const size_t got = fillonce(in);
    if (got == 0) {
        // Memory mode leaves pos and end alone: the caller owns them.
        if (in->buf != nullptr) in->pos = in->end;
        ++in->overrun;
        return -1;
    }
    in->pos = in->buf + 1;
    in->end = in->buf + got;
    return in->buf[0];
}

int in_peek(bytein* in)
{
    if (in->pos == in->end) {
        const size_t got = fillonce(in);
        if (got == 0) return -1;
        in->pos = in->buf;
        in->end = in->buf + got;
    }
    return *in->pos;
}

size_t readfull(bytein* in, uint8_t* buf, size_t n)
{
    size_t have = 0;
    while (have < n) {
        if (in->pos == in->end) {
            const size_t got = fillonce(in);
            if (got == 0) break;
            in->pos = in->buf;
            in->end = in->buf + got;
        }
        size_t take = static_cast<size_t>(in->end - in->pos);
        if (take > n - have) take = n - have;
        std::memcpy(buf + have, in->pos, take);
        in->pos += take;
        have += take;
    }
    return have;
}

void in_attach_fd(bytein* in, int fd)
{
    if (in->buf == nullptr) in->buf = static_cast<uint8_t*>(std::malloc(bufsize));
    in->fd = fd;
    in->done = false;
    in->pos = in->end = in->buf;
    in->overrun = 0;
    in->err = in->buf == nullptr ? ENOMEM : 0;
}

void in_attach_memory(bytein* in, const void* data, size_t n)
{
    in_close(in);
    in->pos = static_cast<const uint8_t*>(data);
    in->end = in->pos + n;
}

void in_close(bytein* in)
{
    std::free(in->buf);
    *in = bytein{};
}

// ---- output ------------------------------------------------------------

void out_drain(byteout* out)
{
    if (out->buf == nullptr) {
        makeroom(out, 1);
        return;
    }
    emit(out, out->buf, static_cast<size_t>(out->pos - out->buf));
    out->pos = out->buf;
    out->end = out->buf + bufsize;
}

void putbytes(byteout* out, const uint8_t* p, size_t n)
{
    if (n <= static_cast<size_t>(out->end - out->pos)) {
        std::memcpy(out->pos, p, n);
        out->pos += n;
        return;
    }
    if (out->buf == nullptr) {
        makeroom(out, n);
        if (out->pos == out->spill) return;
        std::memcpy(out->pos, p, n);
        out->pos += n;
        return;
    }
    out_drain(out);
    emit(out, p, n);
}

int out_flush(byteout* out)
{
    if (out->buf != nullptr) {
        out_drain(out);
    } else if (writing(out)) {
        out->kept = static_cast<size_t>(out->pos - out->sink->data());
        out->sink->resize(out->kept);
        out->pos = out->end = nullptr;
    }
    return out->err;
}

void out_attach_fd(byteout* out, int fd)
{
    discard(out);
    uint8_t* const buf = out->buf != nullptr ? out->buf : static_cast<uint8_t*>(std::malloc(bufsize));
    *out = byteout{};
    out->fd = fd;
    out->buf = buf;
    if (buf == nullptr) {
        out->err = ENOMEM;
        return;
    }
    out->pos = buf;
    out->end = buf + bufsize;
}

void out_attach_memory(byteout* out, std::vector<uint8_t>* sink, size_t limit)
{
    out_close(out);
    out->sink = sink;
    out->limit = limit;
    out->kept = sink != nullptr ? sink->size() : 0;
}

void out_close(byteout* out)
{
    discard(out);
    std::free(out->buf);
    *out = byteout{};
}
