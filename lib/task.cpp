#include "lib/task.h"

#include <sched.h>

#include <system_error>
#include <utility>

bool twoprocessors()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0) return false;
    return CPU_COUNT(&set) >= 2;
}

namespace {

void run(task* t, const std::function<void()>& work)
{
    try {
        work();
    } catch (...) {
        t->failure = std::current_exception();
    }
}

}  // namespace

void task_start(task* t, std::function<void()> work)
{
    task_defer(t, std::move(work));
    task_release(t);
}

void task_defer(task* t, std::function<void()> work)
{
    t->failure = nullptr;
    t->work = std::move(work);
}

void task_release(task* t)
{
    if (!t->threaded || !t->work) return;
    // A thread that cannot be had (no memory for its stack, a process
    // limit) leaves the work to the calling thread.
    try {
        t->thread = std::thread([t, w = t->work] { run(t, w); });
        t->work = nullptr;
        ++t->started;
    } catch (const std::system_error&) {
    }
}

void task_wait(task* t)
{
    if (t->thread.joinable()) t->thread.join();
    if (t->work) {
        const std::function<void()> work = std::move(t->work);
        t->work = nullptr;
        run(t, work);
    }
    if (t->failure) {
        const std::exception_ptr failure = t->failure;
        t->failure = nullptr;
        std::rethrow_exception(failure);
    }
}

void task_drop(task* t)
{
    if (t->thread.joinable()) t->thread.join();
    t->work = nullptr;
    t->failure = nullptr;
}
