// The seam the compressor puts into an input whose run of one byte value
// would outgrow a run number: the stream ends before the block that could
// take the run past splitrun, and the input goes on in a new stream with a
// fresh model. splitrun is lowered here to a few blocks (the real one is
// 8 GiB), so the seam is exercised in memory.
#include <gtest/gtest.h>

#include "coder/byteio.h"
#include "model/model.h"
#include "programs/stream.h"
#include "tests/program_support.h"

namespace {

struct lowered {
    explicit lowered(uint64_t limit) { splitrun = limit; }
    ~lowered() { splitrun = maxrun; }
};

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
    const bytes single = through(compress_stream, five);
    const bytes twosingle = through(compress_stream, two);
    {
        // After two blocks of zeros the run holds 2 * (4 + 2^21) bytes; a
        // third block would pass 3 * 2^21. So streams of two blocks each.
        lowered guard(3 * uint64_t{blocksize});
        const bytes split = through(compress_stream, five);
        EXPECT_EQ(split, cat({through(compress_stream, two), through(compress_stream, two), through(compress_stream, one)}));
        EXPECT_NE(split, single);
        EXPECT_EQ(through(decompress_stream, split), five);

        // A run that fits stays one stream, byte for byte.
        EXPECT_EQ(through(compress_stream, two), twosingle);
    }
    EXPECT_EQ(through(compress_stream, five), single);
}

TEST(RunSeam, OtherBytesAroundTheRunAndShortLastStreams)
{
    lowered guard(3 * uint64_t{blocksize});
    const bytes text = wordy(1000, 3);
    for (const size_t tail : {size_t{0}, size_t{1}, size_t{3}, size_t{4}, size_t{5}, size_t{1000}}) {
        SCOPED_TRACE(tail);
        // Text, a run of seven blocks' length, then a short tail: the seams
        // fall inside the run, and the last stream may be a raw tail alone.
        bytes input = text;
        input.insert(input.end(), 7 * size_t{blocksize}, 'z');
        input.insert(input.end(), text.begin(), text.begin() + static_cast<long>(tail));
        const bytes packed = through(compress_stream, input);
        EXPECT_EQ(firstdiff(through(decompress_stream, packed), input), -1);
    }
}

}  // namespace
