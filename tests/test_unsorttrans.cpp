// Inverse transforms: worked examples, round trips through the forward
// transform (short blocks of every length, full 2 MiB blocks, blocks of
// changing sizes through kept working storage, and a block crafted so that
// one directory index of the hash table needs a spill), walks in
// stretches, damaged input, which must stop with 0x6601 without touching
// memory outside the block (the sanitizer builds check that part) and must
// give exactly the hash-table walk's bytes and stops.
#include "common/stop.h"
#include "common/blocksize.h"
#include "transform/hash2.h"
#include "transform/sorttrans.h"
#include "transform/stepchains.h"
#include "transform/steptable.h"
#include "transform/tablewalk.h"
#include "transform/unsorttrans.h"

#include <gtest/gtest.h>

#include "tests/transform_support.h"

#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <latch>
#include <random>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace {

bytes of(const std::string& s) { return bytes(s.begin(), s.end()); }

// The step table the inverse builds for input: whether its counters hold
// their slot's word (or live in the pairs' head slots), where its index's
// bucket lies, and whether side chains take its exact stretches.
struct tableshape {
    bool entries;
    uint32_t first;
    uint32_t last;
    bool chained;
};

tableshape shapeof(const bytes& input)
{
    bytes b = input;
    const uint32_t index = forward(b);
    uint32_t counts[256];
    histogram(b, counts);
    unsortspace space{};
    steptable table{};
    const uint32_t n = static_cast<uint32_t>(b.size());
    EXPECT_EQ(buildsteptable(&space.steps, b.data(), n, index, counts, &table), stepbuild::ok);
    stepchains chains{};
    const bool chained = table.entry != nullptr && walkchains(&space.sidechains, &table, n, &chains);
    return {table.entry != nullptr, table.first, table.last, chained};
}

}  // namespace

TEST(UnsortTrans, WorkedExamples)
{
    EXPECT_EQ(inverse(of("nnbaaa"), indexof("nana")), of("banana"));
    EXPECT_EQ(inverse(of("zzzzzzzzba"), indexof("zzza")), of("zzzzbzzzza"));
    EXPECT_EQ(inverse(of("zzzzzzzzab"), indexof("zzzb")), of("zzzzazzzzb"));
    EXPECT_EQ(inverse(of("bdbacrraaaa"), indexof("abra")), of("abracadabra"));
    EXPECT_EQ(inverse(of("bcda"), indexof("abcd")), of("abcd"));
    const bytes same(777, 0x41);
    EXPECT_EQ(inverse(same, indexof("AAAA")), same);
    // An empty block writes nothing and passes the check.
    EXPECT_EQ(inverse(bytes(), 0x12345678), bytes());
}

TEST(UnsortTrans, WalksInStretches)
{
    // The stepwise walk writes the same bytes in stretches of any size, and
    // a damaged block's walk ends at its stop with nothing more to write.
    std::mt19937 rng(5);
    unsortspace space{};
    for (int trial = 0; trial < 12; ++trial) {
        const bytes original = trial < 4 ? textblock(5 + rng() % 200000) : makeblock(trial % 4, 5 + rng() % 70000, rng);
        bytes t = original;
        const uint32_t index = forward(t);
        EXPECT_EQ(stretched(&space, t, index, rng, trial % 2 == 0 ? 8 : 5000), original) << "trial " << trial;
        EXPECT_TRUE(unsort_whole(&space));
    }

    bytes block = textblock(30000);
    const uint32_t index = forward(block);
    std::swap(block[100], block[20000]);
    EXPECT_EQ(stopcode([&] { stretched(&space, block, index, rng, 1000); }), 0x6601u);
    EXPECT_EQ(unsort_left(&space), 0u);
    EXPECT_FALSE(unsort_whole(&space));
}

TEST(UnsortTrans, RestoresEveryShortLength)
{
    std::mt19937 rng(21);
    unsortspace space{};  // kept, and grown, from length to length
    // Two of the four kinds at each length keeps the sanitizer run short.
    for (uint32_t n = 4; n <= 1500; ++n) {
        for (int kind = n % 2; kind < 4; kind += 2) {
            const bytes input = makeblock(kind, n, rng);
            ASSERT_EQ(roundtrip(input, &space), input) << "n " << n << " kind " << kind;
        }
    }
    for (uint32_t n = 1501; n <= 8000; n += 1 + rng() % 151) {
        for (int kind = 0; kind < 4; ++kind) {
            const bytes input = makeblock(kind, n, rng);
            ASSERT_EQ(roundtrip(input, &space), input) << "n " << n << " kind " << kind;
        }
    }
}

TEST(UnsortTrans, RestoresFullBlocks)
{
    constexpr uint32_t n = blocksize;
    std::mt19937 rng(22);
    bytes random(n);
    for (auto& c : random) c = static_cast<uint8_t>(rng());
    EXPECT_EQ(roundtrip(random), random);
    const bytes text = textblock(n);
    EXPECT_EQ(roundtrip(text), text);
}

TEST(UnsortTrans, RestoresFullCorpusBlocks)
{
    constexpr uint32_t n = blocksize;
    if (!havecorpus()) GTEST_SKIP() << corpusmissing();
    for (const char* name : {"bible.txt", "kennedy.xls", "ptt5"}) {
        const bytes input = corpusblock(name, n);
        ASSERT_EQ(input.size(), n) << name;
        EXPECT_EQ(roundtrip(input), input) << name;
    }
}

TEST(UnsortTrans, RestoresWithEitherKindOfCounter)
{
    // Text has few counted pairs, and its counters hold their slot's word;
    // random bytes repeated once have a counter for nearly every other slot,
    // which only fit as plain running slots. Both walks restore every size,
    // in stretches too. Sizes grow, so the counters are allocated anew for
    // each block, to their exact size (the sanitizer build checks bounds).
    std::mt19937 rng(25);
    EXPECT_TRUE(shapeof(textblock(150000)).entries);
    EXPECT_FALSE(shapeof(repeatedrandom(1 << 20, 1 << 19, rng)).entries);
    unsortspace space{};
    for (uint32_t n = 8; n <= 600000; n = n * 3 / 2 + rng() % 7) {
        for (int kind = 0; kind < 2; ++kind) {
            const bytes input = kind == 0 ? repeatedrandom(n, n / 2, rng) : textblock(n);
            ASSERT_EQ(roundtrip(input, &space), input) << "n " << n << " kind " << kind;
            bytes t = input;
            const uint32_t index = forward(t);
            ASSERT_EQ(stretched(&space, t, index, rng, 300), input) << "stretches, n " << n << " kind " << kind;
            ASSERT_TRUE(unsort_whole(&space));
        }
    }
}

TEST(UnsortTrans, IndexBucketOfOneOrAllSlots)
{
    // The walk starts in the index's bucket and spends it on its last slot:
    // a bucket of one slot is spent at the first step, and in a block of
    // one repeated byte the bucket is the whole block.
    std::mt19937 rng(26);
    for (int trial = 0; trial < 40; ++trial) {
        const bytes input = makeblock(0, 5 + rng() % 3000, rng);
        const tableshape shape = shapeof(input);
        EXPECT_EQ(shape.first, shape.last);
        ASSERT_EQ(roundtrip(input), input) << "trial " << trial;
    }
    const bytes same(5000, 'x');
    const tableshape shape = shapeof(same);
    EXPECT_EQ(shape.first, 0u);
    EXPECT_EQ(shape.last, 4999u);
    EXPECT_EQ(roundtrip(same), same);
}

TEST(UnsortTrans, KeepsStorageAcrossBlocksOfChangingSize)
{
    // The working storage grows to the largest block and is kept, also
    // through a damaged block that stops part way; blocks after either must
    // not see anything of the ones before. 2 MiB + 1000 is above the step
    // table's limit and takes the table walk.
    std::mt19937 rng(24);
    unsortspace space{};
    bytes random(blocksize);
    for (auto& c : random) c = static_cast<uint8_t>(rng());
    const bytes text = textblock(blocksize);
    const std::vector<std::pair<const bytes*, uint32_t>> blocks = {
        {&random, blocksize}, {&text, 5}, {&text, 1000}, {&text, blocksize}, {&random, 300000},
        {&text, 4}, {&random, blocksize}, {&text, 77777}, {&random, 17}};
    for (int round = 0; round < 2; ++round) {
        for (const auto& [data, n] : blocks) {
            const bytes input(data->begin(), data->begin() + n);
            ASSERT_EQ(roundtrip(input, &space), input) << "n " << n;
        }
        // A damaged block stops and leaves the storage as it was.
        EXPECT_EQ(stopcode([&] { inverse(bytes(text.begin(), text.begin() + 5000), 0x01020304, &space); }), 0x6601u);
    }
    bytes big(text);
    big.insert(big.end(), text.begin(), text.begin() + 1000);
    EXPECT_EQ(roundtrip(big, &space), big);
    // Freed storage, freed twice, is empty and serves again.
    freeunsortspace(&space);
    freeunsortspace(&space);
    EXPECT_EQ(roundtrip(text, &space), text);
}

TEST(UnsortTrans, RestoresBlockCrowdedOnOneDirectoryIndex)
{
    // 4-byte words whose contexts all hash to directory index 99: each word
    // written little-endian is the context of the position after it. Half a
    // million such contexts sit behind one span-1 block, far more than its
    // primary and overflow areas hold.
    uint32_t unit[8];
    for (uint32_t j = 0; j < 8; ++j) {
        uint32_t k = 1;
        while (h2place(k).d != 1u << j) k = k * 1103515245u + 12345u;
        unit[j] = k;
    }
    constexpr uint32_t n = blocksize;
    bytes input(n);
    std::mt19937 rng(23);
    std::unordered_set<uint32_t> crowd;
    for (uint32_t i = 0; i < n; i += 4) {
        uint32_t key = rng();
        const uint32_t fix = h2place(key).d ^ 99;
        for (uint32_t j = 0; j < 8; ++j) {
            if (fix >> j & 1) key ^= unit[j];
        }
        crowd.insert(key);
        for (uint32_t k = 0; k < 4; ++k) input[i + k] = static_cast<uint8_t>(key >> (8 * k));
    }
    ASSERT_GT(crowd.size(), 400000u);
    EXPECT_EQ(roundtrip(input), input);
    // The same block through the hash table's own walk.
    bytes b = input;
    const uint32_t index = forward(b);
    uint32_t counts[256];
    histogram(b, counts);
    bytes out(n);
    tablewalk(b.data(), out.data(), n, index, counts);
    EXPECT_EQ(out, input);
}

TEST(UnBWTrans, WorkedExamples)
{
    const bytes b = of("nnbaaa");
    uint32_t counts[256];
    bytes out(6);
    histogram(b, counts);
    unBWtrans(b.data(), out.data(), 6, 2, counts);
    EXPECT_EQ(out, of("banana"));
    // Afterwards counts holds running totals: bytes <= each value.
    for (uint32_t v = 0; v < 256; ++v) {
        const uint32_t expect = v < 'a' ? 0 : v < 'b' ? 3 : v < 'n' ? 4 : 6;
        ASSERT_EQ(counts[v], expect) << v;
    }
    histogram(b, counts);
    unBWtrans(b.data(), out.data(), 6, 3, counts);
    EXPECT_EQ(out, of("abanan"));

    const bytes one = of("Q");
    histogram(one, counts);
    unBWtrans(one.data(), out.data(), 1, 0, counts);
    EXPECT_EQ(out[0], 'Q');

    histogram(bytes(), counts);
    unBWtrans(nullptr, nullptr, 0, 0, counts);
    for (uint32_t v = 0; v < 256; ++v) ASSERT_EQ(counts[v], 0u);
}

TEST(Corrupt, CountsThatDoNotMatchAreRejected)
{
    const bytes b = of("nnbaaa");
    uint32_t counts[256];
    bytes out(6);
    unsortspace space{};
    const std::function<void(const uint8_t*, uint8_t*, uint32_t, uint32_t, uint32_t*)> calls[] = {
        [&](const uint8_t* block, uint8_t* to, uint32_t n, uint32_t index, uint32_t* c) {
            unsorttrans(&space, block, to, n, index, c);
        },
        unBWtrans,
    };
    for (const auto& call : calls) {
        // Too many, too few, and the right total in the wrong places.
        histogram(b, counts);
        counts['a'] += 1;
        EXPECT_EQ(stopcode([&] { call(b.data(), out.data(), 6, 2, counts); }), 0x6601u);
        histogram(b, counts);
        counts['n'] -= 1;
        EXPECT_EQ(stopcode([&] { call(b.data(), out.data(), 6, 2, counts); }), 0x6601u);
        histogram(b, counts);
        counts['n'] -= 2;
        counts['z'] += 2;
        EXPECT_EQ(stopcode([&] { call(b.data(), out.data(), 6, 2, counts); }), 0x6601u);
        histogram(b, counts);
        counts[0] = 0xFFFFFFFFu;  // a total that wraps round to n
        counts[1] = 1;
        EXPECT_EQ(stopcode([&] { call(b.data(), out.data(), 6, 2, counts); }), 0x6601u);
    }
    histogram(b, counts);
    EXPECT_EQ(stopcode([&] { unBWtrans(b.data(), out.data(), 6, 6, counts); }), 0x6601u);
    histogram(b, counts);
    EXPECT_EQ(stopcode([&] { unBWtrans(b.data(), out.data(), 6, 0xFFFFFFFFu, counts); }), 0x6601u);
}

TEST(Corrupt, WrongIndexOrDamagedBlockStops)
{
    // A wrong index must never pass, and damaged blocks either restore some
    // block that ends in the index or stop; nothing is read out of bounds.
    // (Some other indexes are genuine: nnbaaa with index nanb restores
    // aananb, whose transform is nnbaaa too.)
    EXPECT_EQ(stopcode([] { inverse(of("nnbaaa"), indexof("nanx")); }), 0x6601u);
    EXPECT_EQ(stopcode([] { inverse(of("zzzzzzzzba"), indexof("zzzq")); }), 0x6601u);

    std::mt19937 rng(31);
    const bytes text = textblock(20000);
    int stops = 0;
    for (int trial = 0; trial < 1200; ++trial) {
        const uint32_t n = 1 + rng() % (trial < 800 ? 64 : 4000);
        bytes block;
        uint32_t index = rng();
        if (trial % 3 == 0) {
            block.resize(n);
            for (auto& c : block) c = static_cast<uint8_t>(rng() % (1 + rng() % 256));
        } else {
            const size_t at = rng() % (text.size() - n);
            bytes input(text.begin() + static_cast<std::ptrdiff_t>(at), text.begin() + static_cast<std::ptrdiff_t>(at + n));
            if (n < 4) input.resize(4, 'x');
            block = input;
            const uint32_t real = forward(block);
            if (trial % 3 == 1) {
                // True index, block with two bytes swapped (same histogram).
                index = real;
                std::swap(block[rng() % block.size()], block[rng() % block.size()]);
            }
        }
        const unsigned code = stopcode([&] {
            const bytes out = inverse(block, index);
            // A walk that passes the check ends in the index.
            if (out.size() >= 4) {
                EXPECT_EQ(indexof(reinterpret_cast<const char*>(out.data() + out.size() - 4)), index);
            }
        });
        ASSERT_TRUE(code == 0 || code == 0x6601u) << code;
        stops += code != 0;
    }
    EXPECT_GT(stops, 600);
}

TEST(Corrupt, RandomFullBlockStops)
{
    constexpr uint32_t n = blocksize;
    std::mt19937 rng(32);
    bytes block(n);
    for (auto& c : block) c = static_cast<uint8_t>(rng() % 64);
    EXPECT_EQ(stopcode([&] { inverse(block, rng()); }), 0x6601u);
}

namespace {

enum class walkby { steps, table };

// What an inverse wrote, and how it ended: unsorttrans (through space, or
// storage of its own) or the hash table's walk.
partial restored(walkby route, const bytes& block, uint32_t index, unsortspace* space = nullptr)
{
    const uint32_t n = static_cast<uint32_t>(block.size());
    uint32_t histo[256];
    histogram(block, histo);
    unsortspace own{};
    return writtenprefix(n, [&](uint8_t* out) {
        uint32_t counts[256];
        std::copy(histo, histo + 256, counts);
        if (route == walkby::table) tablewalk(block.data(), out, n, index, counts);
        else unsorttrans(space != nullptr ? space : &own, block.data(), out, n, index, counts);
    });
}

// A block the step walk restores, the table walk restores alike, with the
// same bytes; where the step walk stops, it has delivered what the table
// walk delivered up to that point. (The table walk also lets through some
// damaged blocks in which the index's context is drawn once too often; the
// step walk stops on those.)
void expect_agrees(const partial& fast, const partial& table, int trial)
{
    ASSERT_TRUE(fast.code == 0 || fast.code == 0x6601u) << "trial " << trial;
    if (fast.code == 0) {
        ASSERT_EQ(fast, table) << "trial " << trial;
        return;
    }
    ASSERT_LE(fast.written.size(), table.written.size()) << "trial " << trial;
    ASSERT_TRUE(std::equal(fast.written.begin(), fast.written.end(), table.written.begin())) << "trial " << trial;
}

// Both walks over block, which must agree; returns the step walk's.
partial expect_agrees(const bytes& block, uint32_t index, unsortspace* space, int trial)
{
    const partial fast = restored(walkby::steps, block, index, space);
    expect_agrees(fast, restored(walkby::table, block, index), trial);
    return fast;
}

}  // namespace

TEST(Corrupt, AgreesWithTheTableWalk)
{
    // Damaged blocks whose index is a context of the block, so that the step
    // walk runs and may meet a draw beyond the block part way: small
    // alphabets, true transforms with bytes swapped, and true blocks with the
    // context of another position as the index.
    std::mt19937 rng(33);
    const bytes text = textblock(60000);
    unsortspace space{};
    int stopped = 0, passed = 0;
    for (int trial = 0; trial < 1500; ++trial) {
        const uint32_t n = 1 + rng() % (trial < 1000 ? 80 : 6000);
        bytes block(n);
        uint32_t index;
        if (trial % 3 == 0) {
            const uint32_t alphabet = 1 + rng() % 4;
            for (auto& c : block) c = static_cast<uint8_t>('a' + rng() % alphabet);
            index = 0;
            for (int k = 0; k < 4; ++k) index = index << 8 | block[rng() % n];
        } else {
            const size_t at = rng() % (text.size() - n - 4);
            block.assign(text.begin() + static_cast<std::ptrdiff_t>(at), text.begin() + static_cast<std::ptrdiff_t>(at + std::max<uint32_t>(n, 4)));
            const bytes input = block;
            index = forward(block);
            if (trial % 3 == 1) {
                for (uint32_t k = 1 + rng() % 3; k > 0; --k) std::swap(block[rng() % block.size()], block[rng() % block.size()]);
            } else {
                const uint32_t p = 4 + rng() % (static_cast<uint32_t>(input.size()) - 3);
                index = indexof(reinterpret_cast<const char*>(input.data() + p - 4));
            }
        }
        const partial fast = expect_agrees(block, index, &space, trial);
        stopped += fast.code != 0 && !fast.written.empty();
        passed += fast.code == 0;
    }
    // Both kinds of ending occur, and many stops come part way.
    EXPECT_GT(stopped, 200);
    EXPECT_GT(passed, 100);

    // The same for blocks whose counters are plain running slots: random
    // bytes repeated once, transformed, with bytes swapped.
    stopped = 0;
    for (int trial = 0; trial < 300; ++trial) {
        const uint32_t n = 16 + rng() % 5000;
        const bytes input = repeatedrandom(n, n / 2, rng);
        bytes block = input;
        const uint32_t index = forward(block);
        for (uint32_t k = 1 + rng() % 3; k > 0; --k) std::swap(block[rng() % n], block[rng() % n]);
        const partial fast = expect_agrees(block, index, &space, trial);
        stopped += fast.code != 0 && !fast.written.empty();
    }
    EXPECT_GT(stopped, 100);
}

TEST(Corrupt, DamagedFullRandomBlock)
{
    // A 2 MiB block of random bytes, nearly every context a bucket of one
    // slot, with two bytes swapped: the step walk stops cleanly, having
    // delivered what the table walk delivers up to there.
    constexpr uint32_t n = blocksize;
    std::mt19937 rng(34);
    bytes input(n);
    for (auto& c : input) c = static_cast<uint8_t>(rng());
    bytes block = input;
    const uint32_t index = forward(block);
    std::swap(block[1000], block[n - 1000]);
    EXPECT_EQ(expect_agrees(block, index, nullptr, 0).code, 0x6601u);
}

TEST(StepWalk, EachLayoutAgreesWithTheTableWalk)
{
    // Blocks that drive each walk: side chains through the exact steps of
    // random bytes, counters in head slots for contexts that occur twice or
    // three times, counters with words for 20 times and text. Each restores
    // its input whole and in stretches that end inside chains, and with
    // bytes swapped stops where the table walk's bytes say it may.
    struct blockcase {
        const char* name;
        uint32_t period;  // random bytes of this period; 0: text
        bool entries;
        bool chained;
    };
    constexpr uint32_t n = 300000;
    const blockcase cases[] = {
        {"random", n, true, true},
        {"twice", n / 2, false, false},
        {"three times", n / 3, false, false},
        {"twenty times", n / 20, true, false},
        {"text", 0, true, false},
    };
    std::mt19937 rng(41);
    unsortspace space{};
    for (const blockcase& c : cases) {
        const bytes input = c.period != 0 ? repeatedrandom(n, c.period, rng) : textblock(n);
        const tableshape shape = shapeof(input);
        EXPECT_EQ(shape.entries, c.entries) << c.name;
        EXPECT_EQ(shape.chained, c.chained) << c.name;
        bytes block = input;
        const uint32_t index = forward(block);
        const partial table = restored(walkby::table, block, index);
        ASSERT_EQ(table, (partial{0, input})) << c.name;
        EXPECT_EQ(restored(walkby::steps, block, index, &space), table) << c.name;
        EXPECT_EQ(stretched(&space, block, index, rng, 100), input) << c.name;
        EXPECT_TRUE(unsort_whole(&space)) << c.name;

        int stopped = 0;
        for (int trial = 0; trial < 6; ++trial) {
            bytes damaged = block;
            const uint32_t a = rng() % n;
            uint32_t b = rng() % n;
            while (damaged[b] == damaged[a]) b = rng() % n;
            std::swap(damaged[a], damaged[b]);
            const partial fast = expect_agrees(damaged, index, &space, trial);
            stopped += fast.code != 0 && !fast.written.empty();
        }
        EXPECT_GE(stopped, 3) << c.name;
    }
}
