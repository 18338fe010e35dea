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
//  2. through the pair groups, the starts of the order-3 groups, as marks;
//  3. through the order-3 groups, the step words: the first slot of each
//     pair (group, byte) meets the first slot of the bucket it leads to
//     (again the next slot of the byte's range at that moment), which
//     becomes the pair's counter once a second slot shows that it needs one.
//  4. where they fit, the counters take the word of their first slot.
// Only the pair table (a few KiB for text) takes scattered writes. The
// marks (a byte a slot) are written once each, in as many sequential
// streams as there are byte values, set or clear, so that pass 2 has no
// branch that the data decides and no read of what it writes; the table
// and the counters are written in order, but for the rewrite of a pair's
// first word, which lies in the same group.
//
#include "transform/steptable.h"

#include <cstring>

namespace {

constexpr uint32_t nowhere = 0xFFFFFFFF;

constexpr size_t pairentries = 256 * 256;

// Grows the storage to n slots. The old arrays are released first, and cap
// is 0 until all are held, so a stop leaves a record to be freed. The step
// table, read at scattered places once per byte, is laid out in large
// pages; the others take ordinary pages, which are only resident once used
// (text uses a small part of the counters' room).
void reserve(stepspace* space, uint32_t n)
{
    if (space->pair == nullptr) space->pair = takearray<uint32_t>(pairentries);
    if (n <= space->cap) return;
    space->cap = 0;
    space->word.reset();
    space->counter.reset();
    space->group.reset();
    space->word = takearray<uint32_t>(n, arraykind::scattered);
    space->counter = takearray<uint32_t>(n / 2 + 1);
    space->group = takearray<uint8_t>(n + 1);
    space->cap = n;
}

// The first mark above s (there is one at n).
uint32_t nextmark(const uint8_t* marks, uint32_t s)
{
    do ++s;
    while (marks[s] == 0);
    return s;
}

// The block, its bytes by rank, and the storage of one build.
struct building {
    uint32_t* word;     // the step table
    uint32_t* counter;  // the counters
    uint8_t* group;     // the group starts
    uint32_t* pair;     // the pair counts
    const uint8_t* L;
    uint32_t n;
    const uint32_t* counts;
    uint8_t present[256];  // the bytes that occur, in order
    uint32_t np;
    uint32_t column[256];  // rank of a present byte
    uint32_t range[256];   // first slot of each byte's range
    uint32_t ids;          // counters numbered so far
};

// Pass 1. Slot s in the range of v holds a byte L[s] preceded by v: the
// pair group (L[s], v) of the slot its byte leads to. Each range is
// counted into four small tables in turn, so that a run of one byte does
// not wait on its own count, and then moved into its column. Pair counts
// cover the bytes that occur only: 60 letters of text make a table of
// 3,600 entries. False when the counts are not L's histogram.
bool countpairs(building* b)
{
    b->np = 0;
    for (uint32_t v = 0; v < 256; ++v) {
        b->column[v] = b->np;
        if (b->counts[v] != 0) b->present[b->np++] = static_cast<uint8_t>(v);
    }
    const uint8_t* const L = b->L;
    const uint32_t np = b->np;
    uint32_t total[256] = {};  // bytes counted, by value
    uint32_t part[4][256] = {};  // cleared again for the present bytes after each range
    uint32_t s = 0;
    for (uint32_t j = 0; j < np; ++j) {
        const uint32_t end = s + b->counts[b->present[j]];
        for (; s + 4 <= end; s += 4) {
            ++part[0][L[s]];
            ++part[1][L[s + 1]];
            ++part[2][L[s + 2]];
            ++part[3][L[s + 3]];
        }
        for (; s < end; ++s) ++part[0][L[s]];
        for (uint32_t i = 0; i < np; ++i) {
            const uint32_t c = b->present[i];
            const uint32_t count = part[0][c] + part[1][c] + part[2][c] + part[3][c];
            part[0][c] = part[1][c] = part[2][c] = part[3][c] = 0;
            b->pair[i * np + j] = count;
            total[c] += count;
        }
    }
    // The counts must be L's histogram, or the byte ranges would overflow.
    // They add up to n, so it is enough that every byte they count is
    // there.
    for (uint32_t i = 0; i < np; ++i) {
        if (total[b->present[i]] != b->counts[b->present[i]]) return false;
    }
    uint32_t r = 0;
    for (uint32_t v = 0; v < 256; ++v) {
        b->range[v] = r;
        r += b->counts[v];
    }
    return true;
}

// Pass 2: a mark at the first slot of every order-3 group. Returns the first
// slot of the group i2 i1 i0 of the index i3 i2 i1 i0 (nearest byte
// first), the group whose bytes i3 lead to the index's bucket: it comes
// from the pair group i1 i0 through byte i2. nowhere if there is none.
uint32_t markgroups(building* b, uint32_t index)
{
    const uint32_t i2 = index >> 16 & 0xFF, i1 = index >> 8 & 0xFF, i0 = index & 0xFF;
    const uint32_t np = b->np;
    const uint32_t gindex = b->counts[i1] != 0 && b->counts[i0] != 0 ? b->column[i1] * np + b->column[i0] : nowhere;
    const uint32_t n = b->n;
    uint8_t* const group = b->group;
    uint32_t next[256];
    uint32_t last[256];
    std::memcpy(next, b->range, sizeof next);
    std::memset(last, 0xFF, sizeof last);
    uint32_t gstart = nowhere;
    uint32_t s = 0;
    for (uint32_t g = 0; g < np * np; ++g) {
        const uint32_t before = next[i2];
        for (const uint32_t end = s + b->pair[g]; s < end; ++s) {
            const uint32_t c = b->L[s];
            // Every slot t is met once, so its mark is written once, set
            // or clear, without a branch on which.
            const uint32_t t = next[c]++;
            group[t] = last[c] != g;
            last[c] = g;
        }
        if (g == gindex && next[i2] != before) gstart = before;
    }
    group[n] = 1;  // the end closes the last group
    return gstart;
}

// Pass 3: the step words. A group's number is the count of group starts
// up to its first slot. The first slot of a (group, byte) is written as
// going straight to the first slot of its bucket; a second slot makes the
// pair a counted one, and the first slot's word is rewritten.
void writesteps(building* b)
{
    uint32_t* const word = b->word;
    uint32_t* const counter = b->counter;
    const uint8_t* const group = b->group;
    const uint8_t* const L = b->L;
    const uint32_t n = b->n;
    uint32_t next[256];
    uint32_t last[256];
    uint32_t head[256];  // first slot of the current pair of each byte
    std::memcpy(next, b->range, sizeof next);
    std::memset(last, 0xFF, sizeof last);
    std::memset(head, 0, sizeof head);
    uint32_t ids = 0;
    uint32_t g = 0;
    for (uint32_t s = 0; s < n; ++s) {
        g += group[s];
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
    b->ids = ids;
}

// The index's bucket: led to by the bytes i3 of the group at gstart, the
// first of which holds the pair's word. It is always counted: the walk
// starts by drawing from it. Returns that first slot (the pair's head) and
// its bucket's size, 0 if there is none.
uint32_t counthome(building* b, uint32_t index, uint32_t gstart, uint32_t* homehead)
{
    const uint32_t i3 = index >> 24;
    const uint32_t gend = nextmark(b->group, gstart);
    uint32_t size = 0;
    for (uint32_t s = gstart; s < gend; ++s) {
        if (b->L[s] != i3) continue;
        if (size++ == 0) *homehead = s;
    }
    if (size == 0) return 0;
    uint32_t* const word = b->word;
    if (word[*homehead] & step_exact) {
        b->counter[b->ids] = word[*homehead] & step_slotmask;
        word[*homehead] = i3 << 24 | b->ids++;
    }
    return size;
}

// Pass 4, where they fit the room of the running slots (n / 2 + 1 of
// them): the counters take the word of their slot, spread out in place
// from the top.
void spreadentries(building* b)
{
    uint32_t* const counter = b->counter;
    for (uint32_t id = b->ids; id-- > 0;) {
        const uint32_t slot = counter[id];
        counter[2 * id] = slot;
        counter[2 * id + 1] = b->word[slot];
    }
}

// Pass 4, where they do not: each counted pair's head slot takes its
// running slot, and the pair's other slots a redirect to the head. The
// first slot met with a counter's number is its head; the counter then
// keeps the head's slot, flagged, for the slots after it.
void headcounters(building* b)
{
    constexpr uint32_t seen = 1u << 31;
    uint32_t* const word = b->word;
    uint32_t* const counter = b->counter;
    for (uint32_t s = 0; s < b->n; ++s) {
        const uint32_t w = word[s];
        if (w & step_exact) continue;
        const uint32_t id = w & step_slotmask;
        const uint32_t c = counter[id];
        if (c & seen) {
            word[s] = (w & 0xFF000000u) | step_redirect | (c & ~seen);
        } else {
            word[s] = (w & 0xFF000000u) | c;
            counter[id] = seen | s;
        }
    }
}

}  // namespace

stepbuild buildsteptable(stepspace* space, const uint8_t* L, uint32_t n, uint32_t index, const uint32_t* counts,
                         steptable* table)
{
    reserve(space, n);
    building b{};
    b.word = space->word.get();
    b.counter = space->counter.get();
    b.group = space->group.get();
    b.pair = space->pair.get();
    b.L = L;
    b.n = n;
    b.counts = counts;
    if (!countpairs(&b)) return stepbuild::badcounts;
    const uint32_t gstart = markgroups(&b, index);
    writesteps(&b);
    if (gstart == nowhere) return stepbuild::noindex;
    uint32_t homehead = nowhere;
    const uint32_t size = counthome(&b, index, gstart, &homehead);
    if (size == 0) return stepbuild::noindex;
    const uint32_t home = b.word[homehead] & step_slotmask;
    table->word = b.word;
    table->first = b.counter[home];
    table->last = b.counter[home] + size - 1;
    if (b.ids <= (n / 2 + 1) / 2) {
        spreadentries(&b);
        table->entry = b.counter;
        table->home = home;
    } else {
        headcounters(&b);
        table->entry = nullptr;
        table->home = homehead;
    }
    return stepbuild::ok;
}
