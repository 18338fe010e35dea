// Fuzz target: the whole decompression path on arbitrary bytes.
//
// The input is restored by a decoder of the library, its output bounded.
// Clean outcomes are a status, with the corrupt-data stop the only stop;
// a stream accepted as complete must be rejected once its last byte is cut
// off. Everything else (another stop code, a status that memory input
// cannot produce, a stall, a sanitizer report, a crash) is a finding.
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tests/streams.h"

using namespace fuzz;

namespace {

int decompress(const uint8_t* data, size_t size)
{
    streamhow how;
    how.outlimit = outputlimit;
    const streamrun r = runstream(false, bytes(data, data + size), how);
    require(r.stopcode == 0 || r.stopcode == err_corrupt, "a stop other than the corrupt-data stop");
    require(r.status != VORN_E_NOMEMORY, "no memory for a stream of at most 2 MiB blocks");
    require(r.status != stream_stalled, "a call that neither took nor gave anything asked for more");
    require(r.status != VORN_E_EMPTY || size == 0, "a non-empty input reported as empty");
    require(r.status != VORN_E_ARGUMENT && r.status != VORN_E_STATE, "a call refused");
    return r.status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (decompress(data, size) == VORN_OK && size > 0)
        require(decompress(data, size - 1) != VORN_OK, "a stream missing its last byte was accepted");
    return 0;
}
