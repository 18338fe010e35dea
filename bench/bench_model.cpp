// Symbols per second through the model, encoding and decoding, on corpus
// text as it stands and on the same text sorted by its two preceding bytes
// (a stand-in for block-sorted data: long runs and a few busy symbols per
// context). Encoder output goes to memory, decoder input comes from memory;
// both go through the block entry points, as the programs do.
//
//   bench_model [file]   (default: the corpus's bible.txt)
//
// A file of transformed blocks (what vorn feeds the model) gives the
// figures that matter for the compressor.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "coder/byteio.h"
#include "model/model.h"

namespace {

using clock_type = std::chrono::steady_clock;

std::vector<uint8_t> readfile(const char* path)
{
    std::vector<uint8_t> data;
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return data;
    for (int c; (c = std::fgetc(f)) != EOF;) data.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
    return data;
}

// Stable counting sort of the bytes by the two bytes before each one.
std::vector<uint8_t> contextsorted(const std::vector<uint8_t>& in)
{
    std::vector<uint32_t> start(65537, 0);
    const size_t n = in.size();
    const auto key = [&](size_t i) {
        return (static_cast<uint32_t>(in[(i + n - 1) % n]) << 8) | in[(i + n - 2) % n];
    };
    for (size_t i = 0; i < n; ++i) ++start[key(i) + 1];
    for (size_t k = 1; k < start.size(); ++k) start[k] += start[k - 1];
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i) out[start[key(i)]++] = in[i];
    return out;
}

double seconds(clock_type::time_point a, clock_type::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

void run(const char* name, const std::vector<uint8_t>& data)
{
    constexpr int rounds = 11;
    std::vector<double> enc, dec;
    std::vector<uint8_t> coded;
    coded.reserve(data.size());
    // Decoded in blocks of the programs' size, counted as they count them.
    std::vector<uint8_t> decoded(0x200000);
    uint32_t histogram[256] = {};
    for (int r = 0; r < rounds; ++r) {
        coded.clear();
        out_attach_memory(&coded);
        auto t0 = clock_type::now();
        initmodel(1);
        encode_block(data.data(), static_cast<uint32_t>(data.size()));
        deletemodel();
        out_flush();
        auto t1 = clock_type::now();
        enc.push_back(seconds(t0, t1));

        in_attach_memory(coded.data(), coded.size());
        size_t got = 0;
        t0 = clock_type::now();
        initmodel(0);
        for (bool end = false; !end;) got += decode_block(decoded.data(), static_cast<uint32_t>(decoded.size()), histogram, &end);
        deletemodel();
        t1 = clock_type::now();
        dec.push_back(seconds(t0, t1));
        if (got != data.size()) {
            std::fprintf(stderr, "%s: decoded %zu of %zu symbols\n", name, got, data.size());
            return;
        }
    }
    std::sort(enc.begin(), enc.end());
    std::sort(dec.begin(), dec.end());
    const double n = static_cast<double>(data.size());
    // The best run too: on a shared machine it is the least disturbed one.
    std::printf("%-14s %9zu symbols -> %8zu bytes (%.3f bits/sym)  encode %6.1f Msym/s (best %6.1f)  "
                "decode %6.1f Msym/s (best %6.1f)  (median of %d)\n",
                name, data.size(), coded.size(), 8.0 * static_cast<double>(coded.size()) / n,
                n / enc[rounds / 2] / 1e6, n / enc[0] / 1e6, n / dec[rounds / 2] / 1e6, n / dec[0] / 1e6, rounds);
}

}  // namespace

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : VORN_CORPUS_DIR "/bible.txt";
    const std::vector<uint8_t> text = readfile(path);
    if (text.empty()) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return 1;
    }
    run("text", text);
    run("context-sorted", contextsorted(text));
    return 0;
}
