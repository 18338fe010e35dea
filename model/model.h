// The symbol model as the drivers use it: open it in one direction, code
// blocks of symbols through it, close it.
//
// Symbols are the byte values 0..255 and the end symbol, which closing an
// encoding model codes and which the decoder reports as the end. A model
// and its range coder are one record, used in one direction, opened once
// per stream and carried across all its blocks; the record holds no
// pointer to anything shared, so any number of streams run at once, on one
// thread or several (one record is used by one thread at a time). How the
// model codes is in model/modelstate.h.
//
// Damage in a stream being decoded stops the decoder with
// errorstop(err_corrupt) (common/stop.h): a class that holds nothing, or a
// run number longer than any the encoder writes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "coder/arith.h"
#include "coder/byteio.h"
#include "coder/cumtable.h"
#include "coder/flattable.h"

// The longest run number: at most rundigits digits below its leading 1, so
// a run of up to maxrun = 2^33 - 1 bytes (8 GiB). 32 digits are the fewest
// that hold a run of 2^32 bytes; each further digit would double what one
// damaged run number can make the decoder write, which it takes as damage
// from the 33rd digit on. The encoder stops (err_longrun) rather than code
// a longer run, and the compressor ends its stream before a run gets that
// long and goes on in a new one (lib/encoder.cpp).
constexpr uint32_t rundigits = 32;
constexpr uint64_t maxrun = (uint64_t{2} << rundigits) - 1;

// The most input bytes that decoding one new symbol with its run number
// can read, on any input, damaged ones included; also a bound on what
// opening the model for decoding reads. After a normalisation the range is
// above 2^23, every decision's total is at most 2^23 and every symbol's
// share at least 1, so the unit (range / total) is at least 1 and the
// range after a decision is at least 1 (a share times the unit, or for the
// topmost symbol what the others leave, which is no less); the next
// normalisation then multiplies it by 2^8 per byte until it is above 2^23,
// so it reads at most 3 bytes. A new symbol takes its class, its place in
// the class (the end symbol stops here) and its run number: up to
// rundigits digits and a stop, or rundigits + 1 digits before the decoder
// takes the number as damage; rundigits + 3 decisions, 3 bytes each.
// Opening reads the coder's two first bytes, leaving a range of 2^7 that
// the first decision's normalisation raises with 3 bytes, then the
// initial run number: at most 2 + 3 * (rundigits + 1) bytes, which is less.
constexpr size_t maxsymbolbytes = 3 * (rundigits + 3);

// ---- the record ---------------------------------------------------------

constexpr uint32_t nsymbols = 257;  // the byte values and the end symbol
constexpr uint32_t ringslots = 30;
constexpr uint32_t mtf1cap = 10;
constexpr uint32_t mtf2cap = 20;
// The lists' storage: their symbols in 16 bits, in whole vectors of eight,
// so that moving a list is a few vector operations; the lanes past a
// list's capacity hold symbols that have moved on, and are never read.
constexpr uint32_t listlanes = 8;
constexpr uint32_t mtf1room = (mtf1cap + listlanes - 1) / listlanes * listlanes;
constexpr uint32_t mtf2room = (mtf2cap + listlanes - 1) / listlanes * listlanes;

// One slot of the recency ring. The 30 slots form a fixed circle (slot k's
// next is slot k+1, slot 29's next is slot 0); the links never change.
// Invariants: the count fields of all slots add up to 30; a symbol's count
// lives on its newest slot and its older duplicate slots hold 0.
struct cachenode {
    int32_t sym;       // symbol held by this slot
    uint32_t count;    // newest slot: slots holding sym (1..30); else 0
    int32_t runctx;    // run context 0..3 of sym (index into mrun)
    uint32_t slot;     // this slot's index in cache, fixed
    cachenode* next;   // next newer slot; the newest links to the oldest
    cachenode* prev;   // next older slot; the oldest links to the newest
};

// Counts of the run digits of one run context: digit 0, digit 1, stop.
// Each count is at least 1; their sum is halved when it exceeds 100 after
// a stop.
struct runmodel {
    uint32_t c0;
    uint32_t c1;
    uint32_t c2;
};

// The whole state of one model and its coder; the meaning of each table is
// in model/modelstate.h. The ring's slots link to each other and the other
// tables point into the ring, so once opened a record is never copied or
// moved: it stays where it was opened until it is closed. A
// zero-initialised record (`model m{};`) is closed: deletemodel and
// modelopen accept it, and initmodel opens it.
struct model {
    uint64_t runlength;    // encoding: length of the current run; decoding: copies owed
    cachenode* lastseen;   // newest ring slot; its sym is the current run's
    int encoding;          // 1: opened for encoding, 0: decoding (or closed)
    uint32_t mwhat[4];     // class-decision counts
    uint32_t mwhattotal;   // their sum
    runmodel mrun[4];      // run digit counts, by run context
    arithcoder coder;      // the range coder, on the stream's input or output
    alignas(64) uint8_t ringcount[64];  // the ring's counts, twice over
    cachenode cache[ringslots];
    cachenode* sym2cache[nsymbols];
    int32_t sym2mod[nsymbols];
    alignas(16) int16_t mtf1list[mtf1room];
    uint32_t mtf1size;
    cumtable mtf1;
    alignas(16) int16_t mtf2list[mtf2room];
    uint32_t mtf2size;
    cumtable mtf2;
    flattable full;
};

// Opens the model: flag nonzero for encoding (starts the coder), zero for
// decoding (reads the coder's first bytes and the initial run number from
// the input). Returns 0, or 1 when a table's storage cannot be obtained;
// the model is then closed again and must not be used. Encoding writes to
// out, decoding reads from in; the other may be null. Whatever the record
// held before is released first.
int initmodel(model* m, int flag, bytein* in, byteout* out);

// Closes the model. Opened for encoding: codes the end symbol and flushes
// the coder first. Safe after a failed opening, after a stop thrown in the
// middle of decoding, and when called twice.
void deletemodel(model* m);

// Closes an encoding model without coding the end symbol or flushing the
// coder, so that a run that fails half way does not end in a stream that
// looks complete.
void abandonmodel(model* m);

// Whether the model holds its tables (opened and not yet closed).
bool modelopen(const model* m);

// Makes `to` a copy of the whole state of `from` (open for decoding), which
// then reads from in: a probe that can decode ahead of the model it copies
// and be thrown away, leaving `from` untouched. `to` keeps its own tables
// (opened here when closed, or a stop with err_nomemory) and may be copied
// into again.
void copymodel(model* to, const model* from, bytein* in);

// Encoding: the length so far of the current run of one symbol.
uint64_t currentrun(const model* m);

// Codes the n bytes at p, one symbol each.
void encode_block(model* m, const uint8_t* p, uint32_t n);

// Decodes up to n symbols into buf and counts each in histogram (256
// counters); stops early at the end symbol, which is not stored, and then
// sets *end. Returns the number of bytes stored.
//
// For a caller whose input arrives in pieces: a new symbol (anything that
// reads input) is begun only while at least reserve bytes of input are
// left (in->end - in->pos >= reserve, as they stand at the start of the
// symbol); with fewer the call returns early, *end false, having handed
// out every copy of the current run that buf takes (copies read nothing).
// With reserve = maxsymbolbytes the decoder never reads past in->end; the
// last piece is decoded with reserve 0, which always goes on (and reads
// past the end as -1, counted in overrun).
uint32_t decode_block(model* m, uint8_t* buf, uint32_t n, uint32_t* histogram, bool* end, size_t reserve);
