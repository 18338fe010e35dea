// Speed of the forward and inverse sort transforms on 2 MiB blocks of text,
// binary data and random bytes. Prints MB/s (10^6 bytes per second) from the
// median of several runs.
#include "bench/bench_timing.h"
#include "transform/sorttrans.h"
#include "transform/unsorttrans.h"

#include <cstdint>
#include <cstdio>
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
    const double inv = median_seconds(runs, [&] {
        uint32_t counts[256];
        std::memcpy(counts, hist, sizeof counts);
        unsorttrans(block.data(), out.data(), n, idx, counts);
    });
    if (out != input) std::printf("%-12s ROUND TRIP FAILED\n", label);
    std::printf("%-12s sorttrans %7.1f MB/s   unsorttrans %6.1f MB/s\n", label, n / (fwd - copy) / 1e6, n / inv / 1e6);
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    run("bible.txt", fileblock("bible.txt"), runs);
    run("world192", fileblock("world192.txt"), runs);
    run("kennedy.xls", fileblock("kennedy.xls"), runs);
    run("ptt5", fileblock("ptt5"), runs);
    run("random", randomblock(), runs);
    return 0;
}
