// One direction of the programs over the library: the bytes of an input
// file descriptor through a vorn_encoder or vorn_decoder (lib/vorn.h) to an
// output file descriptor, with the programs' progress lines.
#pragma once

#include <cstdio>

enum streamstatus {
    stream_ok = 0,
    stream_readerror,   // the input could not be read
    stream_writeerror,  // the output could not be written
    stream_empty,       // decompression: the input holds no byte at all
    stream_truncated,   // decompression: the input ended inside the stream
    stream_damaged,     // decompression: the stream breaks the format's rules
    stream_trailing,    // decompression: restored completely, but bytes follow the stream
    stream_nomemory,    // a buffer or the model's tables cannot be allocated
    stream_stopped,     // the core stopped (stopcode): damage inside the symbol
                        // stream or a block, or no storage for a transform
};

struct streamresult {
    streamstatus status = stream_ok;
    unsigned stopcode = 0;  // stream_stopped: the code the programs report
    int err = 0;            // stream_readerror, stream_writeerror: the errno
};

// Progress goes to `progress` (the exact messages of the programs), or
// nowhere when it is null.
streamresult compress_stream(int infd, int outfd, std::FILE* progress);

// Restores one stream and every stream that follows it. Bytes after a
// stream that begin no stream end the run with stream_trailing once
// everything before them is written.
streamresult decompress_stream(int infd, int outfd, std::FILE* progress);
