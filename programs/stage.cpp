#include "programs/stage.h"

#include <sched.h>

#include <system_error>
#include <utility>

bool twoprocessors()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0) return false;
    return CPU_COUNT(&set) >= 2;
}

bool twothreads = twoprocessors();

void stage_start(stage* s, std::function<void()> work)
{
    if (twothreads) {
        // A thread that cannot be had (no memory for its stack, a process
        // limit) leaves the work to the calling thread.
        try {
            s->thread = std::thread(work);
            return;
        } catch (const std::system_error&) {
        }
    }
    s->work = std::move(work);
}

void stage_wait(stage* s)
{
    if (s->thread.joinable()) s->thread.join();
    if (s->work) {
        const std::function<void()> work = std::move(s->work);
        s->work = nullptr;
        work();
    }
}

void stage_drop(stage* s)
{
    if (s->thread.joinable()) s->thread.join();
    s->work = nullptr;
}
