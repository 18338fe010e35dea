// A named output file is never left half written: a run that fails, or is
// stopped by SIGINT, SIGTERM, SIGHUP or SIGPIPE, removes it before it ends.
// Only a regular file that the run itself opened is removed; a device, a
// FIFO and standard output are left alone (nothing written there can be
// taken back).
#pragma once

// Opens path for writing (created or truncated) and, when it is a regular
// file, makes it the file to remove on failure. Signal handlers are in place
// before the file is touched; a signal that was ignored when the program
// started stays ignored. Returns the descriptor, or -1 with errno set.
int openoutput(const char* path);

// The run failed: removes the output file, if there is one to remove.
void dropoutput();

// The run succeeded (or restored its streams completely): the output file
// stays, whatever comes after.
void keepoutput();
