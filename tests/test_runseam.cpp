// The seam the compressor puts into an input whose run of one byte value
// would outgrow a run number: the stream ends before the block that could
// take the run past the encoder's split length, and the input goes on in a
// new stream with a fresh model. That length is lowered here to a few
// blocks (the real one is 8 GiB), so the seam is exercised in memory.
#include <gtest/gtest.h>

#include "tests/program_support.h"
#include "tests/streams.h"

namespace {

// Compresses with the seam at the given run length.
bytes splitat(const bytes& input, uint64_t run)
{
    streamhow how;
    how.splitrun = run;
    return runstream(true, input, how).out;
}

const uint64_t lowered = 3 * uint64_t{blocksize};

bytes cat(std::initializer_list<bytes> parts)
{
    bytes out;
    for (const bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(RunSeam, StreamsOfWholeBlocksWhereTheRunWouldOutgrowItsNumber)
{
    const bytes one(blocksize, 0);
    const bytes two(2 * size_t{blocksize}, 0);
    const bytes five(5 * size_t{blocksize}, 0);
    const bytes single = runstream(true, five).out;
    const bytes twosingle = runstream(true, two).out;
    // After two blocks of zeros the run holds 2 * (4 + 2^21) bytes; a third
    // block would pass 3 * 2^21. So streams of two blocks each.
    const bytes split = splitat(five, lowered);
    EXPECT_EQ(split, cat({twosingle, twosingle, runstream(true, one).out}));
    EXPECT_NE(split, single);
    EXPECT_EQ(runstream(false, split).out, five);

    // A run that fits stays one stream, byte for byte.
    EXPECT_EQ(splitat(two, lowered), twosingle);
}

TEST(RunSeam, OtherBytesAroundTheRunAndShortLastStreams)
{
    const bytes text = wordy(1000, 3);
    for (const size_t tail : {size_t{0}, size_t{1}, size_t{3}, size_t{4}, size_t{5}, size_t{1000}}) {
        SCOPED_TRACE(tail);
        // Text, a run of seven blocks' length, then a short tail: the seams
        // fall inside the run, and the last stream may be a raw tail alone.
        bytes input = text;
        input.insert(input.end(), 7 * size_t{blocksize}, 'z');
        input.insert(input.end(), text.begin(), text.begin() + static_cast<long>(tail));
        const bytes packed = splitat(input, lowered);
        EXPECT_EQ(firstdiff(runstream(false, packed).out, input), -1);
    }
}

}  // namespace
