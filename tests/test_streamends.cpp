// Where streams end: a finish once given stays given, a decoder hands out
// a stream as soon as its last byte is in and can stop there, a stream cut
// short is reported as cut, zeros after a stream are padding, and a
// one-block stream runs on the caller's thread alone.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/program_support.h"
#include "tests/streams.h"

namespace {

// Streams of every shape: one block, two blocks, a raw tail, one byte, and
// the stream of an empty input.
std::vector<std::pair<std::string, bytes>> shapes()
{
    return {{"one block", textblock(5000)}, {"two blocks", textblock(blocksize + 5000)}, {"raw tail", text("abc")},
            {"one byte", text("a")}, {"empty", {}}};
}

TEST(Finish, ACallAfterFinishMustKeepIt)
{
    for (const bool decoding : {false, true}) {
        const bytes input = decoding ? packed(textblock(3000)) : text("hello");
        const bytes want = runstream(!decoding, input).out;
        vorn_encoder* const e = decoding ? nullptr : vorn_encoder_new(1);
        vorn_decoder* const d = decoding ? vorn_decoder_new(1) : nullptr;
        const auto call = [&](const bytes& in, size_t room, int finish, bytes* out, size_t* used) {
            uint8_t buf[64];
            size_t made = 0;
            const int status = decoding ? vorn_decode(d, in.data(), in.size(), used, buf, room, &made, finish)
                                        : vorn_encode(e, in.data(), in.size(), used, buf, room, &made, finish);
            out->insert(out->end(), buf, buf + made);
            return status;
        };
        bytes out;
        size_t used = 0;
        ASSERT_EQ(call(input, 1, 1, &out, &used), VORN_MORE);
        bytes rest(input.begin() + static_cast<long>(used), input.end());
        struct refused {
            const char* name;
            bytes in;
            int finish;
        };
        for (const refused& r : {refused{"more input", text("world"), 0}, refused{"more input, finish", text("world"), 1},
                                 refused{"finish withdrawn", rest, 0}}) {
            bytes none;
            size_t took = 9;
            EXPECT_EQ(call(r.in, 64, r.finish, &none, &took), VORN_E_STATE) << r.name << ", decoding " << decoding;
            EXPECT_EQ(took + none.size(), 0u) << r.name;
        }
        int status;
        do {
            status = call(rest, 64, 1, &out, &used);
            rest.erase(rest.begin(), rest.begin() + static_cast<long>(used));
        } while (status == VORN_MORE);
        EXPECT_EQ(status, VORN_OK) << "decoding " << decoding;
        EXPECT_EQ(diffreport(out, want), "") << "decoding " << decoding;
        vorn_encoder_free(e);
        vorn_decoder_free(d);
    }
}

// A decoder that stops at each end, fed in pieces and never told finish,
// returns VORN_END having taken exactly the stream; the default decoder
// hands out a whole stream given without finish.
TEST(StreamEnd, EveryByteComesOutAndTheRestStaysTheCallers)
{
    for (const auto& [name, plain] : shapes()) {
        const bytes stream = packed(plain);
        for (const bytes& after : {bytes{}, text("xyz"), stream}) {
            const bytes input = joined({stream, after});
            for (const size_t piece : {size_t{1}, size_t{7}, size_t{4096}, input.size()}) {
                if (piece < 7 && stream.size() > 10000) continue;  // a call a byte: slow, and cut like 7
                vorn_decoder* const d = vorn_decoder_new(2);
                ASSERT_EQ(vorn_decoder_stop_at_end(d), VORN_OK);
                bytes out(plain.size() + 64);
                size_t at = 0, made = 0;
                int status = VORN_OK;
                while (status != VORN_END && status >= 0 && at < input.size()) {
                    const size_t give = std::min(piece, input.size() - at);
                    size_t used = 0, n = 0;
                    status = vorn_decode(d, input.data() + at, give, &used, out.data() + made, out.size() - made, &n, 0);
                    at += used;
                    made += n;
                }
                EXPECT_EQ(status, VORN_END) << name << ", piece " << piece;
                EXPECT_EQ(at, stream.size()) << name << ", piece " << piece;
                EXPECT_EQ(diffreport(bytes(out.begin(), out.begin() + static_cast<long>(made)), plain), "") << name;
                EXPECT_EQ(vorn_decoder_stop_at_end(d), VORN_E_STATE);
                vorn_decoder_free(d);
            }
        }
        bytes out(plain.size() + 64);
        size_t used = 0, made = 0;
        vorn_decoder* const d = vorn_decoder_new(1);
        EXPECT_EQ(vorn_decode(d, stream.data(), stream.size(), &used, out.data(), out.size(), &made, 0), VORN_OK);
        EXPECT_EQ(made, plain.size()) << name << ": a stream without finish held back";
        vorn_decoder_free(d);
    }
}

// Every cut of streams of one to three blocks: truncated, never damaged.
TEST(StreamEnd, EveryCutIsTruncation)
{
    std::mt19937 rng(5);
    bytes sprinkled(3 * size_t{blocksize} - 100, 0);
    for (int i = 0; i < 40; ++i) sprinkled[rng() % sprinkled.size()] = static_cast<uint8_t>(rng());
    const bytes inputs[] = {textblock(3000), repeated(text("abcabd"), blocksize + 3), sprinkled};
    for (const bytes& plain : inputs) {
        const bytes stream = packed(plain);
        for (size_t cut = 1; cut < stream.size(); ++cut) {
            const streamrun r = runstream(false, bytes(stream.begin(), stream.begin() + static_cast<long>(cut)), {2});
            ASSERT_EQ(r.status, VORN_E_TRUNCATED) << plain.size() << " bytes, stream of " << stream.size()
                                                  << " cut at " << cut;
            ASSERT_EQ(r.out, bytes(plain.begin(), plain.begin() + static_cast<long>(r.out.size())));
        }
    }
}

// Zeros after a stream are padding: trailing data, the stream restored.
// Two zeros followed by more than zeros may begin a stream of one byte.
TEST(StreamEnd, ZerosAfterAStreamArePadding)
{
    const bytes plain = textblock(4000);
    const bytes stream = packed(plain);
    for (const size_t zeros : {1, 2, 3, 512}) {
        const streamrun r = runstream(false, joined({stream, bytes(zeros, 0)}));
        EXPECT_EQ(r.status, VORN_E_TRAILING) << zeros << " zeros";
        EXPECT_EQ(diffreport(r.out, plain), "") << zeros << " zeros";
    }
    for (int c = 0; c < 256; ++c) {
        const bytes one = packed({static_cast<uint8_t>(c)});
        ASSERT_EQ(one[1], 0);
        ASSERT_NE(one[2], 0) << "a stream of one byte " << c << " looks like padding";
    }
    const streamrun r = runstream(false, joined({stream, packed({0})}));
    EXPECT_EQ(r.status, VORN_OK);
    EXPECT_EQ(r.out, joined({plain, {0}}));
    EXPECT_NE(runstream(false, bytes(600, 0)).status, VORN_E_TRAILING) << "zeros alone are no stream";
}

TEST(StreamEnd, OneBlockStartsNoThread)
{
    for (const size_t n : {size_t{5000}, size_t{blocksize}, size_t{blocksize} + 1}) {
        const bytes plain = textblock(n);
        bytes stream(vorn_compress_bound(n)), back(n);
        size_t used = 0, made = 0;
        vorn_encoder* const e = vorn_encoder_new(2);
        ASSERT_EQ(vorn_encode(e, plain.data(), n, &used, stream.data(), stream.size(), &made, 1), VORN_OK);
        EXPECT_EQ(encoder_threadstarts(e), n > blocksize ? 1u : 0u) << n;
        vorn_encoder_free(e);
        vorn_decoder* const d = vorn_decoder_new(2);
        ASSERT_EQ(vorn_decode(d, stream.data(), made, &used, back.data(), n, &made, 1), VORN_OK);
        EXPECT_EQ(decoder_threadstarts(d), n > blocksize ? 1u : 0u) << n;
        EXPECT_EQ(back, plain);
        vorn_decoder_free(d);
    }
}

}  // namespace
