// Inverse sort transform by the context hash table.
//
// The slots of the transformed block L fall into nested ranges: by the
// nearest preceding byte v (counts[v] slots each), by the high half g of the
// context (group g), and by the whole context (one bucket per context value,
// its positions in block order). The first slot of every context's bucket
// goes into the context hash table; the walk then starts from the index, and
// each lookup hands out the next slot of the current context's bucket, whose
// byte is the next byte of the block.
//
// Against damaged input: counts are checked against L's real histogram
// (that bounds every index of the insertion pass), and every slot the walk
// draws is checked against n before L is read.
#include "transform/tablewalk.h"

#include "common/stop.h"
#include "transform/bigblock.h"
#include "transform/hash2.h"

#include <cstring>

namespace {

// Owns a context table for the length of one call.
struct tableowner {
    hash2 table = {};
    ~tableowner() { freeHash2(table); }
};

// Insertions are held back a few places after their home slot has been
// asked for, so that the table's cache misses overlap. They still reach the
// table in their original order.
struct insertqueue {
    static constexpr uint32_t depth = 8;
    uint32_t key[depth];
    uint32_t value[depth];
    uint32_t used = 0;
    uint32_t next = 0;

    void push(hash2 table, uint32_t k, uint32_t v)
    {
        const h2hashed w = h2place(k);
        const h2block* b = table[w.d];
        __builtin_prefetch(&b->primary[w.home]);
        __builtin_prefetch(&b->overflow[w.home]);
        if (used == depth) h2_insert(table, key[next], value[next]);
        else ++used;
        key[next] = k;
        value[next] = v;
        next = (next + 1) % depth;
    }
    void drain(hash2 table)
    {
        for (uint32_t i = depth - used; i < depth; ++i) {
            const uint32_t at = (next + i) % depth;
            h2_insert(table, key[at], value[at]);
        }
        used = 0;
    }
};

// Enters every context value of L once, with the first slot of its bucket.
// Leaves counts as the first slots of the byte ranges plus their sizes.
void entercontexts(const uint8_t* L, uint32_t n, uint32_t* counts, hash2 table)
{
    heaparray<uint32_t> paircount = takearray<uint32_t>(65536, arraykind::zeroed);
    uint32_t* const pc = paircount.get();

    // Pair counts: slot s in the range of v holds a byte L[s] preceded by v.
    uint32_t s = 0;
    for (uint32_t v = 0; v < 256; ++v) {
        for (const uint32_t end = s + counts[v]; s < end; ++s) ++pc[static_cast<uint32_t>(L[s]) << 8 | v];
    }
    // Row x of the pair counts sums to the number of x's in L; it must be
    // counts[x], or the byte-range pointers below would run out of L.
    for (uint32_t x = 0; x < 256; ++x) {
        uint32_t sum = 0;
        for (uint32_t v = 0; v < 256; ++v) sum += pc[x << 8 | v];
        if (sum != counts[x]) errorstop(err_corrupt);
    }

    heaparray<uint32_t> pairstart = takearray<uint32_t>(65536);
    uint32_t* const ps = pairstart.get();
    uint32_t r = n;
    for (uint32_t k = 65536; k-- > 0;) {
        r -= pc[k];
        ps[k] = r;
    }
    r = n;
    for (uint32_t v = 256; v-- > 0;) {
        r -= counts[v];
        counts[v] = r;
    }

    initHash2(table);
    insertqueue pending;
    heaparray<uint16_t> seenmark = takearray<uint16_t>(65536, arraykind::zeroed);
    uint16_t* const seen = seenmark.get();

    // Slot s of group g has a context with high half g; the slot t its byte
    // leads to has high half L[s]<<8 | (g >> 8), and the one after that high
    // half k = L[t]<<8 | L[s], low half g. Within one k the low halves g come
    // in increasing order, so pairstart[k] has passed exactly the slots of
    // the smaller contexts of k when a new one is met.
    s = 0;
    for (uint32_t g = 0; g < 65536; ++g) {
        const uint16_t marker = g == 0 ? 1 : static_cast<uint16_t>(g);
        for (const uint32_t end = s + pc[g]; s < end; ++s) {
            const uint32_t v = L[s];
            const uint32_t t = counts[v]++;
            const uint32_t k = static_cast<uint32_t>(L[t]) << 8 | v;
            if (seen[k] != marker) {
                seen[k] = marker;
                pending.push(table, k << 16 | g, ps[k]);
            }
            ++ps[k];
        }
        if (g == 0) std::memset(seen, 0, 65536 * sizeof(uint16_t));
    }
    pending.drain(table);
}

// The walk: one lookup per byte, each written to out as it is known.
// Returns the context after the last byte.
uint32_t walk(const uint8_t* L, uint8_t* out, uint32_t n, uint32_t index, hash2 table)
{
    uint32_t x = index;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t slot = static_cast<uint32_t>(h2_get_inc(table, x));
        if (slot >= n) errorstop(err_corrupt);
        const uint32_t c = L[slot];
        out[i] = static_cast<uint8_t>(c);
        x = (x >> 8) | (c << 24);
    }
    return x;
}

}  // namespace

void checkcounts(uint32_t n, const uint32_t* counts)
{
    // Counters live in 24 bits; no valid block comes near that.
    if (n > h2_maxvalue) errorstop(err_corrupt);
    uint64_t total = 0;
    for (uint32_t v = 0; v < 256; ++v) total += counts[v];
    if (total != n) errorstop(err_corrupt);
}

void tablewalk(const uint8_t* block, uint8_t* out, uint32_t n, uint32_t index, uint32_t* counts)
{
    checkcounts(n, counts);

    tableowner owner;
    entercontexts(block, n, counts, owner.table);

    if (walk(block, out, n, index, owner.table) != index) errorstop(err_corrupt);
}
