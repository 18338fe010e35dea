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
// Without a handler the end is the process's abort(). A caller that wants
// the stop back installs a handler in stophandler, usually throwingstop,
// and reports the stop itself: with a handler installed nothing is printed
// here. A handler that returns is treated as not having one. Every core
// routine that can stop keeps its working storage in owners that release
// it on unwinding.
#pragma once

enum : unsigned {
    err_hashblock = 0x6502,
    err_workspace = 0x6503,
    err_corrupt = 0x6601,
    err_bwtrans = 0x6603,
    err_longrun = 0x6604,
};

extern void (*stophandler)(unsigned code);

// What throwingstop throws: the code of the stop.
struct stopped {
    unsigned code;
};

[[noreturn]] void throwingstop(unsigned code);

// Installs throwingstop for as long as it lives, then puts back the
// handler that was there before.
struct stopcatch {
    void (*saved)(unsigned);
    stopcatch() : saved(stophandler) { stophandler = throwingstop; }
    ~stopcatch() { stophandler = saved; }
    stopcatch(const stopcatch&) = delete;
    stopcatch& operator=(const stopcatch&) = delete;
};

[[noreturn]] void errorstop(unsigned code);
