// Progress and failure messages of the programs on standard error.
#pragma once

#include <cstdio>

// Prints to `to` (nothing when it is null) and remembers whether the last
// message ended its line.
void say(std::FILE* to, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Ends a line that progress messages left open, so that a failure report
// starts on a line of its own.
void endline(std::FILE* to);
