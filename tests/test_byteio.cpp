// The input and output records: memory in place, a vector sink that is
// exact after each flush and capped by its limit, descriptors through their
// buffer, and the zero record as empty memory.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>

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
    EXPECT_EQ(out_flush(&out), 0);
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
    uint8_t buf[8];
    EXPECT_EQ(readfull(&in, buf, 8), 2u);
    EXPECT_EQ(buf[1], 4);
}

TEST(ByteIO, VectorSinkIsExactAfterFlushAndCapped)
{
    const struct {
        size_t limit, writes;
        int err;
        size_t kept;  // bytes in the vector after the flush
    } cases[] = {{0, 700000, 0, 700003}, {700003, 700000, 0, 700003}, {700002, 700000, EFBIG, 700002}, {10, 100, EFBIG, 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        bytes sink = {7, 8, 9};  // appended to
        byteout out{};
        out_attach_memory(&out, &sink, c.limit);
        for (size_t k = 0; k < c.writes; ++k) putbyte(&out, static_cast<int>(k));
        EXPECT_EQ(out_flush(&out), c.err);
        ASSERT_EQ(sink.size(), c.kept);
        EXPECT_EQ(sink[0], 7);
        EXPECT_EQ(sink[c.kept - 1], static_cast<uint8_t>(c.kept - 4)) << "bytes out of place";
        if (c.limit == 0) {
            putbytes(&out, sink.data(), 5);  // goes on after a flush
            out_flush(&out);
            EXPECT_EQ(sink.size(), c.kept + 5);
        }
        out_close(&out);
    }
}

// Through a pipe: more than one buffer's worth each way.
TEST(ByteIO, DescriptorsRoundTrip)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    bytes data(600000);
    for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<uint8_t>(k * 7);
    byteout out{};
    out_attach_fd(&out, fds[1]);
    bytein in{};
    in_attach_fd(&in, fds[0]);
    bytes got(data.size());
    size_t have = 0;
    for (size_t at = 0; at < data.size(); at += 60000) {
        putbytes(&out, data.data() + at, 60000);
        ASSERT_EQ(out_flush(&out), 0);
        have += readfull(&in, got.data() + have, 60000);
    }
    close(fds[1]);
    EXPECT_EQ(getbyte(&in), -1);
    EXPECT_EQ(in.overrun, 1u);
    EXPECT_EQ(got, data);
    close(fds[0]);
    in_close(&in);
    out_close(&out);
}
