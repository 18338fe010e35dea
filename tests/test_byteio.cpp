// The input and output records: memory read in place, a vector sink that is
// exact after each flush, and the zero record as empty memory.
#include <gtest/gtest.h>

#include "coder/byteio.h"
#include "tests/harness.h"

TEST(ByteIO, ZeroRecordsHoldNothing)
{
    bytein in{};
    EXPECT_EQ(in_peek(&in), -1);
    EXPECT_EQ(getbyte(&in), -1);
    EXPECT_EQ(in.overrun, 1u);
    byteout out{};
    for (int k = 0; k < 1000; ++k) putbyte(&out, k);
    out_flush(&out);
}

// The caller moves end on as bytes arrive; reads past it count and leave
// pos where it was.
TEST(ByteIO, MemoryInputReadsInPlaceAndGrows)
{
    const bytes data = {1, 2, 3, 4};
    bytein in{};
    in_attach_memory(&in, data.data(), 2);
    EXPECT_EQ(getbyte(&in), 1);
    EXPECT_EQ(getbyte(&in), 2);
    EXPECT_EQ(getbyte(&in), -1);
    EXPECT_EQ(in.overrun, 1u);
    in.end = data.data() + 4;
    EXPECT_EQ(in_peek(&in), 3);
    EXPECT_EQ(getbyte(&in), 3);
    EXPECT_EQ(getbyte(&in), 4);
}

TEST(ByteIO, VectorSinkIsExactAfterEachFlush)
{
    for (const size_t writes : {size_t{0}, size_t{1}, size_t{262144}, size_t{700000}}) {
        SCOPED_TRACE(writes);
        bytes sink = {7, 8, 9};  // appended to
        byteout out{};
        out_attach_memory(&out, &sink);
        for (size_t k = 0; k < writes; ++k) putbyte(&out, static_cast<int>(k));
        out_flush(&out);
        ASSERT_EQ(sink.size(), writes + 3);
        EXPECT_EQ(sink[0], 7);
        EXPECT_EQ(sink.back(), writes == 0 ? 9 : static_cast<uint8_t>(writes - 1)) << "bytes out of place";
        putbyte(&out, 5);  // goes on after a flush
        out_close(&out);   // drops what is not flushed
        EXPECT_EQ(sink.size(), writes + 3);
    }
}
