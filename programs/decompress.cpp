// Decompression of a whole input: for each stream read the header byte,
// decode symbols into blocks, restore each block with the inverse
// transform; streams that follow one another are restored one by one, each
// with a fresh model.
//
// The format has no checksum, so what can be checked is checked here, at no
// cost per byte: byte 1 of every stream is 00; the header byte is at most 21
// and fits the first block's length; a block shorter than 2 MiB is the last;
// a transformed block has more than 4 bytes; and the decoder must never have
// read past the end of the input (it reads a valid stream exactly to its last
// byte). Blocks are checked before they are restored, so a truncated stream
// yields only its complete blocks. Deeper damage is found by the model and
// the inverse transform, which stop (errorstop) with err_corrupt; the stop
// comes back here as an exception and is returned as stream_stopped.
//
// Two stages: while block k is restored and written (programs/stage.h),
// block k+1 is decoded. Only the decoding stage reads the input and prints
// progress; only the restoring stage writes the output while a block is in
// its hands. Whatever the stages do at the same time, what the user sees is
// what one thread would give, in the same order: each block is complete in
// the output, and its " done", before anything of the next block is
// written or any check of the next block can end the run; a block is
// written only once its restoration has passed every check, so no byte of
// a damaged block is written, and nothing after it.
#include <cstring>
#include <memory>
#include <new>

#include "coder/byteio.h"
#include "coder/stop.h"
#include "model/model.h"
#include "programs/progress.h"
#include "programs/stage.h"
#include "programs/stream.h"
#include "transform/unsorttrans.h"

unsigned streamstop = 0;

namespace {

// Closes the model on every way out.
struct modelowner {
    ~modelowner() { deletemodel(); }
};

// One decoded block on its way to the output.
struct blockjob {
    std::unique_ptr<uint8_t[]> block;  // the transformed block, 2^header bytes
    uint32_t count = 0;                // bytes in it
    uint32_t index = 0;
    uint32_t histogram[256] = {};      // working storage of the restoration
    unsigned stop = 0;                 // the stop met in restoring, 0 if none
};

// Restores a block into out, then writes it; a stop leaves nothing written.
void restore(blockjob* job, unsortspace* space, uint8_t* out)
{
    try {
        unsorttrans(space, job->block.get(), out, job->count, job->index, job->histogram);
        putbytes(out, job->count);
    } catch (const stopped& s) {
        job->stop = s.code;
    }
}

// The restoring stage, the block in its hands, and the storage of the
// inverse transform, which only the stage uses.
struct restorer {
    stage st;
    blockjob* job = nullptr;
    std::FILE* progress = nullptr;
    unsortspace space{};
};

// Waits until the block in hand is restored and written, and reports it
// done. Returns the stop its restoration met, 0 if none (or no block).
unsigned finishblock(restorer* r)
{
    blockjob* const job = r->job;
    if (job == nullptr) return 0;
    stage_wait(&r->st);
    r->job = nullptr;
    if (job->stop != 0) return job->stop;
    say(r->progress, " done\n");
    return 0;
}

streamstatus stoppedby(unsigned code)
{
    streamstop = code;
    return stream_stopped;
}

// How the input looks after the end symbol: read exactly to its end (what
// follows is the next stream's business), or cut short.
streamstatus finish()
{
    if (in_errno != 0) return stream_readerror;
    if (in_overrun != 0) return stream_truncated;
    if (out_flush() != 0) return stream_writeerror;
    return stream_ok;
}

// The rest of the stream written for an empty input, after its byte 00.
streamstatus empty_stream()
{
    static const uint8_t rest[4] = {0x80, 0x00, 0x00, 0x00};
    for (uint8_t want : rest) {
        const int got = getbyte();
        if (got < 0) return in_errno != 0 ? stream_readerror : stream_truncated;
        if (got != want) return stream_damaged;
    }
    return stream_ok;
}

// The block loop, from the first index symbol to the end of the stream.
streamstatus blocks(int header, std::FILE* progress)
{
    const uint32_t bufsize = uint32_t{1} << header;
    blockjob jobs[2];
    std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[bufsize]);
    for (blockjob& j : jobs) j.block.reset(new (std::nothrow) uint8_t[bufsize]);
    if (!out || !jobs[0].block || !jobs[1].block) return stream_nomemory;

    restorer r;
    r.progress = progress;
    stageowner dropper{&r.st};  // no restoration outlives the buffers
    bool firstblock = true;
    for (int turn = 0;; turn ^= 1) {
        blockjob* const job = &jobs[turn];
        uint8_t head[indexbytes];
        uint32_t index = 0;
        uint32_t k = 0;
        bool decoding = false;
        bool end = false;
        uint32_t count = 0;
        const bool successor = firstblock || header == maxheader;  // only a 2 MiB block has successors
        try {
            // The index: up to four symbols, the first the least significant.
            uint32_t scratch[256] = {};  // the index symbols are not counted
            k = decode_block(head, indexbytes, scratch, &end);
            for (uint32_t i = 0; i < k; ++i) index = indexsymbol(index, head[i]);
            if (k == indexbytes && successor) {
                decoding = true;
                std::memset(job->histogram, 0, sizeof job->histogram);
                count = decode_block(job->block.get(), bufsize, job->histogram, &end);
            }
        } catch (const stopped& s) {
            // Damage in the symbol stream: the block before it still comes
            // out whole, with the messages one thread would have given.
            if (const unsigned before = finishblock(&r)) return stoppedby(before);
            out_flush();
            if (decoding) say(progress, "Decoding ...");
            return stoppedby(s.code);
        }
        // Each restored block is complete in the output before anything of
        // the next is written or any check of the next can end the run.
        if (const unsigned before = finishblock(&r)) return stoppedby(before);
        if (out_flush() != 0) return stream_writeerror;

        if (k < indexbytes) {
            // A raw tail of 1 to 3 bytes, or nothing after a full block.
            if (in_overrun != 0) return finish();
            if (firstblock ? (k == 0 || headerbyte(k) != header) : (k != 0 && header != maxheader))
                return stream_damaged;
            for (uint32_t i = 0; i < k; ++i) putbyte(head[i]);
            return finish();
        }
        if (!successor) return stream_damaged;

        say(progress, "Decoding ...");
        if (in_overrun != 0 || in_errno != 0) return finish();

        if (count == 0) {
            // The index symbols were a raw tail of four bytes.
            if (firstblock ? header != headerbyte(rawtail) : header != maxheader) return stream_damaged;
            for (uint8_t b : head) putbyte(b);
            return finish();
        }
        if (count <= rawtail) return stream_damaged;  // a transformed block is longer
        if (firstblock && end && headerbyte(count) != header) return stream_damaged;

        say(progress, " processing %ld bytes ...", static_cast<long>(count));
        job->count = count;
        job->index = index;
        job->stop = 0;
        r.job = job;
        uint8_t* const outbuf = out.get();
        unsortspace* const space = &r.space;
        stage_start(&r.st, [job, space, outbuf] { restore(job, space, outbuf); });
        if (end) {
            if (const unsigned stop = finishblock(&r)) return stoppedby(stop);
            return finish();
        }
        firstblock = false;
    }
}

// One stream after its header byte, which has been checked; byte 1 (00)
// is still unread.
streamstatus coded_stream(int header, std::FILE* progress)
{
    modelowner closer;
    try {
        if (initmodel(0) != 0) return stream_nomemory;
    } catch (const stopped& s) {
        return stoppedby(s.code);  // the first run number is damaged
    }
    return blocks(header, progress);
}

}  // namespace

streamstatus decompress_stream(std::FILE* progress)
{
    const int header = getbyte();
    if (header < 0) return in_errno != 0 ? stream_readerror : stream_empty;
    const int second = in_peek();
    if (second < 0) return in_errno != 0 ? stream_readerror : stream_truncated;
    streamstatus status;
    if (header == 0 && second == 0x80)
        status = empty_stream();
    else if (second != 0 || header > maxheader)
        return stream_damaged;
    else
        status = coded_stream(header, progress);

    // Streams one after the other, as `cat a.vn b.vn` makes them: what
    // follows a complete stream is restored when it begins like a stream,
    // and reported as trailing bytes when it does not.
    for (;;) {
        if (status != stream_ok) return status;
        if (in_peek() < 0) return in_errno != 0 ? stream_readerror : stream_ok;
        const int next = getbyte();
        const int nextsecond = in_peek();
        if (in_errno != 0) return stream_readerror;
        if (next <= maxheader && nextsecond == 0) {
            endline(progress);  // after a 4-byte raw tail's open line
            status = coded_stream(next, progress);
        } else if (next == 0 && nextsecond == 0x80) {
            status = empty_stream();
            if (status == stream_damaged || status == stream_truncated) return stream_trailing;
        } else {
            return stream_trailing;
        }
    }
}
