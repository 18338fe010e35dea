// The symbol model as the drivers use it: open it in one direction, code
// blocks of symbols through it, close it.
//
// Symbols are the byte values 0..255 and the end symbol, which closing an
// encoding model codes and which the decoder reports as the end. The model
// and its range coder are process-wide: one model per process, used in one
// direction at a time, opened once per stream and carried across all its
// blocks. Its state and the way it codes are in model/modelstate.h.
//
// Damage in a stream being decoded stops the decoder with
// errorstop(err_corrupt) (coder/stop.h): a class that holds nothing, or a
// run number longer than any the encoder writes.
#pragma once

#include <cstdint>

// The longest run number: at most rundigits digits below its leading 1, so
// a run of up to maxrun = 2^33 - 1 bytes (8 GiB). 32 digits are the fewest
// that hold a run of 2^32 bytes; each further digit would double what one
// damaged run number can make the decoder write, which it takes as damage
// from the 33rd digit on. The encoder stops (err_longrun) rather than code
// a longer run, and the compressor ends its stream before a run gets that
// long and goes on in a new one (programs/compress.cpp).
constexpr uint32_t rundigits = 32;
constexpr uint64_t maxrun = (uint64_t{2} << rundigits) - 1;

// Opens the model: flag nonzero for encoding (starts the coder), zero for
// decoding (reads the coder's first bytes and the initial run number from
// the input). Returns 0, or 1 when a table's storage cannot be obtained;
// the model is then closed again and must not be used.
int initmodel(int flag);

// Closes the model. Opened for encoding: codes the end symbol and flushes
// the coder first. Safe after a failed opening, after a stop thrown in the
// middle of decoding, and when called twice.
void deletemodel();

// Closes an encoding model without coding the end symbol or flushing the
// coder, so that a run that fails half way does not end in a stream that
// looks complete.
void abandonmodel();

// Whether the model holds its tables (opened and not yet closed).
bool modelopen();

// Encoding: the length so far of the current run of one symbol.
uint64_t currentrun();

// Codes the n bytes at p, one symbol each.
void encode_block(const uint8_t* p, uint32_t n);

// Decodes up to n symbols into buf and counts each in histogram (256
// counters); stops early at the end symbol, which is not stored, and then
// sets *end. Returns the number of bytes stored.
uint32_t decode_block(uint8_t* buf, uint32_t n, uint32_t* histogram, bool* end);
