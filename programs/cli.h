// What the two programs share around their stream: the command line, the
// banner, attaching the named files, and the reports of failures.
#pragma once

#include <cstdio>

#include "programs/options.h"
#include "programs/stream.h"

// One direction of the programs: vorn compresses, unvorn restores, and
// vorn -d is unvorn in every message.
struct direction {
    const char* name;      // in messages and -V
    const char* banner;    // printf format of the banner, with the version
    const char* version;
    const char* nomemory;  // the report of a failed allocation
    streamresult (*run)(int infd, int outfd, std::FILE* progress);
};
extern const direction compressing;
extern const direction restoring;

// Everything main does: reads the options, attaches the streams, runs the
// direction and returns the exit status. unvorn starts with decompress set.
int runprogram(bool decompress, int argc, char** argv);

// The descriptors a run reads and writes: standard input and output unless
// files are named.
struct streamfiles {
    int in = 0;
    int out = 1;
};

// Prints "<input> to <output>\n" on `progress` after the banner, opening
// the input and the output, each before its name is printed. Refuses, with a message and status 1, compressed data on a
// terminal and an output that is the input file (checked before the output
// is opened, so the input is untouched). A file that cannot be opened is
// reported with its name and the reason, and the program ends with status 1
// before anything is written.
streamfiles openstreams(const direction& d, const options& o, std::FILE* progress);

// Reports a failed run on standard error and returns its exit status.
int report(const direction& d, const streamresult& result);
