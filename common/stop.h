// How the core stops a stream: errorstop(code) throws stopped{code}, and
// the stop unwinds to the entry point of the stream that called the core,
// the library's calls (lib/), which catch it and return a status. A stop is
// the one way a failure leaves the core, a failed allocation included:
// nothing between them catches it, and nothing in the core prints, exits
// or aborts. Every core routine that can stop keeps its working storage in
// owners that release it on unwinding, and leaves its records in a state
// that can be released.
//
//   0x6500  storage of the model or of a block buffer cannot be allocated
//   0x6502  a block of the context hash table cannot be allocated
//   0x6503  working storage of a transform cannot be allocated
//   0x6601  the data is corrupt (a damaged block or symbol stream)
//   0x6603  the full block-sorting forward transform is not provided
//   0x6604  a run longer than a run number holds (model/model.h: maxrun);
//           the encoder starts a new stream before a run gets that long
//
// The programs report the stops of the transforms and of damage as
// "Error #%x" with the code, and a stop for lack of storage of the model
// or the buffers in words of their own.
#pragma once

enum : unsigned {
    err_nomemory = 0x6500,
    err_hashblock = 0x6502,
    err_workspace = 0x6503,
    err_corrupt = 0x6601,
    err_bwtrans = 0x6603,
    err_longrun = 0x6604,
};

// What errorstop throws: the code of the stop.
struct stopped {
    unsigned code;
};

[[noreturn]] void errorstop(unsigned code);

// Whether a stop is for lack of storage (the others mean damage).
inline bool nostorage(unsigned code) { return code == err_nomemory || code == err_hashblock || code == err_workspace; }
