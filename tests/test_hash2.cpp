// Context hash table: the hash, splitting exactly when the rule says, the
// first split's directory and moved entries, counters, the spill of span-1
// blocks, and random operations against a plain map.
#include "common/blocksize.h"
#include "transform/hash2.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <unordered_map>
#include <vector>

namespace {

// Owns a table for one test, so a failed assertion does not leak it.
struct table2 {
    hash2 t = {};
    table2() { initHash2(t); }
    ~table2() { freeHash2(t); }
};

uint32_t blockcount(hash2 t)
{
    uint32_t blocks = 0;
    for (uint32_t d = 0; d < 256; d += t[d]->span) ++blocks;
    return blocks;
}

// Every entry the table holds, spills included: the count must equal the
// number of insertions, so nothing is lost or duplicated.
uint64_t entrycount(hash2 t)
{
    uint64_t entries = 0;
    for (uint32_t d = 0; d < 256; d += t[d]->span) {
        const h2block* b = t[d];
        for (uint32_t s = 0; s < h2_slots; ++s) entries += (b->primary[s] != 0) + (b->overflow[s] != 0);
        if (b->spill != nullptr) entries += b->spill->size;
    }
    return entries;
}

// Checks the directory: aligned runs of `span` entries on one block.
void checkdirectory(hash2 t)
{
    for (uint32_t d = 0; d < 256;) {
        const h2block* b = t[d];
        ASSERT_NE(b, nullptr);
        ASSERT_TRUE(b->span >= 1 && (b->span & (b->span - 1)) == 0);
        ASSERT_EQ(d % b->span, 0u);
        for (uint32_t k = d; k < d + b->span; ++k) {
            ASSERT_EQ(t[k], b);
        }
        if (b->spill != nullptr) {
            ASSERT_EQ(b->span, 1);
        }
        d += b->span;
    }
}

// A key with the given directory index; the hash is linear over bit
// vectors, so adding keys whose index is a single bit steers any key there.
struct steer {
    uint32_t unit[8];
    steer()
    {
        for (uint32_t j = 0; j < 8; ++j) {
            uint32_t k = 1;
            while (h2place(k).d != 1u << j) k = k * 1103515245u + 12345u;
            unit[j] = k;
        }
    }
    uint32_t to(uint32_t key, uint32_t d) const
    {
        const uint32_t fix = h2place(key).d ^ d;
        for (uint32_t j = 0; j < 8; ++j) {
            if (fix >> j & 1) key ^= unit[j];
        }
        return key;
    }
};

}  // namespace

TEST(Hash2, HashOfKnownKeys)
{
    EXPECT_EQ(h2hash(0), 0u);
    EXPECT_EQ(h2place(0).d, 0u);
    EXPECT_EQ(h2place(0).home, 0u);
    EXPECT_EQ(h2place(0).step, 1u);
    EXPECT_EQ(h2hash(1), 0x4021u);
    EXPECT_EQ(h2place(1).d, 2u);
    EXPECT_EQ(h2place(1).home, 33u);
    EXPECT_EQ(h2place(1).step, 1u);
    EXPECT_EQ(h2hash(0x100), 0x402100u);
    EXPECT_EQ(h2place(0x100).d, 1u);
    EXPECT_EQ(h2place(0x100).home, 256u);
    EXPECT_EQ(h2place(0x100).step, 5u);
}

TEST(Hash2, InitAndFree)
{
    hash2 t = {};
    initHash2(t);
    for (uint32_t d = 0; d < 256; ++d) ASSERT_EQ(t[d], t[0]);
    EXPECT_EQ(t[0]->span, 256);
    EXPECT_EQ(t[0]->count, 0);
    EXPECT_EQ(t[0]->spill, nullptr);
    freeHash2(t);
    for (uint32_t d = 0; d < 256; ++d) ASSERT_EQ(t[d], nullptr);
    freeHash2(t);  // a second release finds nothing to do
}

TEST(Hash2, CountersAdvanceAndStopAtTheTop)
{
    table2 h;
    h2_insert(h.t, 0x12345678, 1000);
    EXPECT_EQ(h2_get_inc(h.t, 0x12345678), 1000);
    EXPECT_EQ(h2_get_inc(h.t, 0x12345678), 1001);
    EXPECT_EQ(h2_get_inc(h.t, 0x12345678), 1002);
    h2_insert(h.t, 0, 0);
    EXPECT_EQ(h2_get_inc(h.t, 0), 0);
    // A counter at the top stays there instead of carrying into the tag.
    h2_insert(h.t, 0xCAFE, h2_maxvalue - 1);
    EXPECT_EQ(h2_get_inc(h.t, 0xCAFE), static_cast<int32_t>(h2_maxvalue - 1));
    EXPECT_EQ(h2_get_inc(h.t, 0xCAFE), static_cast<int32_t>(h2_maxvalue));
    EXPECT_EQ(h2_get_inc(h.t, 0xCAFE), static_cast<int32_t>(h2_maxvalue));
    const h2hashed w = h2place(0xCAFE);
    EXPECT_EQ(h.t[w.d]->primary[w.home] >> 24, w.d);
    // A key whose home slot is empty is reported, and nothing is written.
    uint32_t missing = 1;
    while (h.t[0]->primary[h2place(missing).home] != 0 || h2place(missing).home == h2place(0xCAFE).home) ++missing;
    EXPECT_EQ(h2_get_inc(h.t, missing), -1);
    EXPECT_EQ(h.t[0]->primary[h2place(missing).home], 0u);
}

TEST(Hash2, PrimaryEntrySurvivesCollisionAndSplit)
{
    // a lives in the upper half of the directory and moves at the first
    // split; b shares its home slot and goes to the overflow area.
    const steer st;
    const uint32_t a = st.to(0x1234, 200);
    uint32_t b = 0x9999;
    while (h2place(b).home != h2place(a).home || b == a) ++b;
    table2 h;
    h2_insert(h.t, a, 10);
    h2_insert(h.t, b, 20);
    EXPECT_EQ(h.t[0]->count, 1);
    EXPECT_EQ(h2_get_inc(h.t, a), 10);
    EXPECT_EQ(h2_get_inc(h.t, b), 20);
    splitblock(h.t, 0);
    EXPECT_EQ(h2_get_inc(h.t, a), 11);
    EXPECT_EQ(h2_get_inc(h.t, b), 21);
}

TEST(Hash2, FirstSplit)
{
    table2 h;
    std::mt19937 rng(3);
    std::unordered_map<uint32_t, uint32_t> value;
    // Fill the one block without reaching its split.
    while (h.t[0]->count < 5000) {
        const uint32_t key = rng();
        if (!value.emplace(key, static_cast<uint32_t>(value.size())).second) continue;
        h2_insert(h.t, key, value[key]);
    }
    ASSERT_EQ(blockcount(h.t), 1u);
    h2block* const old = h.t[0];
    std::vector<uint32_t> primary(old->primary, old->primary + h2_slots);

    splitblock(h.t, 37);
    h2block* const nb = h.t[255];
    ASSERT_NE(nb, old);
    for (uint32_t d = 0; d < 128; ++d) ASSERT_EQ(h.t[d], old);
    for (uint32_t d = 128; d < 256; ++d) ASSERT_EQ(h.t[d], nb);
    EXPECT_EQ(old->span, 128);
    EXPECT_EQ(nb->span, 128);
    // Keyless entries of tag 128 and above moved into the same slot; the
    // rest stayed. Slots left free may since have taken a re-placed overflow
    // entry, but every entry now sits in the block of its own half.
    for (uint32_t s = 0; s < h2_slots; ++s) {
        const uint32_t t = primary[s];
        if (t >> 24 >= 128) {
            ASSERT_EQ(nb->primary[s], t) << s;
        } else if (t != 0) {
            ASSERT_EQ(old->primary[s], t) << s;
        }
        ASSERT_TRUE(old->primary[s] == 0 || old->primary[s] >> 24 < 128) << s;
        ASSERT_TRUE(nb->primary[s] == 0 || nb->primary[s] >> 24 >= 128) << s;
        ASSERT_TRUE(old->overflow[s] == 0 || old->overflow[s] >> 24 < 128) << s;
        ASSERT_TRUE(nb->overflow[s] == 0 || nb->overflow[s] >> 24 >= 128) << s;
    }
    // Overflow entries were placed again; counts restart from the placement.
    EXPECT_LE(old->count + nb->count, 5000);
    EXPECT_EQ(entrycount(h.t), value.size());
    for (const auto& [key, v] : value) ASSERT_EQ(h2_get_inc(h.t, key), static_cast<int32_t>(v));
}

TEST(Hash2, SplitsOnThe7170thOverflowEntry)
{
    table2 h;
    std::mt19937 rng(4);
    std::set<uint32_t> used;
    bool saw7169 = false;
    for (;;) {
        uint32_t key = rng();
        if (!used.insert(key).second) continue;
        h2block* const b = h.t[0];
        const uint16_t before = b->count;
        const bool tooverflow = b->primary[h2place(key).home] != 0;
        h2_insert(h.t, key, 0);
        if (h.t[0] == h.t[255]) {
            if (b->count == 7169) saw7169 = true;
            continue;
        }
        // The block split on this insertion: it was the 7,170th overflow one.
        EXPECT_TRUE(tooverflow);
        EXPECT_EQ(before, 7169);
        break;
    }
    EXPECT_TRUE(saw7169);
    EXPECT_EQ(blockcount(h.t), 2u);
    EXPECT_EQ(entrycount(h.t), used.size());
}

TEST(Hash2, FullBlockOfDistinctKeysSplitsToSpanOne)
{
    table2 h;
    std::mt19937 rng(5);
    std::vector<uint32_t> keys;
    std::unordered_map<uint32_t, bool> seen;
    seen.reserve(2200000);
    while (keys.size() < blocksize) {
        const uint32_t key = rng();
        if (seen.emplace(key, true).second) keys.push_back(key);
    }
    for (uint32_t i = 0; i < keys.size(); ++i) h2_insert(h.t, keys[i], i);
    checkdirectory(h.t);
    EXPECT_EQ(blockcount(h.t), 256u);
    for (uint32_t d = 0; d < 256; ++d) ASSERT_EQ(h.t[d]->span, 1);
    EXPECT_EQ(entrycount(h.t), keys.size());
    for (uint32_t i = 0; i < keys.size(); ++i) ASSERT_EQ(h2_get_inc(h.t, keys[i]), static_cast<int32_t>(i));
}

TEST(Hash2, SpanOneBlockSpillsAndKeepsEveryEntry)
{
    // 60,000 keys of one directory index: far beyond one block's primary and
    // overflow areas, so the span-1 block must spill.
    const steer st;
    table2 h;
    std::mt19937 rng(6);
    std::unordered_map<uint32_t, uint32_t> ref;
    std::vector<uint32_t> order;
    while (ref.size() < 60000) {
        const uint32_t key = st.to(rng(), 77);
        if (ref.emplace(key, static_cast<uint32_t>(ref.size()) * 3).second) {
            order.push_back(key);
            h2_insert(h.t, key, ref[key]);
        }
    }
    checkdirectory(h.t);
    const h2block* b = h.t[77];
    EXPECT_EQ(b->span, 1);
    ASSERT_NE(b->spill, nullptr);
    EXPECT_EQ(b->count, 7169);
    EXPECT_GT(b->spill->size, 30000u);
    EXPECT_EQ(entrycount(h.t), ref.size());
    for (int round = 0; round < 2; ++round) {
        for (const uint32_t key : order) ASSERT_EQ(h2_get_inc(h.t, key), static_cast<int32_t>(ref[key]++));
    }
}

TEST(Hash2, RandomOperationsAgreeWithMap)
{
    // Two key sources: spread over the whole directory, and crowded on a
    // few directory indices (so span-1 blocks spill while lookups go on).
    const steer st;
    for (int crowded = 0; crowded < 2; ++crowded) {
        table2 h;
        std::mt19937 rng(10 + crowded);
        std::unordered_map<uint32_t, uint32_t> ref;
        std::vector<uint32_t> keys;
        for (int op = 0; op < 400000; ++op) {
            if (keys.empty() || rng() % 3 == 0) {
                uint32_t key = rng();
                if (crowded) key = st.to(key, rng() % 3 * 50);
                const uint32_t value = rng() % 2000000;
                if (!ref.emplace(key, value).second) continue;
                keys.push_back(key);
                h2_insert(h.t, key, value);
            } else {
                const uint32_t key = keys[rng() % keys.size()];
                ASSERT_EQ(h2_get_inc(h.t, key), static_cast<int32_t>(ref[key]++));
            }
        }
        checkdirectory(h.t);
        EXPECT_EQ(entrycount(h.t), ref.size());
        EXPECT_GT(blockcount(h.t), 1u);
        for (const auto& [key, v] : ref) ASSERT_EQ(h2_get_inc(h.t, key), static_cast<int32_t>(v));
        if (crowded) {
            EXPECT_NE(h.t[0]->spill, nullptr);
        }
    }
}
