// Fuzz target: the whole decompression path on arbitrary bytes.
//
// The input is attached as the compressed stream, the output goes to memory
// with a bound. Clean outcomes are a status of decompress_stream and the
// corrupt-data stop; after either, the model must be closed, the output must
// stay within its bound, and a stream accepted as complete must have been
// read exactly to its last byte and must be rejected once its last byte is
// cut off. Everything else (another stop code, a status that memory input
// cannot produce, a sanitizer report, a crash) is a finding.
#include <vector>

#include "coder/byteio.h"
#include "fuzz/fuzz_support.h"
#include "model/model.h"
#include "programs/stream.h"

using namespace fuzz;

namespace {

struct outcome {
    streamstatus status;
    bool stopped;  // ended in the corrupt-data stop
};

outcome decompress(const uint8_t* data, size_t size, std::vector<uint8_t>& out)
{
    out.clear();
    in_attach_memory(&streamin, data, size);
    out_attach_memory(&streamout, &out, outputlimit);
    outcome r{stream_ok, false};
    r.status = decompress_stream(nullptr);
    if (r.status == stream_stopped) {
        require(streamstop == err_corrupt, "a stop other than the corrupt-data stop");
        r.stopped = true;
    }
    require(!modelopen(&streammodel), "the model was left open");
    require(out.size() <= outputlimit, "output beyond its bound");
    if (!r.stopped) {
        require(r.status != stream_readerror, "a read error on memory input");
        require(r.status != stream_nomemory, "no memory for a stream of at most 2 MiB blocks");
        require(r.status != stream_empty || size == 0, "a non-empty input reported as empty");
        require(r.status != stream_writeerror || streamout.err != 0, "a write error without an error number");
        if (r.status == stream_ok) {
            require(streamin.overrun == 0, "accepted after reading past the end");
            require(streamin.pos == streamin.end, "accepted without reading the whole stream");
        }
    }
    // Nothing may point into storage that the caller is about to free.
    in_close(&streamin);
    out_close(&streamout);
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> out;
    const outcome whole = decompress(data, size, out);
    if (!whole.stopped && whole.status == stream_ok && size > 0) {
        const outcome cut = decompress(data, size - 1, out);
        require(cut.stopped || cut.status != stream_ok, "a stream missing its last byte was accepted");
    }
    return 0;
}
