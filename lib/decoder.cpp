// The streaming decoder: a stream's start, then its blocks, each decoded
// symbol by symbol into one of two buffers and restored beside the
// decoding of the next (restorer.h), then the end of the stream and
// whatever follows it. Its checks of the stream's layout are in framing.h;
// deeper damage is found by the model and the inverse transform, which
// stop (common/stop.h).
//
// Input comes in pieces of any size (feed.h). A new symbol is decoded
// outright while the input holds the most that one symbol can read
// (maxsymbolbytes, model/model.h), or once the caller has said that no
// input follows. With fewer bytes, the decoder first tries the symbols on
// a probe, a copy of the model, and then decodes for real exactly those
// that the probe finished without running out of input: so a stream's
// last symbols, and its end, come out as soon as their bytes are there.
//
// What the caller sees is what one thread would give, in the same order:
// a block is handed out whole, with its "done", before anything of the
// next block is handed out or any check of the next can end the stream;
// no byte of a block that fails a check is handed out, nor anything after
// it. Pending output is handed out before anything else happens.
#include <cstring>
#include <new>

#include "lib/entry.h"
#include "lib/feed.h"
#include "lib/format.h"
#include "lib/framing.h"
#include "lib/programs.h"
#include "lib/restorer.h"
#include "model/model.h"

namespace {

// Where the decoder stands; each phase is one step of work.
enum class phase {
    start,      // where a stream may begin
    open,       // the model's opening: first bytes and first run
    index,      // a block's index symbols
    body,       // a block's bytes
    settle,     // the block before is finished, then this block checked
    lastblock,  // the stream's last block is restored
    endstream,  // the stream is read exactly to its end
    failing,    // a stop: the block before goes out, then the failure
    ended,      // the input is at its end after complete streams
};

// What a step did.
enum class outcome {
    went,       // it did its work: go on
    waits,      // it needs more input than the call holds
    streamend,  // a stream ended, and the decoder stops at each end
    failed,     // the stream failed (the status is kept in the record)
};

}  // namespace

struct vorn_decoder;

// Leaves a failed decoder safe to free: no work running, nothing more
// handed out.
void halt(vorn_decoder* d);

struct vorn_decoder {
    model m{};
    model probe{};  // tries symbols ahead on a short input
    feed input{};
    restorer pipe;
    const uint8_t* pending = nullptr;  // output not yet handed out
    size_t pendinglen = 0;

    phase at = phase::start;
    bool following = false;  // a complete stream came before
    bool stopatend = false;  // vorn_decoder_stop_at_end
    bool begun = false;      // vorn_decode has been called
    int header = 0;
    bool firstblock = true;
    uint8_t head[indexbytes] = {};  // the index symbols, or a raw tail
    uint32_t k = 0;          // index symbols decoded
    uint32_t index = 0;
    uint32_t count = 0;      // block symbols decoded
    bool end = false;        // the end symbol came

    int failstatus = VORN_OK;  // the failure being reported
    unsigned failcode = 0;     // its stop, if it is one
    bool faildecoding = false;
    streamstate state = streamstate::running;
    finishguard guard;
    unsigned stopcode = 0;
    progressfn progress = nullptr;
    void* progressarg = nullptr;
};

namespace {

void report(vorn_decoder* d, progressevent event, long value = 0)
{
    if (d->progress != nullptr) d->progress(d->progressarg, event, value);
}

outcome fail(vorn_decoder* d, int status)
{
    d->failstatus = status;
    return outcome::failed;
}

void startblock(vorn_decoder* d)
{
    d->k = 0;
    d->index = 0;
    d->count = 0;
    d->end = false;
}

// Waits for the block being restored and hands it out.
void finishblock(vorn_decoder* d)
{
    const blockjob* const job = restorer_finish(&d->pipe);
    report(d, progress_done);
    d->pending = job->out.get();
    d->pendinglen = job->count;
}

// Where a stream may begin: at the input's start, or after a complete
// stream, where streams one after the other (as `cat a.vn b.vn` makes
// them) are restored and anything else is trailing data.
outcome startstream(vorn_decoder* d, bool final)
{
    bytein* const in = &d->input.in;
    const streamstart s = classifystart(in->pos, feed_available(&d->input), final, d->following);
    switch (s.kind) {
    case startkind::more: return outcome::waits;
    case startkind::nothing:
        if (!d->following) return fail(d, VORN_E_EMPTY);
        d->at = phase::ended;
        return outcome::went;
    case startkind::empty:
        in->pos += s.length;
        d->at = phase::endstream;
        return outcome::went;
    case startkind::stream:
        if (d->following) report(d, progress_nextstream);
        d->header = s.header;
        ++in->pos;  // the coder starts on byte 1
        d->at = phase::open;
        return outcome::went;
    default: return fail(d, startfailure(s.kind, d->following));
    }
}

// Runs fn on input that may be too short for it: when it reads past the
// end of what the call holds, or stops after doing so, the input is put
// back as it was and fn's work counts for nothing (fn must start afresh
// when tried again). A stop that came before the end is real.
template <typename Fn>
bool ontrial(bytein* in, Fn fn)
{
    const uint8_t* const pos = in->pos;
    const uint64_t overrun = in->overrun;
    try {
        fn();
    } catch (const stopped&) {
        if (in->overrun == overrun) throw;
    }
    if (in->overrun == overrun) return true;
    in->pos = pos;
    in->overrun = overrun;
    return false;
}

outcome openstream(vorn_decoder* d, bool final)
{
    bytein* const in = &d->input.in;
    const auto open = [d, in] {
        if (initmodel(&d->m, 0, in, nullptr) != 0) errorstop(err_nomemory);
    };
    if (final || feed_available(&d->input) >= maxsymbolbytes)
        open();
    else if (!ontrial(in, open))
        return outcome::waits;
    restorer_reserve(&d->pipe, uint32_t{1} << d->header);
    d->firstblock = true;
    startblock(d);
    d->at = phase::index;
    return outcome::went;
}

// Decodes up to n symbols into buf (counting them in histogram) as far as
// the input allows; *starved when it stopped for want of input.
uint32_t decodesymbols(vorn_decoder* d, uint8_t* buf, uint32_t n, uint32_t* histogram, bool final, bool* starved)
{
    *starved = false;
    if (final || feed_available(&d->input) >= maxsymbolbytes)
        return decode_block(&d->m, buf, n, histogram, &d->end, final ? 0 : maxsymbolbytes);

    // The probe finds how many bytes come from symbols that the input
    // holds whole; they are then decoded for real.
    bytein probein = d->input.in;
    copymodel(&d->probe, &d->m, &probein);
    uint32_t scratch[256] = {};
    uint32_t whole = 0;
    bool end = false;
    while (whole < n && !end) {
        if (d->probe.runlength != 0) {
            const uint64_t copies = n - whole < d->probe.runlength ? n - whole : d->probe.runlength;
            whole += static_cast<uint32_t>(copies);
            d->probe.runlength -= copies;
            continue;
        }
        uint32_t got = 0;
        const bool held = ontrial(&probein, [&] { got = decode_block(&d->probe, buf + whole, 1, scratch, &end, 0); });
        if (!held) {
            *starved = true;
            break;
        }
        whole += got;
    }
    // Past the symbols the input holds, the probe's last call read past
    // its end; before them, the real model reads what the probe read.
    return decode_block(&d->m, buf, *starved ? whole : n, histogram, &d->end, 0);
}

// The index: up to four symbols, the first the least significant.
outcome decodeindex(vorn_decoder* d, bool final)
{
    uint32_t scratch[256];  // the index symbols are not counted
    bool starved;
    const uint32_t got = decodesymbols(d, d->head + d->k, indexbytes - d->k, scratch, final, &starved);
    for (uint32_t i = d->k; i < d->k + got; ++i) d->index = indexsymbol(d->index, d->head[i]);
    d->k += got;
    if (got != 0) restorer_overlap(&d->pipe);
    if (d->k < indexbytes && !d->end) return starved ? outcome::waits : outcome::went;
    if (d->k == indexbytes && successor(d->header, d->firstblock)) {
        std::memset(restorer_filling(&d->pipe)->histogram, 0, sizeof restorer_filling(&d->pipe)->histogram);
        d->at = phase::body;
    } else {
        d->at = phase::settle;
    }
    return outcome::went;
}

outcome decodebody(vorn_decoder* d, bool final)
{
    blockjob* const job = restorer_filling(&d->pipe);
    const uint32_t size = uint32_t{1} << d->header;
    bool starved;
    d->count += decodesymbols(d, job->block.get() + d->count, size - d->count, job->histogram, final, &starved);
    if (d->count < size && !d->end) return starved ? outcome::waits : outcome::went;
    d->at = phase::settle;
    return outcome::went;
}

// The block is decoded: the block before it goes out first, then this one
// is checked, and handed to the inverse transform, which restores it into
// its own buffer while the one before is handed out. A raw tail, and any
// failure, wait until the block before has been handed out.
outcome settle(vorn_decoder* d)
{
    const blockverdict v =
        checkblock({d->header, d->firstblock, d->k, d->count, d->end, d->input.in.overrun != 0});
    if (d->pipe.inhand != nullptr) {
        finishblock(d);
        if (v.kind != blockkind::transform) return outcome::went;
    }
    if (v.decoding) report(d, progress_decoding);
    switch (v.kind) {
    case blockkind::truncated: return fail(d, VORN_E_TRUNCATED);
    case blockkind::damaged: return fail(d, VORN_E_DAMAGED);
    case blockkind::rawtail:
        d->pending = d->head;
        d->pendinglen = v.rawbytes;
        d->at = phase::endstream;
        return outcome::went;
    case blockkind::transform: break;
    }
    report(d, progress_processing, static_cast<long>(d->count));
    // The inverse transform goes to the second thread at once when the
    // stream has shown a second block (this one), so that it runs while the
    // block before is handed out; a stream's first block goes there once a
    // symbol of the next one is decoded.
    restorer_start(&d->pipe, d->count, d->index);
    if (!d->firstblock) restorer_overlap(&d->pipe);
    if (d->end) {
        d->at = phase::lastblock;
    } else {
        d->firstblock = false;
        startblock(d);
        d->at = phase::index;
    }
    return outcome::went;
}

outcome endstream(vorn_decoder* d)
{
    if (d->input.in.overrun != 0) return fail(d, VORN_E_TRUNCATED);
    d->at = phase::start;
    if (d->stopatend) {
        d->following = false;
        return outcome::streamend;
    }
    d->following = true;
    return outcome::went;
}

// A stop met: the block before the damage still goes out whole, with the
// messages one thread would have given, and then the stream fails.
outcome failing(vorn_decoder* d)
{
    if (d->pipe.inhand != nullptr) {
        finishblock(d);
        return outcome::went;
    }
    if (d->faildecoding) report(d, progress_decoding);
    d->stopcode = reportedcode(d->failcode);
    return outcome::failed;
}

// A stop thrown by a step. Where the decoder had read past the end of the
// input to get there, the stream is cut short, whatever the stop says: the
// bytes it read in place of the missing ones are not the stream's. A stop
// of the block before (from its restoration) replaces a stop that was
// waiting for it: that block never comes out.
void onstop(vorn_decoder* d, unsigned code)
{
    const bool decoding = d->at == phase::open || d->at == phase::index || d->at == phase::body;
    const bool cut = decoding && d->input.in.overrun != 0;
    d->faildecoding = d->at == phase::body;
    d->failstatus = cut ? VORN_E_TRUNCATED : stopstatus(code);
    d->failcode = cut ? 0 : code;
    d->at = phase::failing;
}

outcome step(vorn_decoder* d, bool final)
{
    switch (d->at) {
    case phase::start: return startstream(d, final);
    case phase::open: return openstream(d, final);
    case phase::index: return decodeindex(d, final);
    case phase::body: return decodebody(d, final);
    case phase::settle: return settle(d);
    case phase::lastblock:
        finishblock(d);
        d->at = phase::endstream;
        return outcome::went;
    case phase::endstream: return endstream(d);
    case phase::failing: return failing(d);
    case phase::ended: break;
    }
    return outcome::went;
}

int decodesome(vorn_decoder* d, const uint8_t* src, size_t* left, uint8_t** dst, size_t* room, bool finish)
{
    feed* const f = &d->input;
    feed_begin(f, src, *left);
    const size_t given = *left;
    for (;;) {
        handout(&d->pending, &d->pendinglen, dst, room);
        if (d->pendinglen != 0) {
            *left = given - feed_stop(f);
            return VORN_MORE;
        }
        if (d->at == phase::ended) {
            *left = given - feed_stop(f);
            d->state = streamstate::finished;
            return VORN_OK;
        }
        feed_settle(f);
        outcome o;
        try {
            o = step(d, finish && !feed_more(f));
        } catch (const stopped& s) {
            onstop(d, s.code);
            continue;
        }
        switch (o) {
        case outcome::went: continue;
        case outcome::waits: *left = given - feed_keep(f); return *left > 0 ? VORN_MORE : VORN_OK;
        case outcome::streamend: *left = given - feed_stop(f); return VORN_END;
        case outcome::failed: *left = given - feed_stop(f); return d->failstatus;
        }
    }
}

}  // namespace

vorn_decoder* vorn_decoder_new(int threads)
{
    if (threads < 0 || threads > 2) return nullptr;
    vorn_decoder* const d = new (std::nothrow) vorn_decoder;
    if (d == nullptr) return nullptr;
    d->pipe.work.threaded = secondthread(threads);
    return d;
}

int vorn_decoder_stop_at_end(vorn_decoder* d)
{
    if (d == nullptr) return VORN_E_ARGUMENT;
    if (d->begun) return VORN_E_STATE;
    d->stopatend = true;
    return VORN_OK;
}

int vorn_decode(vorn_decoder* d, const void* src, size_t srclen, size_t* srcused, void* dst, size_t dstcap,
                size_t* dstlen, int finish)
{
    if (d != nullptr) d->begun = true;
    return streamcall(d, src, srclen, srcused, dst, dstcap, dstlen, finish,
                      [d, finish](const uint8_t* in, size_t* left, uint8_t** out, size_t* room) {
                          return decodesome(d, in, left, out, room, finish != 0);
                      });
}

void halt(vorn_decoder* d)
{
    restorer_drop(&d->pipe);
    d->pendinglen = 0;
}

void vorn_decoder_free(vorn_decoder* d)
{
    if (d == nullptr) return;
    restorer_free(&d->pipe);
    deletemodel(&d->m);
    deletemodel(&d->probe);
    delete d;
}

void decoder_progress(vorn_decoder* d, progressfn fn, void* arg)
{
    d->progress = fn;
    d->progressarg = arg;
}

unsigned decoder_stopcode(const vorn_decoder* d) { return d->stopcode; }

unsigned decoder_threadstarts(const vorn_decoder* d) { return d->pipe.work.started; }
