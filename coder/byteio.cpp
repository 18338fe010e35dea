// Buffered byte input and output on file descriptors or memory.
#include "coder/byteio.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

constexpr size_t bufsize = 1 << 18;

uint8_t inbuf[bufsize];
uint8_t outbuf[bufsize];

int in_fd = 0;            // -1 while the input is memory
bool in_done = false;     // end of input (or a read error) has been met

int out_fd = 1;           // -1 while the output is memory
std::vector<uint8_t>* out_sink = nullptr;
size_t out_limit = 0;

// Reads once into inbuf, retrying on interruption. Returns the count, 0 at
// the end of input or on an error.
size_t fillonce()
{
    if (in_done || in_fd < 0) return 0;
    for (;;) {
        ssize_t got = read(in_fd, inbuf, bufsize);
        if (got > 0) return static_cast<size_t>(got);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && in_errno == 0) in_errno = errno;
        in_done = true;
        return 0;
    }
}

// Hands len bytes to the output; records the first error and then drops
// everything, so a failing output never turns into a loop.
void emit(const uint8_t* p, size_t len)
{
    if (out_errno != 0) return;
    if (out_fd < 0) {
        if (out_sink == nullptr) return;
        if (out_limit != 0 && out_sink->size() + len > out_limit) {
            out_errno = EFBIG;
            return;
        }
        out_sink->insert(out_sink->end(), p, p + len);
        return;
    }
    while (len > 0) {
        ssize_t put = write(out_fd, p, len);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            out_errno = put < 0 ? errno : EIO;
            return;
        }
        p += put;
        len -= static_cast<size_t>(put);
    }
}

}  // namespace

const uint8_t* in_pos = inbuf;
const uint8_t* in_end = inbuf;
uint64_t in_overrun = 0;
int in_errno = 0;

uint8_t* out_pos = outbuf;
uint8_t* out_end = outbuf + bufsize;
int out_errno = 0;

int in_refill()
{
    size_t got = fillonce();
    if (got == 0) {
        in_pos = in_end;
        ++in_overrun;
        return -1;
    }
    in_pos = inbuf + 1;
    in_end = inbuf + got;
    return inbuf[0];
}

int in_peek()
{
    if (in_pos == in_end) {
        const size_t got = fillonce();
        if (got == 0) return -1;
        in_pos = inbuf;
        in_end = inbuf + got;
    }
    return *in_pos;
}

size_t readfull(uint8_t* buf, size_t n)
{
    size_t have = 0;
    while (have < n) {
        if (in_pos == in_end) {
            size_t got = fillonce();
            if (got == 0) break;
            in_pos = inbuf;
            in_end = inbuf + got;
        }
        size_t take = static_cast<size_t>(in_end - in_pos);
        if (take > n - have) take = n - have;
        std::memcpy(buf + have, in_pos, take);
        in_pos += take;
        have += take;
    }
    return have;
}

void in_attach_fd(int fd)
{
    in_fd = fd;
    in_done = false;
    in_pos = in_end = inbuf;
    in_overrun = 0;
    in_errno = 0;
}

void in_attach_memory(const void* data, size_t n)
{
    in_fd = -1;
    in_done = true;
    in_pos = static_cast<const uint8_t*>(data);
    in_end = in_pos + n;
    in_overrun = 0;
    in_errno = 0;
}

void out_drain()
{
    emit(outbuf, static_cast<size_t>(out_pos - outbuf));
    out_pos = outbuf;
}

void putbytes(const uint8_t* p, size_t n)
{
    if (n <= static_cast<size_t>(out_end - out_pos)) {
        std::memcpy(out_pos, p, n);
        out_pos += n;
        return;
    }
    out_drain();
    emit(p, n);
}

int out_flush()
{
    out_drain();
    return out_errno;
}

void out_attach_fd(int fd)
{
    out_fd = fd;
    out_sink = nullptr;
    out_limit = 0;
    out_pos = outbuf;
    out_errno = 0;
}

void out_attach_memory(std::vector<uint8_t>* sink, size_t limit)
{
    out_fd = -1;
    out_sink = sink;
    out_limit = limit;
    out_pos = outbuf;
    out_errno = 0;
}
