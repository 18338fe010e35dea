// Inverse sort transform by a precomputed step table.
//
// Terms: LF(s) is the slot of the position that follows the position held
// in slot s (slot s's byte, counted among equal bytes in slot order, inside
// the range of that byte). The context K(s) of slot s is the context value
// of its position; slots of one context form a bucket, a run of consecutive
// slots holding its positions in block order, and K(LF(s)) is
// (K(s) >> 8) | L[s] << 24.
//
// The walk of the context hash table (tablewalk) keeps one running slot per
// context. Here the contexts are numbered instead, and every slot s gets one
// 32-bit step word: its byte and where the walk goes next, the bucket of
// LF(s). That bucket is named by its slot when it holds a single slot (the
// walk goes straight there, one memory read per byte), and by a dense id
// otherwise, whose running slot is next[id]. The walk is then
//   w = step[s]; deliver(w & 255); s = single ? ref : next[ref]++
// which gives the bytes of the table walk without its lookups, at a speed
// that does not depend on how many contexts the block holds.
//
// The buckets come from the table walk's own insertion pass (pair counts,
// pair starts, seen marks), which meets the first slot of every bucket
// once; here it sets that slot's bit in a bitmap instead of inserting it.
// Bit ranks in the bitmap number the buckets.
//
// Damaged input. Counts are checked against the block's histogram, which
// makes LF a permutation, so every bucket B is named by exactly |B| step
// words. The walk starts with one draw from the index's bucket B0 outside
// any step word; so while no slot has been reached twice, only B0 can be
// drawn once too often. B0 always gets a running slot, and the step word of
// its last slot carries a flag that makes its running slot `exhausted`; a
// draw from it then lands at or beyond n. Such a draw, like an index that
// is no context of the block, means the block is damaged: the walk stops
// with the corrupt-block report, as it does when the context after the
// last byte is not the index. Every array index of this walk is built in
// range, and its speed does not depend on the data, damaged or not.
//
// Working storage is kept for the process and only grows, so the pages of
// a stream's 2 MiB blocks are faulted in once, not once per block.
#include "transform/unsorttrans.h"

#include "coder/byteio.h"
#include "coder/stop.h"
#include "transform/bigblock.h"
#include "transform/hash2.h"
#include "transform/tablewalk.h"

#include <bit>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t maxstepblock = 1u << 21;  // refs fit 21 bits of a step word
constexpr uint32_t refmask = maxstepblock - 1;
constexpr uint32_t singleflag = 1u << 29;    // ref is the slot of a one-slot bucket
constexpr uint32_t lastflag = 1u << 30;      // the last slot of the index's bucket
constexpr uint32_t exhausted = 1u << 31;     // a running slot no draw may take
constexpr uint32_t nowhere = 0xFFFFFFFF;
constexpr uint32_t badcounts = 0xFFFFFFFE;

// Process-wide working storage. Arrays of block size hold `cap` slots; the
// pair tables hold 257 x 256 entries (the last row takes bytes the counts
// say are absent, so that a damaged block is counted before it is refused).
struct unsortspace {
    uint32_t* step = nullptr;   // cap: the step word of every slot
    uint32_t* next = nullptr;   // cap/2 + 2: running slot of each id
    uint64_t* first = nullptr;  // cap/64 + 2: bucket starts, then one-slot buckets
    uint64_t* multi = nullptr;  // cap/64 + 2: starts of buckets with an id
    uint32_t* rank = nullptr;   // cap/64 + 2: ids below each word of `multi`
    uint32_t* pair = nullptr;   // pair counts
    uint32_t* start = nullptr;  // pair starts
    uint32_t* seen = nullptr;   // group (plus one) in which a high half was last met
    uint32_t cap = 0;
};

unsortspace space;

constexpr size_t pairentries = 257 * 256;

void releasespace()
{
    for (void* p : {static_cast<void*>(space.step), static_cast<void*>(space.next), static_cast<void*>(space.first),
                    static_cast<void*>(space.multi), static_cast<void*>(space.rank)}) {
        std::free(p);
    }
    space.step = space.next = space.rank = nullptr;
    space.first = space.multi = nullptr;
    space.cap = 0;
}

template <typename T>
T* take(size_t count)
{
    void* const p = bigblock(count * sizeof(T));
    if (p == nullptr) {
        releasespace();
        errorstop(err_workspace);
    }
    return static_cast<T*>(p);
}

void reserve(uint32_t n)
{
    if (space.pair == nullptr) {
        space.pair = take<uint32_t>(pairentries);
        space.start = take<uint32_t>(pairentries);
        space.seen = take<uint32_t>(pairentries);
    }
    if (n <= space.cap) return;
    releasespace();
    const size_t words = n / 64 + 2;
    space.step = take<uint32_t>(n);
    space.next = take<uint32_t>(n / 2 + 2);
    space.first = take<uint64_t>(words);
    space.multi = take<uint64_t>(words);
    space.rank = take<uint32_t>(words);
    space.cap = n;
}

// Fills space.step and space.next for block L, whose counts are its
// histogram. Returns the id of the index's bucket, where the walk begins,
// nowhere when the index is not a context of L, or badcounts when counts is
// not the histogram of L. counts becomes the first slot of each byte's range.
// Built twice, the caller's processor picking one at load time: a bit count
// is one instruction where the processor has it, and a library call of a
// dozen instructions per slot where the build may not assume it. A stop
// must not unwind through the clones (with link-time optimisation the
// exception of a harness's stop handler cannot leave them), so the caller
// makes every stop.
// The thread sanitizer cannot run the clones' resolver, which runs before
// the sanitizer has started; its builds take the default code.
#if defined(__SANITIZE_THREAD__)
uint32_t buildsteps(const uint8_t* L, uint32_t n, uint32_t index, uint32_t* counts)
#else
__attribute__((target_clones("popcnt", "default"))) uint32_t buildsteps(const uint8_t* L, uint32_t n, uint32_t index, uint32_t* counts)
#endif
{
    // Pair tables over the bytes that occur only: 60 letters of text make a
    // table of 3,600 entries, and a short block clears little.
    uint8_t present[256];
    uint32_t np = 0;
    uint32_t column[256];  // rank of a present byte
    uint32_t row[256];     // its row's first entry; absent bytes share row np
    for (uint32_t v = 0; v < 256; ++v) {
        column[v] = np;
        if (counts[v] != 0) present[np++] = static_cast<uint8_t>(v);
    }
    for (uint32_t v = 0; v < 256; ++v) row[v] = counts[v] != 0 ? column[v] * np : np * np;
    uint32_t* const pair = space.pair;
    uint32_t* const start = space.start;
    uint32_t* const seen = space.seen;
    const uint32_t groups = np * np;
    std::memset(pair, 0, (groups + np) * sizeof(uint32_t));
    std::memset(seen, 0, groups * sizeof(uint32_t));

    // Pair counts: slot s in the range of v holds a byte L[s] preceded by v.
    uint32_t s = 0;
    for (uint32_t j = 0; j < np; ++j) {
        const uint32_t v = present[j];
        for (const uint32_t end = s + counts[v]; s < end; ++s) ++pair[row[L[s]] + j];
    }
    // A row must add up to its byte's count, or LF would not be a
    // permutation; then the absent bytes' row is empty too.
    for (uint32_t i = 0; i < np; ++i) {
        uint32_t sum = 0;
        for (uint32_t j = 0; j < np; ++j) sum += pair[i * np + j];
        if (sum != counts[present[i]]) return badcounts;
    }
    uint32_t r = 0;
    for (uint32_t g = 0; g < groups; ++g) {
        start[g] = r;
        r += pair[g];
    }
    r = 0;
    for (uint32_t v = 0; v < 256; ++v) {
        const uint32_t c = counts[v];
        counts[v] = r;
        r += c;
    }

    // The index as a (high half, group) pair of the tables; an index with
    // an absent byte is no context of L.
    const uint32_t i3 = index >> 24, i2 = index >> 16 & 0xFF, i1 = index >> 8 & 0xFF, i0 = index & 0xFF;
    const bool possible = row[i3] < groups && row[i2] < groups && row[i1] < groups && row[i0] < groups;
    const uint32_t khome = possible ? row[i3] + column[i2] : nowhere;
    const uint32_t ghome = possible ? row[i1] + column[i0] : nowhere;

    // Bucket starts. Slot s of group g leads to t = LF(s) and on to the slot
    // LF(t), whose context has high half k (bytes L[t], L[s]) and low half g.
    // Within one k the groups come in increasing order, so start[k] reaches
    // a new bucket exactly when k is first met in a group.
    const uint32_t words = n / 64 + 2;
    uint64_t* const first = space.first;
    std::memset(first, 0, words * sizeof(uint64_t));
    uint32_t lf[256];
    std::memcpy(lf, counts, sizeof lf);
    uint32_t home = nowhere;
    s = 0;
    for (uint32_t g = 0; g < groups; ++g) {
        const uint32_t mark = g + 1;
        for (const uint32_t end = s + pair[g]; s < end; ++s) {
            const uint32_t c = L[s];
            const uint32_t t = lf[c]++;
            const uint32_t k = row[L[t]] + column[c];
            const uint32_t u = start[k]++;
            if (seen[k] != mark) {
                seen[k] = mark;
                first[u >> 6] |= uint64_t{1} << (u & 63);
                if (k == khome && g == ghome) home = u;
            }
        }
    }
    first[n >> 6] |= uint64_t{1} << (n & 63);  // the end closes the last bucket

    // Buckets of two or more slots, and the index's bucket whatever its
    // size, get ids in slot order; `first` keeps only the one-slot buckets
    // that have none.
    uint32_t homeend = n;
    if (home != nowhere) {
        for (uint32_t u = home + 1; u < n; ++u) {
            if (first[u >> 6] >> (u & 63) & 1) {
                homeend = u;
                break;
            }
        }
    }
    uint64_t* const multi = space.multi;
    uint32_t* const rank = space.rank;
    uint32_t* const next = space.next;
    uint32_t ids = 0;
    for (uint32_t w = 0; w + 1 < words; ++w) {
        const uint64_t here = first[w];
        const uint64_t after = here >> 1 | first[w + 1] << 63;  // starts one slot on
        uint64_t m = here & ~after;
        uint64_t one = here & after;
        if (w == n >> 6) {
            const uint64_t below = (uint64_t{1} << (n & 63)) - 1;
            m &= below;
            one &= below;
        }
        if (w == home >> 6 && home != nowhere) {
            m |= uint64_t{1} << (home & 63);
            one &= ~(uint64_t{1} << (home & 63));
        }
        first[w] = one;
        multi[w] = m;
        rank[w] = ids;
        for (; m != 0; m &= m - 1) next[ids++] = w * 64 + static_cast<uint32_t>(std::countr_zero(m));
    }

    // Step words, with LF again: the ref of LF(s) is its own slot in a
    // one-slot bucket, else the id of the last bucket start at or below it.
    std::memcpy(lf, counts, sizeof lf);
    uint32_t* const step = space.step;
    for (s = 0; s < n; ++s) {
        const uint32_t c = L[s];
        const uint32_t t = lf[c]++;
        const uint32_t w = t >> 6;
        const uint32_t b = t & 63;
        const uint32_t single = static_cast<uint32_t>(first[w] >> b) & 1;
        const uint32_t id = rank[w] + static_cast<uint32_t>(std::popcount(multi[w] & ((uint64_t{2} << b) - 1))) - 1;
        step[s] = c | (single ? t << 8 | singleflag : id << 8);
    }
    if (home == nowhere) return nowhere;
    step[homeend - 1] |= lastflag;
    const uint32_t hw = home >> 6;
    return rank[hw] + static_cast<uint32_t>(std::popcount(multi[hw] & ((uint64_t{2} << (home & 63)) - 1))) - 1;
}

// The walk in progress: the step table of one block and how far the walk
// has come. A caller may take the block in stretches between other work.
struct walkstate {
    uint32_t slot;   // slot whose byte comes next
    uint32_t left;   // bytes still to deliver
    uint32_t n;      // bytes of the block
    uint32_t home;   // id of the index's bucket
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
// is not the index. Each step waits for one read from far away; work the
// caller does between stretches runs alongside those reads.
template <typename Deliver>
void walksteps(uint32_t k, Deliver deliver)
{
    const uint32_t* const step = space.step;
    uint32_t* const next = space.next;
    const uint32_t n = pending.n;
    const uint32_t home = pending.home;
    uint32_t s = pending.slot;
    uint32_t ctx = pending.ctx;
    const uint32_t draws = k < pending.left ? k : k - 1;  // none after the last byte
    for (uint32_t j = 0; j < k; ++j) {
        const uint32_t w = step[s];
        if (w & lastflag) next[home] = exhausted;
        const uint32_t c = w & 0xFF;
        deliver(c);
        ctx = (ctx >> 8) | (c << 24);
        if (j == draws) break;
        const uint32_t ref = (w >> 8) & refmask;
        if (w & singleflag) {
            s = ref;
        } else {
            s = next[ref]++;
            if (s >= n) breakwalk();
        }
    }
    pending.slot = s;
    pending.ctx = ctx;
    pending.left -= k;
    if (pending.left == 0) {
        if (ctx != pending.index) breakwalk();
        pending.whole = true;
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
    if (n > maxstepblock) errorstop(err_corrupt);
    reserve(n);
    const uint32_t home = buildsteps(block, n, index, counts);
    if (home == nowhere || home == badcounts) errorstop(err_corrupt);
    pending = walkstate{space.next[home]++, n, n, home, index, index, false};
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
    if (k != 0) walksteps(k, [](uint32_t c) { putbyte(static_cast<int>(c)); });
}

void unsorttrans(const uint8_t* block, uint8_t* out, uint32_t n, uint32_t index, uint32_t* counts)
{
    if (n > maxstepblock) {
        tablewalk(block, out, n, index, counts);
        return;
    }
    unsort_start(block, n, index, counts);
    if (n == 0) return;
    if (out != nullptr) {
        walksteps(n, [&out](uint32_t c) { *out++ = static_cast<uint8_t>(c); });
    } else {
        walksteps(n, [](uint32_t c) { putbyte(static_cast<int>(c)); });
    }
}
