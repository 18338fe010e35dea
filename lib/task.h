// A deferred task beside the calling thread: the work a stream hands over
// (sorting block k+1 while block k is coded, restoring block k while block
// k+1 is decoded) and waits for later. A threaded task runs the work on a
// thread of its own at once; an unthreaded one runs it on the calling
// thread when the caller waits for it, which is the plain one-thread
// program. The results are the same either way: the work touches only what
// the caller has handed over until the caller has waited for it.
//
// A stop or failed allocation inside the work is kept and thrown again from
// task_wait, on the caller's thread, so that it reaches the caller's stream
// entry point as if the work had run there.
#pragma once

#include <exception>
#include <functional>
#include <thread>

// True when the process may run on at least two processors (its affinity
// mask): where the library's `threads` 0 chooses two threads.
bool twoprocessors();

// Whether a stream made with `threads` (vorn.h: 0, 1 or 2) has a second
// thread.
inline bool secondthread(int threads) { return threads == 0 ? twoprocessors() : threads == 2; }

struct task {
    bool threaded = false;       // run the work on a thread of its own
    std::thread thread;          // the running work, when threaded
    std::function<void()> work;  // the work not yet run, when not
    std::exception_ptr failure;  // what the work threw
    unsigned started = 0;        // threads started so far
};

// Starts work; the task must be idle (never started, or waited for). Where
// no thread can be started the work runs as in an unthreaded task.
void task_start(task* t, std::function<void()> work);

// Keeps work to run on the calling thread when the caller waits for it,
// even in a threaded task: for work that nothing would overlap, unless
// task_release moves it to the thread after all.
void task_defer(task* t, std::function<void()> work);

// Starts deferred work on the task's thread, where the task is threaded
// and holds work not yet run; does nothing otherwise.
void task_release(task* t);

// Waits until the work started last has finished (running it now when
// unthreaded), then throws again what it threw. Does nothing when idle.
void task_wait(task* t);

// Leaves a task idle on a way out: waits for work already running on its
// thread, and drops work not yet run and anything it threw.
void task_drop(task* t);
