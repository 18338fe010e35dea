// The one way the core stops a run: a report "Error #%x\n" with a
// hexadecimal code on standard error, then an abnormal end.
//
//   0x6502  a block of the context hash table cannot be allocated
//   0x6503  working storage of a transform cannot be allocated
//   0x6601  the data is corrupt (a damaged block or symbol stream)
//   0x6603  the full block-sorting forward transform is not provided
//   0x6604  a run longer than a run number holds (model.h: maxrun); the
//           compressor starts a new stream before a run gets that long
//
// The end is the process's abort() unless the programs, a test or a fuzz
// harness have put their own handler in stophandler (the programs end the
// run with status 1); a handler that returns is treated as not having one. Harness handlers usually throw, so every core routine that can
// stop keeps its working storage in owners that release it on unwinding.
#pragma once

enum : unsigned {
    err_hashblock = 0x6502,
    err_workspace = 0x6503,
    err_corrupt = 0x6601,
    err_bwtrans = 0x6603,
    err_longrun = 0x6604,
};

extern void (*stophandler)(unsigned code);

// Output a caller still owes when a stop comes: the decompressor sets it
// while one block's restored bytes are being written and the next block is
// decoded, so that a stop in the next block still leaves the previous one
// complete in the output. Called once, before the report; a stop raised
// inside it ends the run without calling it again.
extern void (*stopfinish)();

[[noreturn]] void errorstop(unsigned code);
