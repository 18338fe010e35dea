// Output stability: the compressed size and a 64-bit FNV-1a digest of the
// streams that vorn writes for a few corpus files and for a synthetic input
// of three blocks, against recorded values. The corpus files' streams are
// kept in the repository, so the check runs in a plain clone too. Work on
// speed may change how the programs run, never a byte they write: any
// change of the model, the transforms, the coder or the driver that moves a
// single output byte fails here, and each stream must still restore its
// input.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/program_support.h"
#include "tests/streams.h"

namespace {

// 32-bit xorshift: fixed arithmetic, so the input is the same everywhere.
struct xorshift {
    uint32_t s;
    uint32_t next()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
};

// 4,400,000 bytes, so two full blocks and a partial one, mixing what takes
// every path of the model: text from a small vocabulary (ring and lists),
// runs long and short (run numbers of many digits, runs across the block
// boundary at 2 MiB), and stretches of random bytes (the full table and its
// rescaling).
bytes multiblock()
{
    static const char* const words[] = {"order ", "context ", "ring ", "the ", "of ", "symbol\n", "list ",
                                        "block ", "a ", "range ", "coder ", "table ", "run ", "sort ", "index "};
    constexpr size_t n = 4400000;
    xorshift rng{0x2545F491u};
    bytes out;
    out.reserve(n + 70000);
    while (out.size() < n) {
        const uint32_t pick = rng.next() % 16;
        if (pick < 12) {
            for (uint32_t w = 0; w < 40; ++w) {
                const char* const word = words[rng.next() % 15];
                out.insert(out.end(), word, word + std::char_traits<char>::length(word));
            }
        } else if (pick < 14) {
            const uint32_t len = 1 + rng.next() % (pick == 12 ? 16 : 65536);
            out.insert(out.end(), len, static_cast<uint8_t>(rng.next()));
        } else {
            for (uint32_t i = rng.next() % 2048; i > 0; --i) out.push_back(static_cast<uint8_t>(rng.next()));
        }
    }
    out.resize(n);
    return out;
}

struct recorded {
    std::string name;
    size_t size;
    uint64_t digest;
};

void expect_stable(const bytes& input, const recorded& want)
{
    const bytes stream = runstream(true, input).out;
    EXPECT_EQ(stream.size(), want.size) << want.name;
    EXPECT_EQ(fnv1a64(stream), want.digest) << want.name << std::hex << ": digest 0x" << fnv1a64(stream);
    const bytes back = runstream(false, stream).out;
    EXPECT_EQ(firstdiff(back, input), -1) << want.name << ": first difference at this offset";
}

// The recorded streams and the inputs they restore; alice29.txt is kept in
// the repository, the others as their streams in tests/data/stable.
struct stablefile {
    recorded stream;
    size_t inputsize;
    uint64_t inputdigest;
};

const stablefile files[] = {
    {{"alice29.txt", 43893, 0xEA779886201BCDB1u}, 152089, 0xFDC9AA73646EC76Eu},
    {{"kennedy.xls", 106614, 0x6446927F8B9459CBu}, 1029744, 0x2656C1C4C118546Fu},
    {{"ptt5", 52544, 0x5B820B56D0DD6BF0u}, 513216, 0x5AD8CF8E0A59403Bu},
    {{"world192.txt", 556140, 0x8255F59A73FB7FB6u}, 2473400, 0x46D992AA3D6B4860u},
};

TEST(Stability, StoredStreamsUnchanged)
{
    for (const stablefile& f : files) {
        const std::string name = f.stream.name;
        const bytes stream = name == "alice29.txt" ? datafile("golden/alice29.txt.vn") : datafile("stable/" + name + ".vn");
        ASSERT_EQ(fnv1a64(stream), f.stream.digest) << name << ": the stored stream is not the recorded one";
        const bytes input = runstream(false, stream).out;
        EXPECT_EQ(input.size(), f.inputsize) << name;
        EXPECT_EQ(fnv1a64(input), f.inputdigest) << name << ": restored input differs from the recorded one";
        expect_stable(input, f.stream);
    }
}

TEST(Stability, CorpusStreamsUnchanged)
{
    if (!havecorpus()) GTEST_SKIP() << corpusmissing();
    for (const stablefile& f : files) expect_stable(corpusfile(f.stream.name), f.stream);
}

TEST(Stability, MultiBlockStreamUnchanged)
{
    const bytes input = multiblock();
    ASSERT_EQ(fnv1a64(input), 0x171EF75AD62E0F0Au) << std::hex << "generator changed: 0x" << fnv1a64(input);
    expect_stable(input, {"synthetic", 290254, 0x41F0291C04DC943Du});
}

}  // namespace
