// One direction of the programs over the library: the bytes of an input
// file descriptor through a vorn_encoder or vorn_decoder (lib/vorn.h) to an
// output file descriptor, with the programs' progress lines.
#pragma once

#include "programs/progress.h"

// A failure of the programs' own reading or writing.
enum class iofailure { none, reading, writing };

// How a run ended: the library's status and the core stop behind it, or a
// failure of the programs' own reading or writing.
struct streamresult {
    int status = 0;          // of the library's last call (VORN_OK, or VORN_E_*)
    unsigned stopcode = 0;   // the stop the programs report as "Error #%x", or 0
    iofailure io = iofailure::none;
    int err = 0;             // errno of that failure
};

streamresult compress_stream(int infd, int outfd, progress* p);

// Restores one stream and every stream that follows it. Bytes after a
// stream that begin no stream end the run with VORN_E_TRAILING once
// everything before them is written. An outfd below 0 drops the restored
// bytes (the integrity test).
streamresult decompress_stream(int infd, int outfd, progress* p);
