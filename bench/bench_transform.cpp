// Speed of the forward and inverse sort transforms on 2 MiB blocks of text,
// binary data and random bytes. For the inverse it shows, in nanoseconds per
// byte, the whole inverse (unsorttrans), and apart the build of the step
// table (unsort_start) and the walk (unsort_walk), all into a buffer: wall
// time, and processor time, which a busy machine disturbs less. Medians of
// several runs; every restored block is compared with its input.
//
//   bench_transform [runs] [input ...]
//
// An input is "random", "random-twice" (1 MiB of random bytes twice), a
// file (its first 2 MiB, repeated to fill the block when shorter), or the
// name of a file of the corpus; by default a set of them. A first argument
// made of digits only is the number of runs.
#include "bench/bench_timing.h"
#include "common/blocksize.h"
#include "transform/sorttrans.h"
#include "transform/unsorttrans.h"

#include <chrono>
#include <cstdint>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

// The first block of a file, its bytes repeated until the block is full
// when it is shorter; empty if unreadable or empty.
std::vector<uint8_t> fileblock(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> data(blocksize);
    in.read(reinterpret_cast<char*>(data.data()), blocksize);
    data.resize(static_cast<size_t>(in.gcount()));
    std::vector<uint8_t> block;
    if (data.empty()) return block;
    while (block.size() < blocksize) {
        const size_t take = std::min<size_t>(data.size(), blocksize - block.size());
        block.insert(block.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(take));
    }
    return block;
}

// Random bytes; with `period`, the first period bytes repeated.
std::vector<uint8_t> randomblock(uint32_t period = blocksize)
{
    std::mt19937 rng(12345);
    std::vector<uint8_t> block(blocksize);
    for (uint32_t i = 0; i < blocksize; ++i) block[i] = i < period ? static_cast<uint8_t>(rng()) : block[i - period];
    return block;
}

std::vector<uint8_t> corpusblock(const std::string& name)
{
    return fileblock(std::string(VORN_CORPUS_DIR) + "/" + name);
}

std::vector<uint8_t> namedblock(const std::string& name)
{
    if (name == "random") return randomblock();
    if (name == "random-twice") return randomblock(blocksize / 2);
    std::vector<uint8_t> block = fileblock(name);
    return block.empty() ? corpusblock(name) : block;
}

double median(std::vector<double> t)
{
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// Wall time and processor time of one moment.
struct stamp {
    std::chrono::steady_clock::time_point wall;
    std::clock_t cpu;
};

stamp now()
{
    return {std::chrono::steady_clock::now(), std::clock()};
}

double wallseconds(const stamp& a, const stamp& b)
{
    return std::chrono::duration<double>(b.wall - a.wall).count();
}

double cpuseconds(const stamp& a, const stamp& b)
{
    return static_cast<double>(b.cpu - a.cpu) / CLOCKS_PER_SEC;
}

void run(const char* label, const std::vector<uint8_t>& input, int runs)
{
    if (input.empty()) {
        std::printf("%-13s cannot be read: give a file, a file of the corpus, random or random-twice\n", label);
        return;
    }
    const uint32_t n = static_cast<uint32_t>(input.size());
    std::vector<uint8_t> block(n);
    uint8_t index[4];
    sortspace sorting{};
    unsortspace restoring{};
    // Every forward run starts from a fresh copy of the input; the copy is
    // timed alone and taken out.
    const double copy = median_seconds(runs, [&] { std::memcpy(block.data(), input.data(), n); });
    const double fwd = median_seconds(runs, [&] {
        std::memcpy(block.data(), input.data(), n);
        sorttrans(&sorting, block.data(), n, index);
    });

    const uint32_t idx = index[0] | index[1] << 8 | index[2] << 16 | static_cast<uint32_t>(index[3]) << 24;
    uint32_t hist[256] = {};
    for (const uint8_t c : input) ++hist[c];

    // Per run: the whole inverse, then build and walk apart.
    std::vector<double> inv, invcpu, build, buildcpu, walk, walkcpu;
    std::vector<uint8_t> out(n);
    std::vector<uint8_t> walked(n);
    bool intact = true;
    for (int r = 0; r < runs; ++r) {
        uint32_t counts[256];
        std::memcpy(counts, hist, sizeof counts);
        const stamp t0 = now();
        unsorttrans(&restoring, block.data(), out.data(), n, idx, counts);
        const stamp t1 = now();
        intact = intact && out == input;

        std::memcpy(counts, hist, sizeof counts);
        const stamp t2 = now();
        unsort_start(&restoring, block.data(), n, idx, counts);
        const stamp t3 = now();
        unsort_walk(&restoring, walked.data(), n);
        const stamp t4 = now();
        intact = intact && unsort_whole(&restoring) && walked == input;
        inv.push_back(wallseconds(t0, t1));
        invcpu.push_back(cpuseconds(t0, t1));
        build.push_back(wallseconds(t2, t3));
        buildcpu.push_back(cpuseconds(t2, t3));
        walk.push_back(wallseconds(t3, t4));
        walkcpu.push_back(cpuseconds(t3, t4));
    }
    if (!intact) std::printf("%-13s ROUND TRIP FAILED\n", label);
    const double ns = 1e9 / n;
    std::printf("%-13s sorttrans %6.1f MB/s   ns/B wall (cpu): unsorttrans %6.2f (%6.2f)   build %5.2f (%5.2f)"
                "   walk %6.2f (%6.2f)\n",
                label, n / (fwd - copy) / 1e6, median(inv) * ns, median(invcpu) * ns, median(build) * ns,
                median(buildcpu) * ns, median(walk) * ns, median(walkcpu) * ns);
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 7;
    int first = 1;
    if (argc > 1 && argv[1][0] != 0 && std::strspn(argv[1], "0123456789") == std::strlen(argv[1])) {
        runs = std::max(1, std::atoi(argv[1]));
        first = 2;
    }
    std::vector<std::string> inputs(argv + first, argv + argc);
    if (inputs.empty()) inputs = {"bible.txt", "world192.txt", "kennedy.xls", "ptt5", "random", "random-twice"};
    for (const std::string& name : inputs) {
        const size_t slash = name.find_last_of('/');
        run(slash == std::string::npos ? name.c_str() : name.c_str() + slash + 1, namedblock(name), runs);
    }
    return 0;
}
