// What the two programs share around their stream: the command line, the
// banner, attaching the named files, and the reports of failures.
#pragma once

#include "programs/options.h"
#include "programs/progress.h"
#include "programs/stream.h"

// One direction of the programs: vorn compresses, unvorn restores, and
// vorn -d is unvorn in every message.
struct direction {
    const char* name;      // in messages and -V
    const char* banner;    // printf format of the banner, with the version
    const char* version;
    const char* nomemory;  // the report of a failed allocation
    streamresult (*run)(int infd, int outfd, progress* p);
};
extern const direction compressing;
extern const direction restoring;

// Everything main does: reads the options, attaches the streams, runs the
// direction and returns the exit status. unvorn starts with decompress set.
int runprogram(bool decompress, int argc, char** argv);

// One run of a program: its direction, the descriptors it reads and
// writes (standard input and output unless files are named) under the
// names its messages give them, and its progress messages.
struct programrun {
    const direction* d;
    int in = 0;
    int out = 1;
    const char* inputname = "stdin";
    const char* outputname = "stdout";
    progress messages;
};

// Prints "<input> to <output>\n" after the banner, opening the input and
// the output, each before its name is printed. Refuses, with a message and
// status 1, compressed data on a terminal and an output that is the input
// file (checked before the output is opened, so the input is untouched). A
// file that cannot be opened is reported with its name and the reason, and
// the program ends with status 1 before anything is written.
void openstreams(programrun* r, const options& o);

// Reports a failed run on standard error and returns its exit status.
int report(programrun* r, const streamresult& result);

// The exit status of a run: 0 done, 1 failed, 2 restored but followed by
// bytes that begin no stream.
int exitstatus(const streamresult& result);

// The programs' words for a stream that fails.
extern const char* const truncatedtext;
extern const char* const damagedtext;
extern const char* const trailingtext;

// -t: restores every operand (standard input when there is none) and
// writes nothing; names each file that fails on standard error and goes on
// with the next. Returns the worst file's exit status.
int testfiles(const options& o);
