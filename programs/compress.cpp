// Compression of the whole input: cut it into blocks, transform each block
// of more than 4 bytes, and feed index and bytes to the symbol model.
#include <memory>
#include <new>

#include "coder/byteio.h"
#include "model/model.h"
#include "programs/progress.h"
#include "programs/stream.h"
#include "transform/sorttrans.h"

int headerbyte(uint32_t length)
{
    int n = 0;
    while ((uint64_t{1} << n) < length) ++n;
    return n;
}

namespace {

// Closes the model without coding the end symbol, so that a run that fails
// half way does not end in a stream that looks complete.
streamstatus abandon(streamstatus why)
{
    encoding = 0;
    deletemodel();
    return why;
}

}  // namespace

uint64_t splitrun = maxrun;

streamstatus compress_stream(std::FILE* progress)
{
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[blocksize]);
    if (!block) return stream_nomemory;
    if (initmodel(1) != 0) return stream_nomemory;

    bool first = true;
    for (;;) {
        const uint32_t length = static_cast<uint32_t>(readfull(block.get(), blocksize));
        if (in_errno != 0) return abandon(stream_readerror);
        if (length == 0) break;
        say(progress, "Processing %d bytes ...", static_cast<int>(length));
        if (!first && runlength + 4 + length > splitrun) {
            // The block could lengthen the current run by its index and
            // every byte: the stream ends here, before the run outgrows its
            // run number, and the input goes on in a new stream.
            deletemodel();
            if (initmodel(1) != 0) return stream_nomemory;
            first = true;
        }
        if (first) {
            putbyte(headerbyte(length));
            first = false;
        }
        if (length <= 4) {
            // A raw tail: only ever the last block, coded as it is.
            encode_block(block.get(), length);
            break;
        }
        uint8_t index[4];
        sorttrans(block.get(), length, index);
        encode_block(index, 4);
        say(progress, " coding ...");
        encode_block(block.get(), length);
        say(progress, " done\n");
        if (out_errno != 0) return abandon(stream_writeerror);
    }
    deletemodel();
    return out_flush() == 0 ? stream_ok : stream_writeerror;
}
