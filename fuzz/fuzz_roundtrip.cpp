// Fuzz target: arbitrary bytes through compression and back.
//
// The input compresses without a failure, compressing it again (with the
// other number of threads) gives the same stream byte for byte, the stream
// fits vorn_compress_bound, and it restores the input exactly. An input
// whose first byte is 0xFF is a run script instead: the following (byte,
// length) pairs expand to runs of up to 16,321 bytes, so short inputs
// reach the long runs and run numbers that plain bytes from the fuzzer
// seldom make.
#include <vector>

#include "fuzz/fuzz_support.h"
#include "lib/format.h"
#include "tests/streams.h"

using namespace fuzz;

namespace {

constexpr size_t expandlimit = size_t{256} << 10;

bytes expandruns(const uint8_t* data, size_t size)
{
    bytes out;
    for (size_t i = 0; i + 1 < size && out.size() < expandlimit; i += 2) {
        const size_t len = static_cast<size_t>(data[i + 1]) * 64 + 1;
        out.insert(out.end(), len, data[i]);
    }
    if (out.size() > expandlimit) out.resize(expandlimit);
    return out;
}

bytes compress(const bytes& input, int threads)
{
    streamhow how;
    how.threads = threads;
    const streamrun r = runstream(true, input, how);
    require(r.status == VORN_OK, "compression failed on memory");
    return r.out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const bytes input = size > 0 && data[0] == 0xFF ? expandruns(data + 1, size - 1) : bytes(data, data + size);
    const bytes stream = compress(input, 1);
    require(compress(input, 2) == stream, "compressing twice gave different streams");
    require(stream.size() >= 5, "a stream shorter than the coder's flush");
    require(stream.size() <= vorn_compress_bound(input.size()), "a stream beyond the compression bound");
    if (!input.empty()) {
        require(stream[0] == headerbyte(input.size() < blocksize ? static_cast<uint32_t>(input.size()) : blocksize),
                "wrong header byte");
        require(stream[1] == 0, "byte 1 of a stream is not 00");
    }
    streamhow how;
    how.outlimit = input.size() + 1;
    const streamrun back = runstream(false, stream, how);
    require(back.status == VORN_OK, "the stream of a valid input was rejected");
    require(back.out == input, "the restored bytes differ from the input");
    return 0;
}
