#include "programs/iothread.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <system_error>

#include "lib/programs.h"

namespace {

// Reads what the descriptor gives at once, retrying on interruption:
// a count, 0 at the end, -1 on an error.
ssize_t readsome(int fd, uint8_t* buf, size_t n)
{
    for (;;) {
        const ssize_t got = read(fd, buf, n);
        if (got >= 0 || errno != EINTR) return got;
    }
}

// Writes all n bytes; the errno of a failure, or 0.
int writeall(int fd, const uint8_t* p, size_t n)
{
    while (n > 0) {
        const ssize_t put = write(fd, p, n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return put == 0 ? EIO : errno;
        p += put;
        n -= static_cast<size_t>(put);
    }
    return 0;
}

// Waits until the input has bytes (or its end) or the pump stops the
// thread: false for the latter.
bool awaitinput(const iothread* io)
{
    pollfd fds[2] = {{io->infd, POLLIN, 0}, {io->wake[0], POLLIN, 0}};
    for (;;) {
        const int ready = poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR) continue;
        // A descriptor that cannot be polled is read as it is.
        return ready < 0 || (fds[1].revents & POLLIN) == 0;
    }
}

// Reads into the free input piece after the filled ones.
void readpiece(iothread* io, std::unique_lock<std::mutex>* lock)
{
    const int slot = (io->intake + io->infilled + (io->inheld ? 1 : 0)) % ioslots;
    if (lock != nullptr) lock->unlock();
    const bool wanted = lock == nullptr || awaitinput(io);
    const ssize_t got = wanted ? readsome(io->infd, io->in[slot].get(), io->piece) : 0;
    const int err = errno;
    if (lock != nullptr) lock->lock();
    if (!wanted) {
        io->inended = true;
        return;
    }
    if (got < 0) {
        io->inerr = err;
        io->inended = true;
        return;
    }
    io->inlen[slot] = static_cast<size_t>(got);
    io->inended = got == 0;
    ++io->infilled;
}

// Writes the oldest submitted piece.
void writepiece(iothread* io, std::unique_lock<std::mutex>* lock)
{
    const int slot = io->outfirst;
    const size_t len = io->outlen[slot];
    if (lock != nullptr) lock->unlock();
    const int err = io->outfd >= 0 && io->outerr == 0 ? writeall(io->outfd, io->out[slot].get(), len) : 0;
    if (lock != nullptr) lock->lock();
    if (err != 0 && io->outerr == 0) io->outerr = err;
    io->outfirst = (io->outfirst + 1) % ioslots;
    --io->outqueued;
}

bool inputroom(const iothread* io) { return !io->inended && io->infilled + (io->inheld ? 1 : 0) < ioslots; }

void serve(iothread* io)
{
    std::unique_lock<std::mutex> lock(io->mu);
    for (;;) {
        io->cv.wait(lock, [io] { return io->outqueued > 0 || inputroom(io) || io->stopping; });
        // Output first: it frees a piece the pump may be waiting for.
        if (io->outqueued > 0)
            writepiece(io, &lock);
        else if (inputroom(io))
            readpiece(io, &lock);
        else
            return;
        io->cv.notify_all();
    }
}

}  // namespace

bool io_start(iothread* io, int infd, int outfd, size_t piece, bool beside)
{
    io->infd = infd;
    io->outfd = outfd;
    io->piece = piece;
    for (int i = 0; i < ioslots; ++i) {
        io->in[i].reset(new (std::nothrow) uint8_t[piece]);
        io->out[i].reset(new (std::nothrow) uint8_t[piece]);
        if (!io->in[i] || !io->out[i]) return false;
    }
    if (!beside || !twoprocessors() || pipe2(io->wake, O_CLOEXEC) != 0) return true;
    try {
        io->thread = std::thread(serve, io);
        io->threaded = true;
    } catch (const std::system_error&) {
        // No thread to be had: the calls read and write themselves.
    }
    return true;
}

long io_take(iothread* io, const uint8_t** data, int* err)
{
    std::unique_lock<std::mutex> lock(io->mu, std::defer_lock);
    if (io->threaded) lock.lock();
    if (io->inheld) {
        io->inheld = false;
        io->intake = (io->intake + 1) % ioslots;
        if (io->threaded) io->cv.notify_all();
    }
    if (io->threaded)
        io->cv.wait(lock, [io] { return io->infilled > 0 || (io->inended && io->inerr != 0); });
    else if (io->infilled == 0 && io->inerr == 0)
        readpiece(io, nullptr);
    if (io->infilled == 0) {
        *err = io->inerr;
        return -1;
    }
    --io->infilled;
    io->inheld = true;
    *data = io->in[io->intake].get();
    return static_cast<long>(io->inlen[io->intake]);
}

uint8_t* io_outpiece(iothread* io)
{
    std::unique_lock<std::mutex> lock(io->mu, std::defer_lock);
    if (io->threaded) {
        lock.lock();
        io->cv.wait(lock, [io] { return io->outqueued < ioslots; });
    }
    return io->out[(io->outfirst + io->outqueued) % ioslots].get();
}

bool io_submit(iothread* io, size_t len, int* err)
{
    std::unique_lock<std::mutex> lock(io->mu, std::defer_lock);
    if (io->threaded) lock.lock();
    io->outlen[(io->outfirst + io->outqueued) % ioslots] = len;
    ++io->outqueued;
    if (io->threaded)
        io->cv.notify_all();
    else
        writepiece(io, nullptr);
    *err = io->outerr;
    return io->outerr == 0;
}

int io_finish(iothread* io)
{
    if (io->threaded) {
        {
            std::unique_lock<std::mutex> lock(io->mu);
            io->cv.wait(lock, [io] { return io->outqueued == 0; });
            io->stopping = true;
        }
        io->cv.notify_all();
        const char stop = 0;
        while (write(io->wake[1], &stop, 1) < 0 && errno == EINTR) {
        }
        io->thread.join();
        io->threaded = false;
    }
    for (int& fd : io->wake) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    return io->outerr;
}
