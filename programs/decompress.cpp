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
// yields only its complete blocks. Deeper damage is caught by the model and
// the inverse transform, which stop the run with "Error #6601".
#include <cstring>
#include <memory>
#include <new>

#include "coder/byteio.h"
#include "coder/stop.h"
#include "model/model.h"
#include "programs/progress.h"
#include "programs/stream.h"
#include "transform/unsorttrans.h"

namespace {

// Closes the model on every way out, including a stop that unwinds.
struct modelowner {
    ~modelowner() { deletemodel(); }
};

// The block whose walk is still being written, for a stop that comes in
// the meantime: where its progress goes, and whether the next block's
// decoding has been reported as begun.
struct owedblock {
    std::FILE* progress;
    bool decoding;
};
owedblock owed{nullptr, false};

// What a stop owes the output while a restored block is still being
// written: the rest of the block, if it comes out intact, and the progress
// report that a run without the stop would have given up to that point.
void finishblock()
{
    unsort_walk(unsort_left());
    if (!unsort_whole()) return;
    out_flush();
    say(owed.progress, " done\n");
    if (owed.decoding) say(owed.progress, "Decoding ...");
}

// Keeps stopfinish set exactly while a block's walk is unfinished.
struct walkowner {
    bool active = false;
    void begin(std::FILE* progress)
    {
        active = true;
        owed = owedblock{progress, false};
        stopfinish = finishblock;
    }
    void end()
    {
        active = false;
        stopfinish = nullptr;
    }
    ~walkowner() { end(); }
};

// Steps of the previous block's walk taken after each stretch the decoder
// delivers. A stretch is one new symbol or the copies of a run; taking the
// run's steps in small portions spreads them over the new symbols after it,
// whose computation hides the walk's waits. The steps still owed when the
// block is decoded are taken at the end.
constexpr uint32_t walkpace = 3;

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

// One stream after its header byte, which has been checked; byte 1 (00)
// is still unread.
streamstatus coded_stream(int header, std::FILE* progress)
{
    const uint32_t bufsize = uint32_t{1} << header;
    std::unique_ptr<uint8_t[]> inbuffer(new (std::nothrow) uint8_t[bufsize]);
    if (!inbuffer) return stream_nomemory;
    modelowner closer;  // also when opening stops on a damaged first run
    if (initmodel(0) != 0) return stream_nomemory;

    uint32_t histogram[256];
    bool firstblock = true;
    walkowner walk;  // active while the previous block's bytes are being written
    for (;;) {
        // The index: up to four symbols, the first the least significant.
        uint8_t head[4];
        uint32_t index = 0;
        int k = 0;
        for (; k < 4; ++k) {
            const int s = decode();
            if (s < 0) break;
            head[k] = static_cast<uint8_t>(s);
            index = (index >> 8) | (static_cast<uint32_t>(s) << 24);
        }
        const bool successor = firstblock || header == maxheader;  // only a 2 MiB block has successors
        uint8_t* const buf = inbuffer.get();
        bool end = false;
        uint32_t count = 0;
        if (k == 4 && successor) {
            // The previous block's walk advances with the decoding: its
            // reads from memory wait while the decoder computes.
            std::memset(histogram, 0, sizeof histogram);
            owed.decoding = true;
            uint32_t steps = 0;
            count = decode_block(buf, bufsize, histogram, &end, [&steps](uint32_t stretch) {
                steps += stretch;
                const uint32_t now = steps < walkpace ? steps : walkpace;
                steps -= now;
                unsort_walk(now);
            });
        }
        // Each restored block is complete in the output before anything of
        // the next is written or any check of the next can end the run.
        if (walk.active) {
            unsort_walk(unsort_left());
            walk.end();
            say(progress, " done\n");
            if (out_flush() != 0) return stream_writeerror;
        }

        if (k < 4) {
            // A raw tail of 1 to 3 bytes, or nothing after a full block.
            if (in_overrun != 0) return finish();
            if (firstblock ? (k == 0 || headerbyte(k) != header) : (k != 0 && header != maxheader))
                return stream_damaged;
            for (int i = 0; i < k; ++i) putbyte(head[i]);
            return finish();
        }
        if (!successor) return stream_damaged;

        say(progress, "Decoding ...");
        if (in_overrun != 0 || in_errno != 0) return finish();

        if (count == 0) {
            // The index symbols were a raw tail of four bytes.
            if (firstblock ? header != 2 : header != maxheader) return stream_damaged;
            for (uint8_t b : head) putbyte(b);
            return finish();
        }
        if (count <= 4) return stream_damaged;  // a transformed block is longer
        if (firstblock && end && headerbyte(count) != header) return stream_damaged;

        say(progress, " processing %ld bytes ...", static_cast<long>(count));
        unsort_start(buf, count, index, histogram);
        if (end) {
            unsort_walk(count);
            say(progress, " done\n");
            return finish();
        }
        walk.begin(progress);
        firstblock = false;
    }
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
