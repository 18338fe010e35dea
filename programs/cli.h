// What the two programs share around their stream: the banner, attaching
// the named files, and the reports of failures.
#pragma once

#include "programs/stream.h"

// Prints "<input> to <output>\n" on standard error after the banner, attaching the
// first argument as input (mode "rb") and the second as output (mode "wb"),
// each before its name is printed; further arguments are ignored. A file
// that cannot be opened is reported with its name and the reason, and the
// program ends with status 1 before anything is written.
void openstreams(const char* program, int argc, char** argv);

// Reports a failed run on standard error and returns its exit status; a
// failed allocation prints nomemory and ends the run abnormally.
int report(const char* program, streamstatus status, const char* nomemory);
