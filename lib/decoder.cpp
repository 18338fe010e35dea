// The streaming decoder: a stream's header, then its blocks, each decoded
// symbol by symbol into one of two buffers and restored by the inverse
// transform while the next is decoded (task.h), then any stream that
// follows. Input is gathered in a small buffer; a new symbol is decoded
// only while maxsymbolbytes (model/model.h) are buffered, or once the
// caller has said that no input follows, so decoding never has to be taken
// back in the middle of a symbol.
//
// The format has no checksum, so what can be checked is checked, at no
// cost per byte: byte 1 of every stream is 00; the header byte is at most
// 21 and fits the first block's length; a block shorter than 2 MiB is the
// last; a transformed block has more than 4 bytes; and the decoder never
// reads past the end of the input (it reads a valid stream exactly to its
// last byte). Deeper damage is found by the model and the inverse
// transform, which stop (coder/stop.h).
//
// What the caller sees is what one thread would give, in the same order:
// a block is handed out whole, with its "done", before anything of the
// next block is handed out or any check of the next can end the stream;
// no byte of a damaged block is handed out, and nothing after it. Pending
// output is handed out before anything else happens.
#include <cstring>
#include <memory>
#include <new>

#include "coder/byteio.h"
#include "lib/entry.h"
#include "lib/format.h"
#include "lib/programs.h"
#include "lib/task.h"
#include "model/model.h"
#include "transform/unsorttrans.h"

namespace {

constexpr size_t inputcap = size_t{1} << 16;  // the input buffer
static_assert(inputcap >= 4 * maxsymbolbytes, "a full buffer always lets a step go on");

// One decoded block on its way to the output.
struct blockjob {
    std::unique_ptr<uint8_t[]> block;  // the transformed block
    std::unique_ptr<uint8_t[]> out;    // the block restored
    uint32_t count = 0;                // bytes in it
    uint32_t index = 0;
    uint32_t histogram[256] = {};      // working storage of the restoration
};

// Where the decoder stands; each phase is one step of work.
enum class phase {
    streamstart,  // the first stream's header byte and byte 1
    nextstream,   // what follows a complete stream
    emptyrest,    // the rest of an empty input's stream
    open,         // the model's opening: first bytes and first run
    index,        // a block's index symbols
    body,         // a block's bytes
    settle,       // the block before is finished, then this block checked
    lastblock,    // the stream's last block is restored
    endstream,    // the stream read exactly to its end
    failing,      // a stop: the block before goes out, then the failure
    ended,        // every stream restored
};

}  // namespace

struct vorn_decoder;

// Leaves a failed decoder safe to free: no work running, nothing more
// handed out.
void halt(vorn_decoder* d);

struct vorn_decoder {
    model m{};
    bytein in{};
    std::unique_ptr<uint8_t[]> inbuf;
    unsortspace unsort{};
    task restorer;
    blockjob jobs[2];
    uint32_t capacity = 0;        // bytes of each block buffer
    blockjob* inhand = nullptr;   // with the restorer, not yet waited for
    const uint8_t* pending = nullptr;  // output not yet handed out
    size_t pendinglen = 0;

    phase at = phase::streamstart;
    int header = 0;
    bool firstblock = true;
    bool following = false;  // the empty stream follows another stream
    int turn = 0;            // the job being decoded
    uint8_t head[indexbytes] = {};
    uint32_t k = 0;          // index symbols decoded
    uint32_t index = 0;
    uint32_t count = 0;      // block symbols decoded
    bool end = false;        // the end symbol came

    unsigned failcode = 0;   // the stop being reported
    bool faildecoding = false;
    streamstate state = streamstate::running;
    unsigned stopcode = 0;
    progressfn progress = nullptr;
    void* progressarg = nullptr;
};

namespace {

constexpr int waiting = 0;   // a step that needs more input
constexpr int stepped = 1;   // a step that did its work

void report(vorn_decoder* d, progressevent event, long value = 0)
{
    if (d->progress != nullptr) d->progress(d->progressarg, event, value);
}

size_t buffered(const vorn_decoder* d) { return static_cast<size_t>(d->in.end - d->in.pos); }

// The block buffers, 2^header bytes each, kept from one stream to the next.
void reserve(vorn_decoder* d, uint32_t size)
{
    if (d->capacity >= size) return;
    d->capacity = 0;
    for (blockjob& j : d->jobs) {
        j.block.reset(new uint8_t[size]);
        j.out.reset(new uint8_t[size]);
    }
    d->capacity = size;
}

void startblock(vorn_decoder* d)
{
    d->k = 0;
    d->index = 0;
    d->count = 0;
    d->end = false;
}

// Only a 2 MiB block has successors.
bool successor(const vorn_decoder* d) { return d->firstblock || d->header == maxheader; }

// Waits for the block with the restorer and hands it out.
void finishblock(vorn_decoder* d)
{
    blockjob* const job = d->inhand;
    d->inhand = nullptr;
    task_wait(&d->restorer);
    report(d, progress_done);
    d->pending = job->out.get();
    d->pendinglen = job->count;
}

int startstream(vorn_decoder* d, bool final)
{
    if (buffered(d) < 2 && !final) return waiting;
    const int header = getbyte(&d->in);
    if (header < 0) return VORN_E_EMPTY;
    const int second = in_peek(&d->in);
    if (second < 0) return VORN_E_TRUNCATED;
    if (header == 0 && second == 0x80) {
        d->following = false;
        d->at = phase::emptyrest;
    } else if (second != 0 || header > maxheader) {
        return VORN_E_DAMAGED;
    } else {
        d->header = header;
        d->at = phase::open;
    }
    return stepped;
}

// Streams one after the other, as `cat a.vn b.vn` makes them: what follows
// a complete stream is restored when it begins like a stream, and reported
// as trailing bytes when it does not.
int nextstream(vorn_decoder* d, bool final)
{
    if (buffered(d) < 2 && !final) return waiting;
    if (buffered(d) == 0) {
        d->at = phase::ended;
        return stepped;
    }
    const int next = getbyte(&d->in);
    const int second = in_peek(&d->in);
    if (next <= maxheader && second == 0) {
        report(d, progress_nextstream);
        d->header = next;
        d->at = phase::open;
    } else if (next == 0 && second == 0x80) {
        d->following = true;
        d->at = phase::emptyrest;
    } else {
        return VORN_E_TRAILING;
    }
    return stepped;
}

// The rest of the stream written for an empty input, after its byte 00.
int emptyrest(vorn_decoder* d, bool final)
{
    static const uint8_t rest[4] = {0x80, 0x00, 0x00, 0x00};
    if (buffered(d) < sizeof rest && !final) return waiting;
    for (const uint8_t want : rest) {
        const int got = getbyte(&d->in);
        if (got < 0) return d->following ? VORN_E_TRAILING : VORN_E_TRUNCATED;
        if (got != want) return d->following ? VORN_E_TRAILING : VORN_E_DAMAGED;
    }
    d->at = phase::nextstream;
    return stepped;
}

int openstream(vorn_decoder* d, bool final)
{
    if (buffered(d) < maxsymbolbytes && !final) return waiting;
    if (initmodel(&d->m, 0, &d->in, nullptr) != 0) return VORN_E_NOMEMORY;
    reserve(d, uint32_t{1} << d->header);
    d->firstblock = true;
    startblock(d);
    d->at = phase::index;
    return stepped;
}

// The index: up to four symbols, the first the least significant.
int decodeindex(vorn_decoder* d, size_t reserve)
{
    uint32_t scratch[256];  // the index symbols are not counted
    const uint32_t got = decode_block(&d->m, d->head + d->k, indexbytes - d->k, scratch, &d->end, reserve);
    for (uint32_t i = d->k; i < d->k + got; ++i) d->index = indexsymbol(d->index, d->head[i]);
    d->k += got;
    if (d->k < indexbytes && !d->end) return got > 0 ? stepped : waiting;
    if (d->k == indexbytes && successor(d)) {
        std::memset(d->jobs[d->turn].histogram, 0, sizeof d->jobs[d->turn].histogram);
        d->at = phase::body;
    } else {
        d->at = phase::settle;
    }
    return stepped;
}

int decodebody(vorn_decoder* d, size_t reserve)
{
    blockjob* const job = &d->jobs[d->turn];
    const uint32_t size = uint32_t{1} << d->header;
    const uint32_t got =
        decode_block(&d->m, job->block.get() + d->count, size - d->count, job->histogram, &d->end, reserve);
    d->count += got;
    if (d->count < size && !d->end) return got > 0 ? stepped : waiting;
    d->at = phase::settle;
    return stepped;
}

// A raw tail: the stream's last bytes, as they were decoded.
int rawbytes(vorn_decoder* d, uint32_t n)
{
    d->pending = d->head;
    d->pendinglen = n;
    d->at = phase::nextstream;
    return stepped;
}

// Whether the block just decoded passes every check below and goes to the
// restorer.
bool restorable(const vorn_decoder* d)
{
    return d->k == indexbytes && successor(d) && d->in.overrun == 0 && d->count > rawtail &&
           !(d->firstblock && d->end && headerbyte(d->count) != d->header);
}

// The block is decoded: the block before it goes out first, then this one
// is checked and handed to the restorer. A block that goes to the restorer
// is restored into its own buffer while the one before is handed out; a
// raw tail, and any failure, wait until it has been.
int settle(vorn_decoder* d)
{
    if (d->inhand != nullptr) {
        finishblock(d);
        if (!restorable(d)) return stepped;
    }
    const int header = d->header;
    if (d->k < indexbytes) {
        // A raw tail of 1 to 3 bytes, or nothing after a full block.
        if (d->in.overrun != 0) return VORN_E_TRUNCATED;
        if (d->firstblock ? (d->k == 0 || headerbyte(d->k) != header) : (d->k != 0 && header != maxheader))
            return VORN_E_DAMAGED;
        return rawbytes(d, d->k);
    }
    if (!successor(d)) return VORN_E_DAMAGED;

    report(d, progress_decoding);
    if (d->in.overrun != 0) return VORN_E_TRUNCATED;
    const uint32_t count = d->count;
    if (count == 0) {
        // The index symbols were a raw tail of four bytes.
        if (d->firstblock ? header != headerbyte(rawtail) : header != maxheader) return VORN_E_DAMAGED;
        return rawbytes(d, indexbytes);
    }
    if (count <= rawtail) return VORN_E_DAMAGED;  // a transformed block is longer
    if (d->firstblock && d->end && headerbyte(count) != header) return VORN_E_DAMAGED;

    report(d, progress_processing, static_cast<long>(count));
    blockjob* const job = &d->jobs[d->turn];
    job->count = count;
    job->index = d->index;
    d->inhand = job;
    unsortspace* const space = &d->unsort;
    task_start(&d->restorer, [job, space] {
        unsorttrans(space, job->block.get(), job->out.get(), job->count, job->index, job->histogram);
    });
    if (d->end) {
        d->at = phase::lastblock;
    } else {
        d->firstblock = false;
        d->turn ^= 1;
        startblock(d);
        d->at = phase::index;
    }
    return stepped;
}

// A stop met: the block before the damage still goes out whole, with the
// messages one thread would have given, and then the stream fails.
int failing(vorn_decoder* d)
{
    if (d->inhand != nullptr) {
        finishblock(d);
        return stepped;
    }
    if (d->faildecoding) report(d, progress_decoding);
    d->stopcode = d->failcode;
    return stopstatus(d->failcode);
}

void onstop(vorn_decoder* d, unsigned code)
{
    // A stop of the block before replaces the stop that was waiting for
    // it: that block never comes out.
    d->faildecoding = d->at == phase::body;
    d->failcode = code;
    d->at = phase::failing;
}

int step(vorn_decoder* d, bool final)
{
    const size_t reserve = final ? 0 : maxsymbolbytes;
    switch (d->at) {
    case phase::streamstart: return startstream(d, final);
    case phase::nextstream: return nextstream(d, final);
    case phase::emptyrest: return emptyrest(d, final);
    case phase::open: return openstream(d, final);
    case phase::index: return decodeindex(d, reserve);
    case phase::body: return decodebody(d, reserve);
    case phase::settle: return settle(d);
    case phase::lastblock:
        finishblock(d);
        d->at = phase::endstream;
        return stepped;
    case phase::endstream:
        if (d->in.overrun != 0) return VORN_E_TRUNCATED;
        d->at = phase::nextstream;
        return stepped;
    case phase::failing: return failing(d);
    case phase::ended: break;
    }
    return stepped;
}

// Moves what is left unread to the front of the input buffer and adds
// what fits of the caller's input.
void takeinput(vorn_decoder* d, const uint8_t** src, size_t* left)
{
    uint8_t* const buf = d->inbuf.get();
    const size_t unread = buffered(d);
    if (d->in.pos != buf) {
        std::memmove(buf, d->in.pos, unread);
        d->in.pos = buf;
        d->in.end = buf + unread;
    }
    const size_t take = *left < inputcap - unread ? *left : inputcap - unread;
    if (take == 0) return;
    std::memcpy(buf + unread, *src, take);
    d->in.end += take;
    *src += take;
    *left -= take;
}

int decodesome(vorn_decoder* d, const uint8_t* src, size_t* left, uint8_t** dst, size_t* room, bool finish)
{
    for (;;) {
        handout(&d->pending, &d->pendinglen, dst, room);
        if (d->pendinglen != 0) return VORN_MORE;
        if (d->at == phase::ended) {
            d->state = streamstate::finished;
            return VORN_OK;
        }
        takeinput(d, &src, left);
        int r;
        try {
            r = step(d, finish && *left == 0);
        } catch (const stopped& s) {
            onstop(d, s.code);
            continue;
        }
        if (r < 0) return r;
        if (r == waiting) return *left > 0 ? VORN_MORE : VORN_OK;
    }
}

}  // namespace

vorn_decoder* vorn_decoder_new(int threads)
{
    if (threads < 0 || threads > 2) return nullptr;
    std::unique_ptr<vorn_decoder> d(new (std::nothrow) vorn_decoder);
    if (!d) return nullptr;
    d->restorer.threaded = threads == 0 ? twoprocessors() : threads == 2;
    d->inbuf.reset(new (std::nothrow) uint8_t[inputcap]);
    if (!d->inbuf) return nullptr;
    in_attach_memory(&d->in, d->inbuf.get(), 0);
    return d.release();
}

int vorn_decode(vorn_decoder* d, const void* src, size_t srclen, size_t* srcused, void* dst, size_t dstcap,
                size_t* dstlen, int finish)
{
    return streamcall(d, src, srclen, srcused, dst, dstcap, dstlen,
                      [d, finish](const uint8_t* in, size_t* left, uint8_t** out, size_t* room) {
                          return decodesome(d, in, left, out, room, finish != 0);
                      });
}

void halt(vorn_decoder* d)
{
    task_drop(&d->restorer);
    d->inhand = nullptr;
    d->pendinglen = 0;
}

void vorn_decoder_free(vorn_decoder* d)
{
    if (d == nullptr) return;
    task_drop(&d->restorer);
    deletemodel(&d->m);
    freeunsortspace(&d->unsort);
    delete d;
}

void decoder_progress(vorn_decoder* d, progressfn fn, void* arg)
{
    d->progress = fn;
    d->progressarg = arg;
}

unsigned decoder_stopcode(const vorn_decoder* d) { return d->stopcode; }
