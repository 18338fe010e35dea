// Side chains over the exact steps of a step table (steptable.h).
//
// A slot whose word is exact has a fixed successor, so the stretch of the
// walk from such a slot up to the next counted step can be walked before
// the walk gets there. On data without structure nearly every step is
// exact and the walk is one long chase of dependent reads over the table;
// side chains break it into many short chases, walked side by side so that
// their reads overlap, and the walk then copies each stretch and jumps to
// where it ended: one dependent read a stretch instead of one a byte.
//
// Marks. A chain starts at a marked slot: its word keeps its byte and
// holds step_mark and the chain's number instead of where it goes. A chain
// follows exact steps from its start, recording the bytes, and ends before
// the first slot that is counted, marked, or the last slot of the index's
// bucket (whose visit the walk must see), or where its room is full (the
// slot it reached is then marked and starts a chain of its own). Exact
// steps never lead to one slot from two, so chains never overlap and take
// at most n steps together, on any block; they are bounded by n besides.
// A marked word leads the walk to the same bytes as the word it replaced,
// so a walk that does not take a stretch whole reads the chain's `word`
// and goes on step by step.
#pragma once

#include <cstdint>

#include "transform/steptable.h"

constexpr uint32_t step_mark = 1u << 22;           // the word holds a chain number
constexpr uint32_t step_chainmask = step_mark - 1;

struct stepchain {
    uint32_t word;     // the start slot's own word
    uint32_t from;     // its bytes: at bytes + from
    uint32_t length;   // bytes from the start slot on; 0: not walked
    uint32_t end;      // the slot the stretch leads to
    uint32_t endword;  // its word
};

struct stepchains {
    const stepchain* chain;  // by number
    const uint8_t* bytes;
    uint32_t count;
};

// Storage of side chains, kept between calls and grown to the largest
// block seen. A zero-initialised record is empty.
struct chainspace {
    heaparray<stepchain> chain;
    heaparray<uint8_t> bytes;
    uint32_t cap = 0;  // block size they were taken for
};

// Marks start slots in the table's words (among every `stride`th slot, the
// exact ones) and walks their chains. Returns false, leaving the table as
// it was, when too few of the sampled slots are exact for chains to pay.
// The chains live in space until the next call with it; if space cannot
// grow, the call stops with err_workspace before the table is changed.
bool walkchains(chainspace* space, steptable* table, uint32_t n, stepchains* chains);
