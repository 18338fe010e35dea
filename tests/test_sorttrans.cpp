// Forward sort transform: worked examples, and agreement with the plain
// definition (a stable sort of positions by their 32-bit cyclic context) on
// random and structured blocks of every length from 4 to a few thousand and
// on 2 MiB blocks.
#include "common/stop.h"
#include "transform/sorttrans.h"

#include <gtest/gtest.h>

#include "tests/transform_support.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

uint32_t context(const bytes& b, uint32_t i)
{
    const uint32_t n = static_cast<uint32_t>(b.size());
    auto at = [&](uint32_t back) { return static_cast<uint32_t>(b[(i + n - back % n) % n]); };
    return at(1) << 24 | at(2) << 16 | at(3) << 8 | at(4);
}

// The definition, written the slow way.
bytes reference(const bytes& b)
{
    std::vector<uint32_t> pos(b.size());
    std::iota(pos.begin(), pos.end(), 0u);
    std::stable_sort(pos.begin(), pos.end(), [&](uint32_t x, uint32_t y) { return context(b, x) < context(b, y); });
    bytes out;
    for (const uint32_t p : pos) out.push_back(b[p]);
    return out;
}

// The same for large blocks: sort (context, position) pairs.
bytes bigreference(const bytes& b)
{
    const uint32_t n = static_cast<uint32_t>(b.size());
    std::vector<uint64_t> key(n);
    uint32_t e = context(b, 0);
    for (uint32_t i = 0; i < n; ++i) {
        key[i] = static_cast<uint64_t>(e) << 32 | i;
        e = (e >> 8) | static_cast<uint32_t>(b[i]) << 24;
    }
    std::sort(key.begin(), key.end());
    bytes out(n);
    for (uint32_t s = 0; s < n; ++s) out[s] = b[static_cast<uint32_t>(key[s])];
    return out;
}

struct result {
    std::string block;
    std::string index;
};

result transform(const std::string& s)
{
    std::string b = s;
    uint8_t index[4];
    sortspace space{};
    EXPECT_EQ(sorttrans(&space, reinterpret_cast<uint8_t*>(b.data()), static_cast<uint32_t>(b.size()), index), b.size());
    return {b, std::string(reinterpret_cast<const char*>(index), 4)};
}



}  // namespace

TEST(SortTrans, WorkedExamples)
{
    EXPECT_EQ(transform("banana").block, "nnbaaa");
    EXPECT_EQ(transform("banana").index, "nana");
    // Equal contexts keep block order, whatever the bytes.
    EXPECT_EQ(transform("zzzzbzzzza").block, "zzzzzzzzba");
    EXPECT_EQ(transform("zzzzbzzzza").index, "zzza");
    EXPECT_EQ(transform("zzzzazzzzb").block, "zzzzzzzzab");
    EXPECT_EQ(transform("zzzzazzzzb").index, "zzzb");
    EXPECT_EQ(transform("abracadabra").block, "bdbacrraaaa");
    EXPECT_EQ(transform("abracadabra").index, "abra");
    // Exactly 4 bytes: every context wraps around the whole block.
    EXPECT_EQ(transform("abcd").block, "bcda");
    EXPECT_EQ(transform("abcd").index, "abcd");
    const std::string same(1000, '\xE7');
    EXPECT_EQ(transform(same).block, same);
    EXPECT_EQ(transform(same).index, std::string(4, '\xE7'));
}

TEST(SortTrans, MatchesDefinitionAtEveryShortLength)
{
    std::mt19937 rng(7);
    sortspace space{};  // kept, and grown, from length to length
    for (uint32_t n = 4; n <= 1200; ++n) {
        for (int kind = 0; kind < 4; ++kind) {
            const bytes input = makeblock(kind, n, rng);
            bytes b = input;
            uint8_t index[4];
            sorttrans(&space, b.data(), n, index);
            ASSERT_EQ(b, reference(input)) << "n " << n << " kind " << kind;
            ASSERT_TRUE(std::equal(index, index + 4, input.end() - 4)) << "n " << n;
        }
    }
}

TEST(SortTrans, MatchesDefinitionOnLongerBlocks)
{
    std::mt19937 rng(8);
    sortspace space{};
    const bytes text = textblock(150000);
    for (uint32_t n = 1201; n <= 6000; n += 1 + rng() % 97) {
        for (int kind = 0; kind < 5; ++kind) {
            bytes input;
            if (kind < 4) {
                input = makeblock(kind, n, rng);
            } else {
                const size_t at = rng() % (text.size() - n);
                input.assign(text.begin() + static_cast<std::ptrdiff_t>(at), text.begin() + static_cast<std::ptrdiff_t>(at + n));
            }
            bytes b = input;
            uint8_t index[4];
            sorttrans(&space, b.data(), n, index);
            ASSERT_EQ(b, bigreference(input)) << "n " << n << " kind " << kind;
        }
    }
}

// A full block transforms as the definition says, and its index area holds
// its last four bytes.
static void expect_definition(const bytes& input, sortspace* space)
{
    const uint32_t n = static_cast<uint32_t>(input.size());
    bytes b = input;
    uint8_t index[4];
    EXPECT_EQ(sorttrans(space, b.data(), n, index), n);
    EXPECT_EQ(b, bigreference(input));
    EXPECT_TRUE(std::equal(index, index + 4, input.end() - 4));
}

TEST(SortTrans, MatchesDefinitionOnFullBlocks)
{
    constexpr uint32_t n = blocksize;
    std::mt19937 rng(9);
    bytes random(n);
    for (auto& c : random) c = static_cast<uint8_t>(rng());
    sortspace space{};
    for (const bytes& input : {random, textblock(n)}) expect_definition(input, &space);
    // Freed storage, freed twice, is empty and serves again.
    freesortspace(&space);
    freesortspace(&space);
    expect_definition(random, &space);
}

TEST(SortTrans, MatchesDefinitionOnFullCorpusBlocks)
{
    constexpr uint32_t n = blocksize;
    if (!havecorpus()) GTEST_SKIP() << corpusmissing();
    sortspace space{};
    for (const char* name : {"bible.txt", "ptt5"}) expect_definition(corpusblock(name, n), &space);
}

TEST(SortTrans, FullBlockSortingStubStops)
{
    uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t index[4];
    EXPECT_EQ(stopcode([&] { BWtrans(block, 8, index); }), 0x6603u);
}
