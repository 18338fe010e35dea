#include "programs/cleanup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

// The file to remove; read by the signal handler, so set only while the
// signals are blocked, and kept for the process, since a handler can reach
// nothing else.
const char* ownedpath = nullptr;
volatile std::sig_atomic_t owned = 0;

const int stopsignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Removes the file, then ends the process by the same signal with its
// default action, so the parent sees how the run ended.
void onsignal(int sig)
{
    if (owned != 0) unlink(ownedpath);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
    raise(sig);  // pending until the handler returns: the signal is blocked in it
}

void installhandlers()
{
    for (int sig : stopsignals) {
        struct sigaction old {};
        sigaction(sig, nullptr, &old);
        if (old.sa_handler == SIG_IGN) continue;  // as nohup and background jobs want
        struct sigaction act {};
        act.sa_handler = onsignal;
        sigemptyset(&act.sa_mask);
        for (int other : stopsignals) sigaddset(&act.sa_mask, other);
        sigaction(sig, &act, nullptr);
    }
}

}  // namespace

int openoutput(const char* path)
{
    installhandlers();
    sigset_t block, saved;
    sigemptyset(&block);
    for (int sig : stopsignals) sigaddset(&block, sig);
    sigprocmask(SIG_BLOCK, &block, &saved);
    // Between the truncation and the record of ownership no signal may come.
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    struct stat st {};
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        ownedpath = path;
        owned = 1;
    }
    const int err = errno;
    sigprocmask(SIG_SETMASK, &saved, nullptr);
    errno = err;
    return fd;
}

void dropoutput()
{
    if (owned != 0) unlink(ownedpath);
    owned = 0;
}

void keepoutput() { owned = 0; }
