// Speed of the forward and inverse sort transforms on 2 MiB blocks of text,
// binary data and random bytes. For the inverse it shows, in nanoseconds per
// byte, the build of the step table (unsort_start) and the walk that writes
// the block through the process output (unsort_walk), as the decompressor
// calls them, beside the whole inverse into a buffer. Medians of several
// runs; every restored block is compared with its input.
//
//   bench_transform [runs [file ...]]   (files of the corpus; default: a set)
#include "bench/bench_timing.h"
#include "coder/byteio.h"
#include "transform/sorttrans.h"
#include "transform/unsorttrans.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t blocksize = 2097152;

// The file's bytes repeated until the block is full; empty if unreadable.
std::vector<uint8_t> fileblock(const std::string& name)
{
    std::ifstream in(std::string(VORN_CORPUS_DIR) + "/" + name, std::ios::binary);
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> block;
    if (data.empty()) return block;
    while (block.size() < blocksize) {
        const size_t take = std::min<size_t>(data.size(), blocksize - block.size());
        block.insert(block.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(take));
    }
    return block;
}

std::vector<uint8_t> randomblock()
{
    std::mt19937 rng(12345);
    std::vector<uint8_t> block(blocksize);
    for (auto& b : block) b = static_cast<uint8_t>(rng());
    return block;
}

double median(std::vector<double> t)
{
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

void run(const char* label, const std::vector<uint8_t>& input, int runs)
{
    if (input.empty()) {
        std::printf("%-12s (missing)\n", label);
        return;
    }
    const uint32_t n = static_cast<uint32_t>(input.size());
    std::vector<uint8_t> block(n);
    uint8_t index[4];
    // Every forward run starts from a fresh copy of the input; the copy is
    // timed alone and taken out.
    const double copy = median_seconds(runs, [&] { std::memcpy(block.data(), input.data(), n); });
    const double fwd = median_seconds(runs, [&] {
        std::memcpy(block.data(), input.data(), n);
        sorttrans(block.data(), n, index);
    });

    const uint32_t idx = index[0] | index[1] << 8 | index[2] << 16 | static_cast<uint32_t>(index[3]) << 24;
    uint32_t hist[256] = {};
    for (const uint8_t c : input) ++hist[c];
    std::vector<uint8_t> out(n);
    bool intact = true;
    const double inv = median_seconds(runs, [&] {
        uint32_t counts[256];
        std::memcpy(counts, hist, sizeof counts);
        unsorttrans(block.data(), out.data(), n, idx, counts);
    });
    intact = intact && out == input;

    // Build and walk apart, the walk writing through the process output.
    std::vector<double> build, walk;
    std::vector<uint8_t> sink;
    sink.reserve(n);
    for (int r = 0; r < runs; ++r) {
        uint32_t counts[256];
        std::memcpy(counts, hist, sizeof counts);
        sink.clear();
        out_attach_memory(&sink);
        const auto t0 = std::chrono::steady_clock::now();
        unsort_start(block.data(), n, idx, counts);
        const auto t1 = std::chrono::steady_clock::now();
        unsort_walk(n);
        const auto t2 = std::chrono::steady_clock::now();
        out_flush();
        build.push_back(seconds(t0, t1));
        walk.push_back(seconds(t1, t2));
        intact = intact && unsort_whole() && sink == input;
    }
    out_attach_fd(1);
    if (!intact) std::printf("%-12s ROUND TRIP FAILED\n", label);
    const double ns = 1e9 / n;
    std::printf("%-12s sorttrans %6.1f MB/s   unsorttrans %6.2f ns/B   build %5.2f ns/B   walk %6.2f ns/B\n", label,
                n / (fwd - copy) / 1e6, inv * ns, median(build) * ns, median(walk) * ns);
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    if (argc > 2) {
        for (int i = 2; i < argc; ++i) run(argv[i], argv[i] == std::string("random") ? randomblock() : fileblock(argv[i]), runs);
        return 0;
    }
    run("bible.txt", fileblock("bible.txt"), runs);
    run("world192.txt", fileblock("world192.txt"), runs);
    run("kennedy.xls", fileblock("kennedy.xls"), runs);
    run("ptt5", fileblock("ptt5"), runs);
    run("random", randomblock(), runs);
    return 0;
}
