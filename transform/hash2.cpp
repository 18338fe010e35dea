// Context hash table: insertion, splitting, the spill of span-1 blocks, and
// release. Lookup is inline in the header.
#include "transform/hash2.h"

#include "common/stop.h"
#include "transform/bigblock.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>

namespace {

h2block* newblock()
{
    return takearray<h2block>(1, arraykind::zeroed, err_hashblock).release();
}

// ---- spill -------------------------------------------------------------

// Merges the unsorted tail into the sorted part. The tail is sorted in a
// copy, then both runs are merged from the back into the item array.
void settle(h2spill* sp)
{
    const uint32_t tail = sp->size - sp->sorted;
    if (tail == 0) return;
    const heaparray<h2pair> copy = takearray<h2pair>(tail, arraykind::plain, err_hashblock);
    h2pair* const item = sp->item;
    std::memcpy(copy.get(), item + sp->sorted, tail * sizeof(h2pair));
    std::sort(copy.get(), copy.get() + tail, [](const h2pair& a, const h2pair& b) { return a.key < b.key; });
    uint32_t i = sp->sorted;  // items of the sorted run not yet placed
    uint32_t j = tail;        // items of the copy not yet placed
    uint32_t k = sp->size;
    while (j > 0) {
        if (i > 0 && item[i - 1].key > copy[j - 1].key) {
            item[--k] = item[--i];
        } else {
            item[--k] = copy[--j];
        }
    }
    sp->sorted = sp->size;
}

void spilladd(h2block* b, uint32_t key, uint32_t tagged)
{
    if (b->spill == nullptr) b->spill = takearray<h2spill>(1, arraykind::zeroed, err_hashblock).release();
    h2spill* const sp = b->spill;
    if (sp->size == sp->cap) {
        // Modest growth: a spill only exists for skewed blocks, where memory
        // matters more than the cost of an occasional reallocation.
        const uint32_t cap = sp->cap + sp->cap / 4 + 4096;
        void* const p = std::realloc(sp->item, static_cast<size_t>(cap) * sizeof(h2pair));
        if (p == nullptr) errorstop(err_hashblock);
        sp->item = static_cast<h2pair*>(p);
        sp->cap = cap;
    }
    sp->item[sp->size++] = {key, tagged};
    // Bounded tail, merged geometrically: total merge work stays linear in the
    // number of entries times a small factor.
    if (sp->size - sp->sorted >= std::max<uint32_t>(4096, sp->sorted / 4)) settle(sp);
}

// Steps 2 to 4 of an insertion: puts the tagged value of key into the block
// now serving its directory index, splitting that block when its overflow
// count passes the limit.
void place(hash2 table, uint32_t key, uint32_t tagged)
{
    const h2hashed w = h2place(key);
    h2block* const b = table[w.d];
    if (b->primary[w.home] == 0) {
        b->primary[w.home] = tagged;
        return;
    }
    if (b->count > h2_splitcount && b->span == 1) {
        spilladd(b, key, tagged);
        return;
    }
    uint32_t slot = w.home;
    while (b->overflow[slot] != 0) slot = (slot + w.step) & h2_slotmask;
    b->overflow[slot] = tagged;
    b->overflow_key[slot] = key;
    if (b->count++ > h2_splitcount) splitblock(table, w.d);
}

}  // namespace

uint32_t* h2_spillfind(h2spill* sp, uint32_t key)
{
    if (sp->size != sp->sorted) settle(sp);
    h2pair* const end = sp->item + sp->size;
    h2pair* const p = std::lower_bound(sp->item, end, key, [](const h2pair& a, uint32_t k) { return a.key < k; });
    return p != end && p->key == key ? &p->value : nullptr;
}

void initHash2(hash2 table)
{
    h2block* const b = newblock();
    b->span = 256;
    for (uint32_t d = 0; d < 256; ++d) table[d] = b;
}

void h2_insert(hash2 table, uint32_t key, uint32_t value)
{
    assert(value <= h2_maxvalue);
    const uint32_t d = h2place(key).d;
    place(table, key, d << 24 | (value + 1));
}

void splitblock(hash2 table, uint32_t d)
{
    h2block* const o = table[d];
    assert(o->span >= 2 && o->spill == nullptr);
    h2block* const nb = newblock();
    const uint16_t s = o->span / 2;
    o->span = s;
    nb->span = s;
    o->count = 0;
    nb->count = 0;
    const uint32_t u = (d & ~(s - 1u)) | s;
    for (uint32_t k = u; k < u + s; ++k) table[k] = nb;

    // Keyless entries of the upper half keep their slot in the new block.
    const uint32_t upper = u << 24;
    for (uint32_t slot = 0; slot < h2_slots; ++slot) {
        const uint32_t t = o->primary[slot];
        if (t >= upper) {
            nb->primary[slot] = t;
            o->primary[slot] = 0;
        }
    }

    // Keyed entries are placed again from scratch: they may now find their
    // home slot free, and re-insertion can split a half at once.
    const heaparray<uint32_t> saved = takearray<uint32_t>(2 * h2_slots, arraykind::plain, err_hashblock);
    uint32_t* const value = saved.get();
    uint32_t* const key = value + h2_slots;
    std::memcpy(value, o->overflow, sizeof o->overflow);
    std::memcpy(key, o->overflow_key, sizeof o->overflow_key);
    std::memset(o->overflow, 0, sizeof o->overflow);
    for (uint32_t slot = 0; slot < h2_slots; ++slot) {
        if (value[slot] != 0) place(table, key[slot], value[slot]);
    }
}

void freeHash2(hash2 table)
{
    for (uint32_t d = 0; d < 256;) {
        h2block* const b = table[d];
        if (b == nullptr) {
            ++d;
            continue;
        }
        const uint32_t span = b->span;
        for (uint32_t k = d; k < d + span && k < 256; ++k) table[k] = nullptr;
        if (b->spill != nullptr) {
            std::free(b->spill->item);
            std::free(b->spill);
        }
        std::free(b);
        d += span != 0 ? span : 1;
    }
}
