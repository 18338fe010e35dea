// Build of the step table, order by order.
//
// Slots are sorted by context, so the groups of one order split those of
// the order below: order 1 is the byte ranges (the counts), order 2 the
// pair groups (pair counts), order 3 the groups the layout needs. Each
// order comes from the one below through the byte ranges: taking the slots
// s in slot order and handing each the next slot t of the range of its byte
// c, the slots of c that lie in one group g of order k land on one run of
// slots of c's range, the group (c, g) of order k + 1, and in order of g.
// (t need not be the slot of the position after s, since equal contexts
// of order k + 1 may come from different contexts of order k, but it lies
// in the right group.) So the first slot that meets (c, g) marks where that
// group starts.
//
// The passes, all reading the block in order:
//  1. pair counts, which also check the counts against the block;
//  2. through the pair groups, the starts of the order-3 groups, as bits;
//  3. through the order-3 groups, the step words: the first slot of each
//     pair (group, byte) meets the first slot of the bucket it leads to
//     (again the next slot of the byte's range at that moment), which
//     becomes the pair's counter once a second slot shows that it needs one.
//  4. where they fit, the counters take the word of their first slot.
// Only the pair table (a few KiB for text) and the bit map (n / 8 bytes)
// take scattered writes, and both stay in the caches; the table and the
// counters are written in order, but for the rewrite of a pair's first
// word, which lies in the same group.
//
// Working storage is kept for the process and only grows, so the pages of
// a stream's 2 MiB blocks are faulted in once, not once per block.
#include "transform/steptable.h"

#include "coder/stop.h"
#include "transform/bigblock.h"

#include <bit>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t nowhere = 0xFFFFFFFF;

// Arrays of block size hold `cap` slots; the pair table 256 x 256 entries.
struct stepspace {
    uint32_t* word = nullptr;    // cap: the step table
    uint32_t* counter = nullptr; // cap/2 + 1: running slots of the counted buckets
    uint64_t* group = nullptr;   // cap/64 + 2: bit s marks the start of an order-3 group
    uint32_t* pair = nullptr;    // pair counts
    uint32_t cap = 0;
};

stepspace space;

constexpr size_t pairentries = 256 * 256;

void releasespace()
{
    std::free(space.word);
    std::free(space.counter);
    std::free(space.group);
    space.word = nullptr;
    space.counter = nullptr;
    space.group = nullptr;
    space.cap = 0;
}

// The step table, read at scattered places once per byte, is laid out in
// large pages; the others take ordinary pages, which are only resident once
// used (text uses a small part of the counters' room).
template <typename T>
T* take(size_t count, bool scattered)
{
    void* const p = scattered ? bigblock(count * sizeof(T)) : std::malloc(count * sizeof(T));
    if (p == nullptr) {
        releasespace();
        errorstop(err_workspace);
    }
    return static_cast<T*>(p);
}

void reserve(uint32_t n)
{
    if (space.pair == nullptr) space.pair = take<uint32_t>(pairentries, false);
    if (n <= space.cap) return;
    releasespace();
    space.word = take<uint32_t>(n, true);
    space.counter = take<uint32_t>(n / 2 + 1, false);
    space.group = take<uint64_t>(n / 64 + 2, false);
    space.cap = n;
}

inline bool bitat(const uint64_t* bits, uint32_t s)
{
    return (bits[s >> 6] >> (s & 63) & 1) != 0;
}

// The first set bit above s (there is one at n).
uint32_t nextbit(const uint64_t* bits, uint32_t s)
{
    ++s;
    uint32_t w = s >> 6;
    uint64_t m = bits[w] & (~uint64_t{0} << (s & 63));
    while (m == 0) m = bits[++w];
    return w * 64 + static_cast<uint32_t>(std::countr_zero(m));
}

}  // namespace

stepbuild buildsteptable(const uint8_t* L, uint32_t n, uint32_t index, const uint32_t* counts, steptable* table)
{
    reserve(n);

    // Pair counts over the bytes that occur only: 60 letters of text make a
    // table of 3,600 entries.
    uint8_t present[256];
    uint32_t np = 0;
    uint32_t column[256];  // rank of a present byte
    for (uint32_t v = 0; v < 256; ++v) {
        column[v] = np;
        if (counts[v] != 0) present[np++] = static_cast<uint8_t>(v);
    }
    uint32_t* const pair = space.pair;
    const uint32_t groups = np * np;

    // Pass 1. Slot s in the range of v holds a byte L[s] preceded by v: the
    // pair group (L[s], v) of the slot its byte leads to. Each range is
    // counted into four small tables in turn, so that a run of one byte
    // does not wait on its own count, and then moved into its column.
    uint32_t total[256] = {};  // bytes counted, by value
    uint32_t part[4][256] = {};  // cleared again for the present bytes after each range
    uint32_t s = 0;
    for (uint32_t j = 0; j < np; ++j) {
        const uint32_t end = s + counts[present[j]];
        for (; s + 4 <= end; s += 4) {
            ++part[0][L[s]];
            ++part[1][L[s + 1]];
            ++part[2][L[s + 2]];
            ++part[3][L[s + 3]];
        }
        for (; s < end; ++s) ++part[0][L[s]];
        for (uint32_t i = 0; i < np; ++i) {
            const uint32_t c = present[i];
            const uint32_t count = part[0][c] + part[1][c] + part[2][c] + part[3][c];
            part[0][c] = part[1][c] = part[2][c] = part[3][c] = 0;
            pair[i * np + j] = count;
            total[c] += count;
        }
    }
    // The counts must be L's histogram, or the byte ranges would overflow.
    // They add up to n, so it is enough that every byte they count is
    // there.
    for (uint32_t i = 0; i < np; ++i) {
        if (total[present[i]] != counts[present[i]]) return stepbuild::badcounts;
    }
    uint32_t range[256];  // first slot of each byte's range
    uint32_t r = 0;
    for (uint32_t v = 0; v < 256; ++v) {
        range[v] = r;
        r += counts[v];
    }

    // The index i3 i2 i1 i0 (nearest byte first) is the context of a bucket
    // reached from the order-3 group i2 i1 i0, which comes from the pair
    // group i1 i0 through byte i2.
    const uint32_t i3 = index >> 24, i2 = index >> 16 & 0xFF, i1 = index >> 8 & 0xFF, i0 = index & 0xFF;
    const uint32_t gindex = counts[i1] != 0 && counts[i0] != 0 ? column[i1] * np + column[i0] : nowhere;

    // Pass 2: a bit at the first slot of every order-3 group.
    const uint32_t words = n / 64 + 2;
    uint64_t* const group = space.group;
    std::memset(group, 0, words * sizeof(uint64_t));
    uint32_t next[256];
    uint32_t last[256];
    std::memcpy(next, range, sizeof next);
    std::memset(last, 0xFF, sizeof last);
    uint32_t gstart = nowhere;  // first slot of the group i2 i1 i0
    s = 0;
    for (uint32_t g = 0; g < groups; ++g) {
        const uint32_t before = next[i2];
        for (const uint32_t end = s + pair[g]; s < end; ++s) {
            const uint32_t c = L[s];
            const uint32_t t = next[c]++;
            if (last[c] != g) {
                last[c] = g;
                group[t >> 6] |= uint64_t{1} << (t & 63);
            }
        }
        if (g == gindex && next[i2] != before) gstart = before;
    }
    group[n >> 6] |= uint64_t{1} << (n & 63);  // the end closes the last group

    // Pass 3: the step words. A group's number is the count of group starts
    // up to its first slot. The first slot of a (group, byte) is written as
    // going straight to the first slot of its bucket; a second slot makes
    // the pair a counted one, and the first slot's word is rewritten.
    uint32_t* const word = space.word;
    uint32_t* const counter = space.counter;
    uint32_t head[256];  // first slot of the current pair of each byte
    std::memcpy(next, range, sizeof next);
    std::memset(last, 0xFF, sizeof last);
    std::memset(head, 0, sizeof head);
    uint32_t ids = 0;
    uint32_t g = 0;
    for (s = 0; s < n; ++s) {
        g += bitat(group, s);
        const uint32_t c = L[s];
        const uint32_t t = next[c]++;
        if (last[c] != g) {
            last[c] = g;
            head[c] = s;
            word[s] = c << 24 | step_exact | t;
        } else {
            uint32_t w = word[head[c]];
            if (w & step_exact) {
                counter[ids] = t - 1;
                w = c << 24 | ids++;
                word[head[c]] = w;
            }
            word[s] = w;
        }
    }

    // The index's bucket: led to by the bytes i3 of group i2 i1 i0, the
    // first of which holds the pair's word. It is always counted: the walk
    // starts by drawing from it.
    if (gstart == nowhere) return stepbuild::noindex;
    const uint32_t gend = nextbit(group, gstart);
    uint32_t homehead = nowhere;
    uint32_t size = 0;
    for (s = gstart; s < gend; ++s) {
        if (L[s] != i3) continue;
        if (size++ == 0) homehead = s;
    }
    if (size == 0) return stepbuild::noindex;
    if (word[homehead] & step_exact) {
        counter[ids] = word[homehead] & step_slotmask;
        word[homehead] = i3 << 24 | ids++;
    }
    const uint32_t home = word[homehead] & step_slotmask;
    table->word = word;
    table->first = counter[home];
    table->last = counter[home] + size - 1;
    table->home = home;
    table->counter = counter;
    table->entry = nullptr;

    // Counters with their slot's word, where they fit the room of the
    // running slots (n / 2 + 1 of them): spread out in place from the top.
    if (ids <= (n / 2 + 1) / 2) {
        for (uint32_t id = ids; id-- > 0;) {
            const uint32_t slot = counter[id];
            counter[2 * id] = slot;
            counter[2 * id + 1] = word[slot];
        }
        table->entry = counter;
    }
    return stepbuild::ok;
}
