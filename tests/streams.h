// Running a stream of the library over memory, for tests and fuzz replays
// alike (no test framework): either direction, in pieces of any size on
// either side, with one or two threads, its progress recorded as a short
// trace. Every test that runs whole streams goes through here.
#pragma once

#include <string>

#include "lib/programs.h"
#include "lib/vorn.h"
#include "tests/harness.h"

struct streamhow {
    int threads = 1;          // 1 or 2 (0: as the programs choose)
    size_t inpiece = 0;       // input handed over per call; 0: all at once
    size_t outpiece = 1 << 20;  // output room per call
    size_t outlimit = 0;      // stop once the output passes this; 0: no limit
    uint64_t splitrun = 0;    // encoder: the run that starts a new stream; 0: the default
};

constexpr int stream_overlong = -100;  // the output passed outlimit
constexpr int stream_stalled = -101;   // a call took nothing and gave nothing, yet asked for more

struct streamrun {
    int status = VORN_OK;
    bytes out;
    unsigned stopcode = 0;   // the core stop behind a failure
    std::string trace;       // progress events: "b<length> c d D p<count> n"
};

inline void tracevent(void* arg, progressevent event, long value)
{
    std::string& t = *static_cast<std::string*>(arg);
    t += "bcdDpn"[event];
    if (event == progress_block || event == progress_processing) t += std::to_string(value);
    t += ' ';
}

// The parts one after the other.
inline bytes joined(std::initializer_list<bytes> parts)
{
    bytes all;
    for (const bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Runs the whole of input through a new encoder (compress) or decoder.
inline streamrun runstream(bool compress, const bytes& input, const streamhow& how = {})
{
    streamrun r;
    vorn_encoder* const e = compress ? vorn_encoder_new(how.threads) : nullptr;
    vorn_decoder* const d = compress ? nullptr : vorn_decoder_new(how.threads);
    if (e == nullptr && d == nullptr) {
        r.status = VORN_E_NOMEMORY;
        return r;
    }
    if (e != nullptr) {
        encoder_progress(e, tracevent, &r.trace);
        if (how.splitrun != 0) encoder_splitrun(e, how.splitrun);
    } else {
        decoder_progress(d, tracevent, &r.trace);
    }
    bytes room(how.outpiece);
    size_t at = 0;
    for (;;) {
        const size_t rest = input.size() - at;
        const size_t give = how.inpiece != 0 && how.inpiece < rest ? how.inpiece : rest;
        const int last = give == rest;
        size_t used = 0, made = 0;
        const int status = e != nullptr
            ? vorn_encode(e, input.data() + at, give, &used, room.data(), room.size(), &made, last)
            : vorn_decode(d, input.data() + at, give, &used, room.data(), room.size(), &made, last);
        at += used;
        r.out.insert(r.out.end(), room.begin(), room.begin() + static_cast<long>(made));
        r.status = status;
        if (status < 0 || (status == VORN_OK && last)) break;
        if (how.outlimit != 0 && r.out.size() > how.outlimit) {
            r.status = stream_overlong;
            break;
        }
        if (status == VORN_MORE && used == 0 && made == 0) {
            r.status = stream_stalled;
            break;
        }
    }
    r.stopcode = e != nullptr ? encoder_stopcode(e) : decoder_stopcode(d);
    vorn_encoder_free(e);
    vorn_decoder_free(d);
    return r;
}

// The stream of plain, in one call.
inline bytes packed(const bytes& plain) { return runstream(true, plain).out; }
