// Compression of the whole input: cut it into blocks, transform each block
// of more than 4 bytes, and feed index and bytes to the symbol model.
//
// Two stages: while block k is coded, block k+1 is read and sorted beside
// it (programs/stage.h). Only the second stage reads the input and only the
// first writes the output and the progress messages, in the same order as
// one thread would.
#include <memory>
#include <new>
#include <utility>

#include "coder/byteio.h"
#include "coder/stop.h"
#include "model/model.h"
#include "programs/progress.h"
#include "programs/stage.h"
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
    abandonmodel(&streammodel);
    return why;
}

// One block as read from the input and, if longer than 4 bytes, sorted.
struct inblock {
    std::unique_ptr<uint8_t[]> buf;
    uint32_t length = 0;
    uint8_t index[indexbytes] = {};
    int readerror = 0;  // the input failed while this block was read
    unsigned stop = 0;  // the sort stopped (no working storage), 0 if not
};

// Reads the next block; sorts it unless it is a raw tail or the read failed.
void prepare(inblock* b, sortspace* space)
{
    b->length = static_cast<uint32_t>(readfull(&streamin, b->buf.get(), blocksize));
    b->readerror = streamin.err;
    b->stop = 0;
    try {
        if (b->readerror == 0 && b->length > rawtail) sorttrans(space, b->buf.get(), b->length, b->index);
    } catch (const stopped& s) {
        b->stop = s.code;
    }
}

streamstatus stoppedby(unsigned code)
{
    streamstop = code;
    return abandon(stream_stopped);
}

}  // namespace

uint64_t splitrun = maxrun;

streamstatus compress_stream(std::FILE* progress)
{
    inblock cur, next;
    cur.buf.reset(new (std::nothrow) uint8_t[blocksize]);
    next.buf.reset(new (std::nothrow) uint8_t[blocksize]);
    if (!cur.buf || !next.buf) return stream_nomemory;
    if (initmodel(&streammodel, 1, nullptr, &streamout) != 0) return stream_nomemory;

    sortspace space{};  // blocks are sorted one at a time, on either thread
    stage reader;
    stageowner dropper{&reader};
    prepare(&cur, &space);
    bool first = true;
    for (;;) {
        if (cur.readerror != 0) return abandon(stream_readerror);
        if (cur.stop != 0) return stoppedby(cur.stop);
        const uint32_t length = cur.length;
        if (length == 0) break;
        // A raw tail is the last block; after any other block, read on.
        if (length > rawtail) stage_start(&reader, [&next, &space] { prepare(&next, &space); });
        say(progress, "Processing %d bytes ...", static_cast<int>(length));
        if (!first && currentrun(&streammodel) + indexbytes + length > splitrun) {
            // The block could lengthen the current run by its index and
            // every byte: the stream ends here, before the run outgrows its
            // run number, and the input goes on in a new stream.
            deletemodel(&streammodel);
            if (initmodel(&streammodel, 1, nullptr, &streamout) != 0) return stream_nomemory;
            first = true;
        }
        if (first) {
            putbyte(&streamout, headerbyte(length));
            first = false;
        }
        try {
            if (length <= rawtail) {
                encode_block(&streammodel, cur.buf.get(), length);
                break;
            }
            encode_block(&streammodel, cur.index, indexbytes);
            say(progress, " coding ...");
            encode_block(&streammodel, cur.buf.get(), length);
        } catch (const stopped& s) {
            return stoppedby(s.code);
        }
        say(progress, " done\n");
        if (streamout.err != 0) return abandon(stream_writeerror);
        stage_wait(&reader);
        std::swap(cur, next);
    }
    deletemodel(&streammodel);
    return out_flush(&streamout) == 0 ? stream_ok : stream_writeerror;
}
