// Inverse sort transform by the step table (steptable.h): the walk.
//
// Each step delivers the current slot's byte and moves on: to the slot its
// word names, whose word it then reads from the table, or to the slot its
// word's counter hands out, whose word the counter already holds. The
// counter then takes the bucket's following slot and fetches that slot's
// word, a read the walk does not wait for. In the head layout the counter
// is the pair's head word, next to the slot the walk stands on. A marked
// word starts a side chain (stepchains.h): the walk copies its stretch and
// goes on from the slot it leads to, or steps through it when the call has
// fewer bytes left than the stretch.
//
// Damaged input. Counts are checked against the block's histogram, so the
// buckets split the block and every bucket B is led to by exactly |B|
// slots. A walk that has visited no slot twice has therefore drawn from
// every bucket at most as often as it has slots, except the index's bucket
// B0, which is drawn from once more at the start; and while no bucket has
// been drawn from too often, no slot is visited twice. So the first draw
// beyond a bucket's end is a draw from B0 after its last slot has come out.
// The walk marks B0's counter spent when it visits that slot, and a draw
// from it then lands beyond the block: the walk stops with the
// corrupt-block report, as it does when the context after the last byte is
// not the index, or when the index is no context of the block. Up to such a
// stop the walk delivers exactly the bytes of the context hash table's walk
// (tablewalk.h), every slot it reads lies in the block, and it takes at most
// n steps. Side chains follow exact steps only, which never draw, and end
// before the bucket's last slot, so a stretch holds no stop and skips no
// visit the walk must see.
#include "transform/unsorttrans.h"

#include "programs/stream.h"
#include "coder/stop.h"
#include "transform/stepchains.h"
#include "transform/steptable.h"
#include "transform/tablewalk.h"

namespace {

// The walk in progress: the step table of one block and how far the walk
// has come. A caller may take the block in stretches between other work.
struct walkstate {
    steptable table;
    stepchains chains;  // count 0: none marked
    uint32_t slot;   // slot whose byte comes next
    uint32_t word;   // its word
    uint32_t left;   // bytes still to deliver
    uint32_t n;      // bytes of the block
    uint32_t ctx;    // context after the bytes delivered so far
    uint32_t index;  // the context the walk must end in
    bool whole;      // every byte written, ending in the index
};

walkstate pending{};

// A damaged block ends its walk: nothing more of it is written.
[[noreturn]] void breakwalk()
{
    pending.left = 0;
    errorstop(err_corrupt);
}

// Delivers the next k bytes of the walk (k <= pending.left) and stops the
// run on a draw beyond the block, or when the context after the last byte
// is not the index. entries: the counters hold their slot's word (else the
// head layout); chained: side chains were walked, so words may be marked.
// Blocks without chains take a loop without the mark's test.
template <bool entries, bool chained, typename Deliver>
void walksteps(uint32_t k, Deliver deliver)
{
    uint32_t* const word = pending.table.word;
    uint32_t* const counter = pending.table.entry;
    const uint32_t n = pending.n;
    const uint32_t last = pending.table.last;
    uint32_t* const home = entries ? &counter[2 * pending.table.home] : &pending.table.word[pending.table.home];
    const uint32_t spent = entries ? step_exhausted : (*home & 0xFF000000u) | step_headspent;
    uint32_t s = pending.slot;
    uint32_t w = pending.word;
    uint32_t ctx = pending.ctx;
    const uint32_t draws = k < pending.left ? k : k - 1;  // none after the last byte
    for (uint32_t j = 0; j < draws; ++j) {
        if (chained && (w & step_mark)) {
            // A chain's stretch, taken whole when its draws are left in
            // this call; otherwise the walk steps through it.
            const stepchain& chain = pending.chains.chain[w & step_chainmask];
            if (chain.length != 0 && chain.length <= draws - j) {
                const uint8_t* const b = pending.chains.bytes + chain.from;
                for (uint32_t i = 0; i < chain.length; ++i) deliver(b[i]);
                for (uint32_t i = chain.length < 4 ? 0 : chain.length - 4; i < chain.length; ++i) {
                    ctx = (ctx >> 8) | (uint32_t{b[i]} << 24);
                }
                j += chain.length - 1;
                s = chain.end;
                w = chain.endword;
                continue;
            }
            w = chain.word;
        }
        const uint32_t c = w >> 24;
        deliver(c);
        ctx = (ctx >> 8) | (c << 24);
        if (s == last) *home = spent;
        if (w & step_exact) {
            s = w & step_slotmask;
            w = word[s];
        } else if (entries) {
            uint32_t* const e = counter + 2 * size_t{w & step_slotmask};
            s = e[0];
            if (s >= n) breakwalk();
            w = e[1];
            const uint32_t after = s + 1 < n ? s + 1 : s;  // the bucket's next slot, if any
            e[0] = s + 1;
            e[1] = word[after];
        } else {
            uint32_t* const head = &word[w & step_redirect ? w & step_runmask : s];
            const uint32_t h = *head;
            s = h & step_runmask;
            if (s >= n) breakwalk();
            *head = h + 1;
            w = word[s];
        }
    }
    if (draws != k) {
        const uint32_t c = w >> 24;
        deliver(c);
        ctx = (ctx >> 8) | (c << 24);
    }
    pending.slot = s;
    pending.word = w;
    pending.ctx = ctx;
    pending.left -= k;
    if (pending.left == 0) {
        if (ctx != pending.index) breakwalk();
        pending.whole = true;
    }
}

template <typename Deliver>
void walk(uint32_t k, Deliver deliver)
{
    if (pending.chains.count != 0) {
        walksteps<true, true>(k, deliver);
    } else if (pending.table.entry != nullptr) {
        walksteps<true, false>(k, deliver);
    } else {
        walksteps<false, false>(k, deliver);
    }
}

}  // namespace

void unsort_start(const uint8_t* block, uint32_t n, uint32_t index, uint32_t* counts)
{
    pending = walkstate{};
    checkcounts(n, counts);
    if (n == 0) {
        pending.whole = true;  // nothing to walk; the context is the index
        return;
    }
    if (n > step_maxblock) errorstop(err_corrupt);
    steptable table;
    if (buildsteptable(block, n, index, counts, &table) != stepbuild::ok) errorstop(err_corrupt);
    stepchains chains{nullptr, nullptr, 0};
    if (table.entry != nullptr) walkchains(&table, n, &chains);  // the head layout uses step_mark's bit
    // The first slot is drawn from the index's bucket.
    const uint32_t first = table.first;
    if (table.entry != nullptr) {
        uint32_t* const e = &table.entry[2 * table.home];
        e[0] = first + 1;
        e[1] = table.word[first + 1 < n ? first + 1 : first];
    } else {
        ++table.word[table.home];
    }
    pending = walkstate{table, chains, first, table.word[first], n, n, index, index, false};
}

uint32_t unsort_left()
{
    return pending.left;
}

bool unsort_whole()
{
    return pending.whole;
}

void unsort_walk(uint32_t k)
{
    if (k > pending.left) k = pending.left;
    if (k != 0) walk(k, [](uint32_t c) { putbyte(&streamout, static_cast<int>(c)); });
}

void unsorttrans(const uint8_t* block, uint8_t* out, uint32_t n, uint32_t index, uint32_t* counts)
{
    if (n > step_maxblock) {
        tablewalk(block, out, n, index, counts);
        return;
    }
    unsort_start(block, n, index, counts);
    if (n == 0) return;
    if (out != nullptr) {
        walk(n, [&out](uint32_t c) { *out++ = static_cast<uint8_t>(c); });
    } else {
        walk(n, [](uint32_t c) { putbyte(&streamout, static_cast<int>(c)); });
    }
}
