// Inverse sort transform by the step table (steptable.h): the walk.
//
// Each step writes the current slot's byte and moves on: to the slot its
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

#include "common/stop.h"
#include "transform/tablewalk.h"

#include <cstring>

namespace {

// A damaged block ends its walk: nothing more of it is written.
[[noreturn]] void breakwalk(walkstate* st)
{
    st->left = 0;
    errorstop(err_corrupt);
}

// Writes the next k bytes of the walk (k <= st->left) to out and stops on
// a draw beyond the block, or when the context after the last byte is not
// the index. entries: the counters hold their slot's word (else the head
// layout); chained: side chains were walked, so words may be marked.
// Blocks without chains take a loop without the mark's test.
template <bool entries, bool chained>
void walksteps(walkstate* st, uint8_t* out, uint32_t k)
{
    uint32_t* const word = st->table.word;
    uint32_t* const counter = st->table.entry;
    const stepchain* const chain = st->chains.chain;
    const uint8_t* const chainbytes = st->chains.bytes;
    const uint32_t n = st->n;
    const uint32_t last = st->table.last;
    uint32_t* const home = entries ? &counter[2 * st->table.home] : &word[st->table.home];
    const uint32_t spent = entries ? step_exhausted : (*home & 0xFF000000u) | step_headspent;
    uint32_t s = st->slot;
    uint32_t w = st->word;
    uint32_t ctx = st->ctx;
    const uint32_t draws = k < st->left ? k : k - 1;  // none after the last byte
    for (uint32_t j = 0; j < draws; ++j) {
        if (chained && (w & step_mark)) {
            // A chain's stretch, taken whole when its draws are left in
            // this call; otherwise the walk steps through it.
            const stepchain& c = chain[w & step_chainmask];
            if (c.length != 0 && c.length <= draws - j) {
                const uint8_t* const b = chainbytes + c.from;
                std::memcpy(out, b, c.length);
                out += c.length;
                j += c.length - 1;
                s = c.end;
                w = c.endword;
                continue;
            }
            w = c.word;
        }
        *out++ = static_cast<uint8_t>(w >> 24);
        if (s == last) *home = spent;
        if (w & step_exact) {
            s = w & step_slotmask;
            w = word[s];
        } else if (entries) {
            uint32_t* const e = counter + 2 * size_t{w & step_slotmask};
            s = e[0];
            if (s >= n) breakwalk(st);
            w = e[1];
            const uint32_t after = s + 1 < n ? s + 1 : s;  // the bucket's next slot, if any
            e[0] = s + 1;
            e[1] = word[after];
        } else {
            uint32_t* const head = &word[w & step_redirect ? w & step_runmask : s];
            const uint32_t h = *head;
            s = h & step_runmask;
            if (s >= n) breakwalk(st);
            *head = h + 1;
            w = word[s];
        }
    }
    if (draws != k) *out++ = static_cast<uint8_t>(w >> 24);
    // The context: the last four bytes written, the newest on top; fewer
    // than four written in this call shift into the context before.
    for (const uint8_t* b = out - (k < 4 ? k : 4); b != out; ++b) ctx = (ctx >> 8) | (uint32_t{*b} << 24);
    st->slot = s;
    st->word = w;
    st->ctx = ctx;
    st->left -= k;
    if (st->left == 0) {
        if (ctx != st->index) breakwalk(st);
        st->whole = true;
    }
}

void walk(walkstate* st, uint8_t* out, uint32_t k)
{
    if (st->chains.count != 0) {
        walksteps<true, true>(st, out, k);
    } else if (st->table.entry != nullptr) {
        walksteps<true, false>(st, out, k);
    } else {
        walksteps<false, false>(st, out, k);
    }
}

}  // namespace

void unsort_start(unsortspace* space, const uint8_t* block, uint32_t n, uint32_t index, uint32_t* counts)
{
    walkstate* const st = &space->walk;
    *st = walkstate{};
    checkcounts(n, counts);
    if (n == 0) {
        st->whole = true;  // nothing to walk; the context is the index
        return;
    }
    if (n > blocksize) errorstop(err_corrupt);
    steptable table;
    if (buildsteptable(&space->steps, block, n, index, counts, &table) != stepbuild::ok) errorstop(err_corrupt);
    stepchains chains{nullptr, nullptr, 0};
    // The head layout uses step_mark's bit.
    if (table.entry != nullptr) walkchains(&space->sidechains, &table, n, &chains);
    // The first slot is drawn from the index's bucket.
    const uint32_t first = table.first;
    if (table.entry != nullptr) {
        uint32_t* const e = &table.entry[2 * table.home];
        e[0] = first + 1;
        e[1] = table.word[first + 1 < n ? first + 1 : first];
    } else {
        ++table.word[table.home];
    }
    *st = walkstate{table, chains, first, table.word[first], n, n, index, index, false};
}

uint32_t unsort_left(const unsortspace* space)
{
    return space->walk.left;
}

bool unsort_whole(const unsortspace* space)
{
    return space->walk.whole;
}

void unsort_walk(unsortspace* space, uint8_t* out, uint32_t k)
{
    if (k > space->walk.left) k = space->walk.left;
    if (k != 0) walk(&space->walk, out, k);
}

void unsorttrans(unsortspace* space, const uint8_t* block, uint8_t* out, uint32_t n, uint32_t index, uint32_t* counts)
{
    if (n > blocksize) {
        tablewalk(block, out, n, index, counts);
        return;
    }
    unsort_start(space, block, n, index, counts);
    if (n != 0) walk(&space->walk, out, n);
}

void freeunsortspace(unsortspace* space)
{
    *space = unsortspace{};
}
