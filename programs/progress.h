// Progress and failure messages of the programs on standard error.
#pragma once

#include <cstdio>

// Where a run's messages go, and whether the last one left its line open.
struct progress {
    std::FILE* to = nullptr;  // null: quiet (failures are still reported)
    bool lineopen = false;
};

// Prints to p->to (nothing when quiet).
void say(progress* p, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Ends a line that progress messages left open, so that a failure report
// starts on a line of its own.
void endline(progress* p);
