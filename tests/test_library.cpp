// The library's interface (vorn.h) on everything but the golden streams:
// the status of every kind of bad input and bad call, the room that
// compression can take, and streams running in several threads at once.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/program_support.h"
#include "tests/streams.h"

namespace {

TEST(Library, ReportsEveryKindOfBadInput)
{
    const bytes small = textblock(5000);
    const bytes two = textblock(blocksize + 70000);
    const bytes stream = packed(small);
    const bytes twostream = packed(two);
    bytes flipped = twostream;
    flipped[twostream.size() - 3000] ^= 0x5A;  // inside the second block
    const bytes emptystream = hexbytes("00 80 00 00 00");
    struct bad {
        const char* name;
        bytes input;
        int status;
        bytes out;  // what comes out first
    };
    const bad cases[] = {
        {"nothing", {}, VORN_E_EMPTY, {}},
        {"one byte", {3}, VORN_E_TRUNCATED, {}},
        {"cut by one byte", bytes(stream.begin(), stream.end() - 1), VORN_E_TRUNCATED, {}},
        {"cut after the first block", bytes(twostream.begin(), twostream.end() - 3000),
         VORN_E_TRUNCATED, bytes(two.begin(), two.begin() + blocksize)},
        {"header beyond 21", joined({{22}, bytes(stream.begin() + 1, stream.end())}), VORN_E_DAMAGED, {}},
        {"byte 1 not 00", joined({{stream[0], 1}, bytes(stream.begin() + 2, stream.end())}), VORN_E_DAMAGED, {}},
        {"damage in the second block", flipped, VORN_E_DAMAGED, bytes(two.begin(), two.begin() + blocksize)},
        {"trailing text", joined({stream, text("xyz")}), VORN_E_TRAILING, small},
        {"trailing half stream", joined({stream, bytes(stream.begin(), stream.begin() + 1)}), VORN_E_TRAILING,
         small},
        {"two streams", joined({stream, stream}), VORN_OK, joined({small, small})},
        {"a stream and an empty one", joined({stream, emptystream, stream}), VORN_OK, joined({small, small})},
        {"empty stream alone", emptystream, VORN_OK, {}},
        {"empty stream cut", bytes(emptystream.begin(), emptystream.end() - 1), VORN_E_TRUNCATED, {}},
    };
    for (const bad& c : cases) {
        for (const streamhow how : {streamhow{1, 0, 1 << 20, 0, 0}, streamhow{2, 1, 7, 0, 0}}) {
            const streamrun r = runstream(false, c.input, how);
            EXPECT_EQ(r.status, c.status) << c.name << ", " << how.threads << " threads";
            EXPECT_EQ(diffreport(r.out, c.out), "") << c.name << ", " << how.threads << " threads";
        }
    }
}

TEST(Library, RefusesBadCallsWithoutHarm)
{
    uint8_t buf[64] = {};
    size_t n = 0, used = 0;
    EXPECT_EQ(vorn_compress(nullptr, 10, &n, buf, 1), VORN_E_ARGUMENT);
    EXPECT_EQ(vorn_compress(buf, 64, nullptr, buf, 1), VORN_E_ARGUMENT);
    EXPECT_EQ(vorn_compress(buf, 64, &n, nullptr, 1), VORN_E_ARGUMENT);
    EXPECT_EQ(vorn_decompress(buf, 64, &n, nullptr, 5), VORN_E_ARGUMENT);
    EXPECT_EQ(vorn_encode(nullptr, buf, 1, &used, buf, 64, &n, 1), VORN_E_ARGUMENT);
    EXPECT_EQ(vorn_decode(nullptr, buf, 1, &used, buf, 64, &n, 1), VORN_E_ARGUMENT);
    for (const int threads : {-1, 3, 1000}) {
        EXPECT_EQ(vorn_encoder_new(threads), nullptr) << threads;
        EXPECT_EQ(vorn_decoder_new(threads), nullptr) << threads;
    }
    vorn_encoder_free(nullptr);
    vorn_decoder_free(nullptr);

    // A refused call leaves the stream as it was; a finished or failed one
    // takes no more calls.
    vorn_encoder* e = vorn_encoder_new(1);
    EXPECT_EQ(vorn_encode(e, nullptr, 3, &used, buf, 64, &n, 0), VORN_E_ARGUMENT);
    EXPECT_EQ(vorn_encode(e, "a", 1, &used, buf, 64, &n, 1), VORN_OK);
    EXPECT_EQ(bytes(buf, buf + n), hexbytes("00 00 F2 CB BB 39 00"));
    EXPECT_EQ(vorn_encode(e, "a", 1, &used, buf, 64, &n, 1), VORN_E_STATE);
    EXPECT_EQ(used + n, 0u);
    vorn_encoder_free(e);
    vorn_decoder* d = vorn_decoder_new(1);
    EXPECT_EQ(vorn_decode(d, "\x16\x00", 2, &used, buf, 64, &n, 1), VORN_E_DAMAGED);
    EXPECT_EQ(vorn_decode(d, "", 0, &used, buf, 64, &n, 1), VORN_E_STATE);
    vorn_decoder_free(d);

    for (const int status : {0, 1, -1, -2, -3, -4, -5, -6, -7, -8, 42})
        EXPECT_NE(std::string(vorn_strerror(status)), "") << status;
    EXPECT_NE(std::string(vorn_version()), "");
}

// Inputs that code badly: random bytes, and symbols that keep leaving the
// recency ring for the lists and coming back from their rarest places.
std::vector<std::pair<std::string, bytes>> adversarial()
{
    std::mt19937 rng(7);
    bytes lists;
    while (lists.size() < 300000) lists.push_back(static_cast<uint8_t>(rng() % 60));
    bytes cycle;
    for (size_t i = 0; cycle.size() < 300000; ++i) cycle.push_back(static_cast<uint8_t>((i * 37 + i / 61) % 45));
    return {{"random", randombytes(blocksize + 1000, 3)}, {"sixty symbols", lists}, {"cycle of 45", cycle},
            {"one byte", {9}}, {"nothing", {}}};
}

TEST(Library, CompressBoundHoldsAndDstSizeIsReported)
{
    EXPECT_EQ(vorn_compress_bound(SIZE_MAX), 0u);
    EXPECT_GE(vorn_compress_bound(0), 5u);
    for (const auto& [name, plain] : adversarial()) {
        const size_t bound = vorn_compress_bound(plain.size());
        bytes out(bound);
        size_t len = 0;
        ASSERT_EQ(vorn_compress(out.data(), out.size(), &len, plain.data(), plain.size()), VORN_OK) << name;
        EXPECT_LE(len, bound) << name;
        size_t none = 1;
        EXPECT_EQ(vorn_compress(out.data(), len - 1, &none, plain.data(), plain.size()), VORN_E_DSTSIZE) << name;
        EXPECT_EQ(none, 0u) << name;
        out.resize(len);
        bytes back(plain.size() + 1);
        if (!plain.empty()) {
            size_t none = 1;
            EXPECT_EQ(vorn_decompress(back.data(), plain.size() - 1, &none, out.data(), out.size()), VORN_E_DSTSIZE)
                << name;
        }
        EXPECT_EQ(vorn_decompress(back.data(), back.size(), &len, out.data(), out.size()), VORN_OK) << name;
        EXPECT_EQ(bytes(back.begin(), back.begin() + static_cast<long>(len)), plain) << name;
    }
}

}  // namespace

// Several streams at once, each in a thread of its own and some with a
// thread of their own besides: every one gives exactly its own bytes.
TEST(LibraryThreads, StreamsRunAtOnce)
{
    const bytes inputs[] = {textblock(blocksize + 5000), randombytes(300000, 1), wordy(700000, 2),
                            bytes(blocksize + 9, 'z')};
    bytes want[4];
    for (int i = 0; i < 4; ++i) want[i] = runstream(true, inputs[i]).out;
    bool ok[4] = {};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            const streamhow how{1 + i % 2, size_t{1000} << i, size_t{3000} << i, 0, 0};
            const streamrun c = runstream(true, inputs[i], how);
            const streamrun d = runstream(false, c.out, how);
            ok[i] = c.status == VORN_OK && c.out == want[i] && d.status == VORN_OK && d.out == inputs[i];
        });
    }
    for (std::thread& t : threads) t.join();
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(ok[i]) << "stream " << i;
}
