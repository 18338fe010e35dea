// A second stage of work beside the calling thread: block k+1 is read and
// sorted while block k is coded, and block k is restored while block k+1
// is decoded. Where the process may use two processors the work runs on a
// thread of its own; where it may use one, it runs on the calling thread
// when the caller waits for it, so the program is the plain one-thread
// program. The results are the same either way: each stage's work touches
// only what the caller has handed over until the caller has waited for it.
#pragma once

#include <functional>
#include <thread>

// Whether stages run on a thread of their own. Set once at start from the
// processors the process may run on (its affinity mask); tests set it to
// drive both modes.
extern bool twothreads;

// True when the process may run on at least two processors.
bool twoprocessors();

struct stage {
    std::thread thread;          // the running work, in two-thread mode
    std::function<void()> work;  // the work not yet run, in one-thread mode
};

// Starts work; the stage must be idle (never started, or waited for). Where
// no thread can be started the work runs as in one-thread mode.
void stage_start(stage* s, std::function<void()> work);

// Waits until the work started last has finished (running it now in
// one-thread mode). Does nothing when the stage is idle.
void stage_wait(stage* s);

// Leaves a stage idle on a way out: waits for work already running on its
// thread, and drops work not yet run.
void stage_drop(stage* s);

// Drops a stage that a caller leaves on any path, so that no thread
// outlives the data it works on.
struct stageowner {
    stage* s;
    ~stageowner() { stage_drop(s); }
};
