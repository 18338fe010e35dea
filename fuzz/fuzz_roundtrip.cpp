// Fuzz target: arbitrary bytes through compression and back.
//
// The input compresses without a stop, compressing it again gives the same
// stream byte for byte, and the stream restores the input exactly, read to
// its last byte. An input whose first byte is 0xFF is a run script instead:
// the following (byte, length) pairs expand to runs of up to 16,321 bytes,
// so short inputs reach the long runs and run numbers that plain bytes from
// the fuzzer seldom make.
#include <vector>

#include "coder/byteio.h"
#include "fuzz/fuzz_support.h"
#include "model/model.h"
#include "programs/stream.h"

using namespace fuzz;

namespace {

constexpr size_t expandlimit = size_t{256} << 10;

std::vector<uint8_t> expandruns(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < size && out.size() < expandlimit; i += 2) {
        const size_t len = static_cast<size_t>(data[i + 1]) * 64 + 1;
        out.insert(out.end(), len, data[i]);
    }
    if (out.size() > expandlimit) out.resize(expandlimit);
    return out;
}

std::vector<uint8_t> compress(const std::vector<uint8_t>& input)
{
    std::vector<uint8_t> stream;
    in_attach_memory(&streamin, input.data(), input.size());
    out_attach_memory(&streamout, &stream);
    try {
        require(compress_stream(nullptr) == stream_ok, "compression failed on memory");
    } catch (const stopped&) {
        fuzzfail("a stop while compressing");
    }
    require(!modelopen(&streammodel), "the model was left open after compressing");
    return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> input =
        size > 0 && data[0] == 0xFF ? expandruns(data + 1, size - 1) : std::vector<uint8_t>(data, data + size);

    const std::vector<uint8_t> stream = compress(input);
    require(compress(input) == stream, "compressing twice gave different streams");
    require(stream.size() >= 5, "a stream shorter than the coder's flush");
    if (!input.empty()) {
        require(stream[0] == headerbyte(input.size() < blocksize ? static_cast<uint32_t>(input.size()) : blocksize),
                "wrong header byte");
        require(stream[1] == 0, "byte 1 of a stream is not 00");
    }

    std::vector<uint8_t> restored;
    in_attach_memory(&streamin, stream.data(), stream.size());
    out_attach_memory(&streamout, &restored, input.size() + 1);
    try {
        require(decompress_stream(nullptr) == stream_ok, "the stream of a valid input was rejected");
    } catch (const stopped&) {
        fuzzfail("a stop while restoring a valid stream");
    }
    require(streamin.overrun == 0 && streamin.pos == streamin.end, "the stream was not read exactly to its end");
    require(!modelopen(&streammodel), "the model was left open after restoring");
    require(restored == input, "the restored bytes differ from the input");

    in_close(&streamin);
    out_close(&streamout);
    return 0;
}
