// Side chains: marking, and the walk of many chains side by side.
//
// Each of `lanes` lanes walks one chain at a time and takes the next
// marked slot when its chain ends; every round steps each lane once, so
// the lanes' reads of the table are independent and overlap. A lane writes
// its bytes into rooms of `room` bytes taken in turn from one store; a
// chain that fills its lane's room ends there, and its lane goes on with a
// new chain, marked where it stopped, in a fresh room. So every room but
// the lanes' last ones is full, and the store needs n bytes and a room per
// lane besides.
//
// Nothing exact leads into the index's bucket (its pair is always counted),
// so a chain never meets the bucket's last slot after its start; that slot
// is only kept from being a start.
#include "transform/stepchains.h"

namespace {

constexpr uint32_t stride = 64;  // one start among this many slots
constexpr uint32_t lanes = 16;
constexpr uint32_t room = 4096;
constexpr uint32_t none = 0xFFFFFFFF;

uint32_t chaincap(uint32_t n) { return n / stride + n / room + lanes + 4; }
uint32_t bytecap(uint32_t n) { return (n / room + lanes + 2) * room; }

// Grows the storage for blocks of n bytes. The old arrays are released
// first, and cap is 0 until both are held, so a stop leaves a record to be
// freed.
void reserve(chainspace* space, uint32_t n)
{
    if (n <= space->cap) return;
    space->cap = 0;
    space->chain.reset();
    space->bytes.reset();
    space->chain = takearray<stepchain>(chaincap(n));
    space->bytes = takearray<uint8_t>(bytecap(n));
    space->cap = n;
}

// One lane: the chain it walks, the slot it has reached, the bytes so far.
struct lane {
    uint32_t id = none;
    uint32_t slot = 0;
    uint32_t length = 0;
    uint8_t* put = nullptr;
    uint8_t* stop = nullptr;  // end of its room
};

// The chains of one call and their store.
struct chainrun {
    uint32_t* word;
    stepchain* chain;
    uint8_t* bytes;
    uint8_t* fresh;  // next room not handed out
    uint32_t count;  // chains numbered so far
    uint32_t budget; // steps still allowed
};

// Starts chain id on lane l, taking a fresh room when its room is full.
void startchain(chainrun* r, lane* l, uint32_t id)
{
    if (l->put == l->stop) {
        l->put = r->fresh;
        l->stop = r->fresh + room;
        r->fresh += room;
    }
    stepchain* const c = &r->chain[id];
    c->from = static_cast<uint32_t>(l->put - r->bytes);
    *l->put++ = static_cast<uint8_t>(c->word >> 24);
    l->id = id;
    l->length = 1;
    l->slot = c->word & step_slotmask;
    --r->budget;
}

// Marks a start at slot s, whose word w is exact, as chain number count.
uint32_t markstart(chainrun* r, uint32_t s, uint32_t w)
{
    const uint32_t id = r->count++;
    r->chain[id] = stepchain{w, 0, 0, 0, 0};
    r->word[s] = (w & 0xFF000000u) | step_mark | id;
    return id;
}

}  // namespace

bool walkchains(chainspace* space, steptable* table, uint32_t n, stepchains* chains)
{
    uint32_t* const word = table->word;
    uint32_t samples = 0, exact = 0;
    for (uint32_t s = 0; s < n; s += stride) {
        ++samples;
        exact += (word[s] & step_exact) != 0;
    }
    // Chains pay once an eighth of the slots are exact: blocks that mix
    // compressed files with text (an archive of documentation) walk their
    // random stretches through chains and their text as before; text
    // alone has far fewer exact slots and never starts them.
    if (exact * 8 < samples || exact < 2 * lanes) return false;

    reserve(space, n);
    chainrun r{word, space->chain.get(), space->bytes.get(), space->bytes.get(), 0, n};
    for (uint32_t s = 0; s < n; s += stride) {
        if ((word[s] & step_exact) != 0 && s != table->last) markstart(&r, s, word[s]);
    }
    const uint32_t starts = r.count;
    uint32_t queued = 0;
    lane lane[lanes];
    uint32_t busy = 0;
    for (; busy < lanes && queued < starts; ++busy) startchain(&r, &lane[busy], queued++);

    while (busy != 0) {
        for (uint32_t k = 0; k < lanes; ++k) {
            struct lane* const l = &lane[k];
            if (l->id == none) continue;
            const uint32_t t = l->slot;
            const uint32_t w = word[t];
            const bool exactstep = (w & step_exact) != 0;
            if (exactstep && l->put != l->stop && r.budget != 0) {
                *l->put++ = static_cast<uint8_t>(w >> 24);
                ++l->length;
                l->slot = w & step_slotmask;
                --r.budget;
                continue;
            }
            // The chain ends at t: a counted or marked slot, or a full room,
            // where t starts the lane's next chain.
            if (exactstep && r.budget == 0) goto bounded;
            uint32_t next = none;
            if (exactstep) {
                next = markstart(&r, t, w);
            } else if (queued < starts) {
                next = queued++;
            }
            stepchain* const c = &r.chain[l->id];
            c->length = l->length;
            c->end = t;
            c->endword = word[t];
            l->id = none;
            if (next != none) {
                if (r.budget == 0) goto bounded;
                startchain(&r, l, next);
            } else {
                --busy;
            }
        }
    }
bounded:
    // Chains left unfinished keep length 0: the walk steps through them.
    chains->chain = r.chain;
    chains->bytes = r.bytes;
    chains->count = r.count;
    return true;
}
