// The streaming encoder: input is gathered into blocks of blocksize bytes;
// each full block is sorted while the block before it is coded (task.h),
// and the coded bytes wait in `coded` until the caller has room for them.
//
// A block is coded in slices, with the output handed out between them, so
// that what waits never grows beyond what one slice can make of its bytes,
// however badly they code. The stream's end (the end symbol and the
// coder's flush) is written once the caller finishes. A run of one byte
// value that would outgrow a run number ends the stream before the block
// that could take it there; the input goes on in a new stream.
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "coder/byteio.h"
#include "lib/entry.h"
#include "lib/format.h"
#include "lib/programs.h"
#include "lib/task.h"
#include "model/model.h"
#include "transform/sorttrans.h"

namespace {

constexpr uint32_t slice = 1u << 18;       // bytes of a block coded between handouts
constexpr uint32_t shortblock = 1u << 16;  // a block sorted faster than a thread starts

// One block of input, and how far its coding has come.
struct inblock {
    std::unique_ptr<uint8_t[]> buf;
    uint32_t length = 0;
    uint8_t index[indexbytes] = {};
    uint32_t coded = 0;    // bytes coded so far
    bool started = false;  // its header, index and first message are out
};

}  // namespace

struct vorn_encoder;

// Leaves a failed encoder safe to free: no work running, nothing more
// written.
void halt(vorn_encoder* e);

struct vorn_encoder {
    model m{};
    byteout out{};
    std::vector<uint8_t> coded;  // what out has flushed
    size_t handed = 0;           // of it, bytes handed out
    sortspace sort{};
    task sorter;
    inblock blocks[2];
    int fill = 0;              // the block taking input
    bool queued = false;       // the other block is with the sorter, not yet coded
    inblock* coding = nullptr; // the block being coded in slices
    bool first = true;         // the next block is a stream's first
    bool ended = false;        // the end of the stream is written
    streamstate state = streamstate::running;
    finishguard guard;
    uint64_t splitrun = maxrun;
    unsigned stopcode = 0;
    progressfn progress = nullptr;
    void* progressarg = nullptr;
};

namespace {

void report(vorn_encoder* e, progressevent event, long value = 0)
{
    if (e->progress != nullptr) e->progress(e->progressarg, event, value);
}

void sortblock(vorn_encoder* e, inblock* b)
{
    if (b->length > rawtail) sorttrans(&e->sort, b->buf.get(), b->length, b->index);
}

void openmodel(vorn_encoder* e)
{
    if (initmodel(&e->m, 1, nullptr, &e->out) != 0) errorstop(err_nomemory);
}

// The start of a block: its message, a new stream where the run could
// outgrow its run number, the header byte of a stream's first block, and
// the index (or the whole of a raw tail).
void startblock(vorn_encoder* e, inblock* b)
{
    const uint32_t length = b->length;
    report(e, progress_block, length);
    if (!e->first && currentrun(&e->m) + indexbytes + length > e->splitrun) {
        deletemodel(&e->m);
        openmodel(e);
        e->first = true;
    }
    if (e->first) {
        putbyte(&e->out, headerbyte(length));
        e->first = false;
    }
    b->started = true;
    if (length <= rawtail) {
        encode_block(&e->m, b->buf.get(), length);
        b->coded = length;
        return;
    }
    encode_block(&e->m, b->index, indexbytes);
    report(e, progress_coding);
}

// Codes the next slice of the block in hand; a block coded whole is done
// and its buffer takes input again.
void codeslice(vorn_encoder* e)
{
    inblock* const b = e->coding;
    if (!b->started) {
        startblock(e, b);
    } else {
        const uint32_t n = b->length - b->coded < slice ? b->length - b->coded : slice;
        encode_block(&e->m, b->buf.get() + b->coded, n);
        b->coded += n;
        if (b->coded == b->length) report(e, progress_done);
    }
    if (b->coded == b->length) {
        b->length = b->coded = 0;
        b->started = false;
        e->coding = nullptr;
    }
    out_flush(&e->out);
}

// A full block (or the last) goes to the sorter; the one sorted before it
// is coded meanwhile. With nothing to code beside it, the sort waits for
// the caller's thread, unless input for another block arrives first: a
// stream of one block never starts a thread. Nor does a short last block,
// whose sort costs less than starting one.
void handoff(vorn_encoder* e)
{
    inblock* const full = &e->blocks[e->fill];
    inblock* const other = &e->blocks[1 - e->fill];
    const bool coding = e->queued;
    if (coding) {
        task_wait(&e->sorter);
        e->coding = other;
    }
    auto sort = [e, full] { sortblock(e, full); };
    if (coding && full->length >= shortblock)
        task_start(&e->sorter, sort);
    else
        task_defer(&e->sorter, sort);
    e->queued = true;
    e->fill = 1 - e->fill;
}

// After the last input: a partial block goes to the sorter as a full one
// would, the block with the sorter is coded, and then the stream ends.
void finishstream(vorn_encoder* e)
{
    if (e->blocks[e->fill].length > 0) {
        handoff(e);
    } else if (e->queued) {
        task_wait(&e->sorter);
        e->queued = false;
        e->coding = &e->blocks[1 - e->fill];
    } else {
        deletemodel(&e->m);
        out_flush(&e->out);
        e->ended = true;
    }
}

int encodesome(vorn_encoder* e, const uint8_t* src, size_t* left, uint8_t** dst, size_t* room, bool finish)
{
    for (;;) {
        if (e->handed < e->coded.size()) {
            const uint8_t* pending = e->coded.data() + e->handed;
            size_t pendinglen = e->coded.size() - e->handed;
            handout(&pending, &pendinglen, dst, room);
            e->handed = e->coded.size() - pendinglen;
            if (pendinglen != 0) return VORN_MORE;
            // All handed out: the output starts again at the front.
            e->coded.clear();
            e->handed = 0;
            out_attach_memory(&e->out, &e->coded);
        }
        if (e->coding != nullptr) {
            codeslice(e);
            continue;
        }
        if (e->ended) {
            e->state = streamstate::finished;
            return VORN_OK;
        }
        inblock* const fill = &e->blocks[e->fill];
        if (*left > 0 && fill->length < blocksize) {
            const size_t take = *left < blocksize - fill->length ? *left : blocksize - fill->length;
            std::memcpy(fill->buf.get() + fill->length, src, take);
            fill->length += static_cast<uint32_t>(take);
            src += take;
            *left -= take;
            task_release(&e->sorter);
        }
        if (fill->length == blocksize) {
            handoff(e);
            continue;
        }
        if (!finish) return VORN_OK;
        finishstream(e);
    }
}

}  // namespace

vorn_encoder* vorn_encoder_new(int threads)
{
    if (threads < 0 || threads > 2) return nullptr;
    std::unique_ptr<vorn_encoder> e(new (std::nothrow) vorn_encoder);
    if (!e) return nullptr;
    e->sorter.threaded = secondthread(threads);
    for (inblock& b : e->blocks) {
        b.buf.reset(new (std::nothrow) uint8_t[blocksize]);
        if (!b.buf) return nullptr;
    }
    try {
        out_attach_memory(&e->out, &e->coded);
        openmodel(e.get());
    } catch (const stopped&) {
        abandonmodel(&e->m);
        out_close(&e->out);
        return nullptr;
    }
    return e.release();
}

int vorn_encode(vorn_encoder* e, const void* src, size_t srclen, size_t* srcused, void* dst, size_t dstcap,
                size_t* dstlen, int finish)
{
    return streamcall(e, src, srclen, srcused, dst, dstcap, dstlen, finish,
                      [e, finish](const uint8_t* in, size_t* left, uint8_t** out, size_t* room) {
                          return encodesome(e, in, left, out, room, finish != 0);
                      });
}

void halt(vorn_encoder* e)
{
    task_drop(&e->sorter);
    abandonmodel(&e->m);
}

void vorn_encoder_free(vorn_encoder* e)
{
    if (e == nullptr) return;
    task_drop(&e->sorter);
    abandonmodel(&e->m);
    out_close(&e->out);
    freesortspace(&e->sort);
    delete e;
}

void encoder_progress(vorn_encoder* e, progressfn fn, void* arg)
{
    e->progress = fn;
    e->progressarg = arg;
}

unsigned encoder_stopcode(const vorn_encoder* e) { return e->stopcode; }

void encoder_splitrun(vorn_encoder* e, uint64_t run) { e->splitrun = run < maxrun ? run : maxrun; }

unsigned encoder_threadstarts(const vorn_encoder* e) { return e->sorter.started; }
