// Symbols per second through the model, encoding and decoding, on what the
// programs feed it: each input cut into 2 MiB blocks, each block sorted by
// the forward transform, its four index symbols and its bytes coded in turn.
// With -raw the bytes go through untransformed instead. Encoder output goes
// to memory, decoder input comes from memory; both go through the block
// entry points, as the programs do.
//
//   bench_model [-raw] [-rounds N] [input ...]
//
// An input is a file, or "random" for 4 MiB of seeded uniform bytes. By
// default: the corpus's bible.txt, world192.txt, kennedy.xls and random.
// Each line gives the median and the best of the rounds and a digest of
// the coded stream, which must not change when the code does. Times are
// the thread's processor time, which a busy shared machine disturbs less
// than the wall clock (a round waiting for a processor is not counted);
// the best round is the least disturbed. "-rounds 1" with one
// input suits an instruction count under a simulator.
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "coder/byteio.h"
#include "model/modelstate.h"
#include "common/blocksize.h"
#include "transform/sorttrans.h"

namespace {

std::vector<uint8_t> readfile(const char* path)
{
    std::vector<uint8_t> data;
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return data;
    uint8_t buf[65536];
    for (size_t got; (got = std::fread(buf, 1, sizeof buf, f)) != 0;) data.insert(data.end(), buf, buf + got);
    std::fclose(f);
    return data;
}

std::vector<uint8_t> randombytes(size_t n)
{
    std::mt19937 rng(12);
    std::vector<uint8_t> data(n);
    for (uint8_t& b : data) b = static_cast<uint8_t>(rng() >> 24);
    return data;
}

// One block as the model sees it: the index symbols (none untransformed)
// and the bytes.
struct block {
    std::vector<uint8_t> head;
    std::vector<uint8_t> body;
};

std::vector<block> cut(const std::vector<uint8_t>& data, bool transform)
{
    std::vector<block> blocks;
    sortspace space{};
    for (size_t at = 0; at < data.size(); at += blocksize) {
        const size_t n = std::min<size_t>(blocksize, data.size() - at);
        block b;
        b.body.assign(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n));
        if (transform && n > 4) {
            b.head.resize(4);
            sorttrans(&space, b.body.data(), static_cast<uint32_t>(n), b.head.data());
        }
        blocks.push_back(std::move(b));
    }
    return blocks;
}

// Processor time of the calling thread, in seconds.
double cputime()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

uint64_t fnv1a64(const std::vector<uint8_t>& v)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : v) h = (h ^ b) * 0x100000001b3ull;
    return h;
}

// The two directions in functions of their own, so that an instruction
// count can tell them apart.
__attribute__((noinline)) void encodeall(model* m, byteout* out, const std::vector<block>& blocks)
{
    initmodel(m, 1, nullptr, out);
    for (const block& b : blocks) {
        if (!b.head.empty()) encode_block(m, b.head.data(), static_cast<uint32_t>(b.head.size()));
        encode_block(m, b.body.data(), static_cast<uint32_t>(b.body.size()));
    }
    deletemodel(m);
    out_flush(out);
}

// False when a symbol differs from the index symbols, a block's count or
// the end; the bytes themselves are compared by the caller.
__attribute__((noinline)) bool decodeall(model* m, bytein* in, const std::vector<block>& blocks, uint8_t* buf,
                                         uint32_t* histogram)
{
    bool same = true;
    initmodel(m, 0, in, nullptr);
    bool end = false;
    for (const block& b : blocks) {
        for (uint8_t want : b.head) same &= decode(m) == want;
        const uint32_t got = decode_block(m, buf, static_cast<uint32_t>(b.body.size()), histogram, &end, 0);
        same &= got == b.body.size() && !end;
    }
    same &= decode(m) == -1;
    deletemodel(m);
    return same;
}

void run(const std::string& name, const std::vector<block>& blocks, int rounds)
{
    size_t n = 0;
    for (const block& b : blocks) n += b.head.size() + b.body.size();
    std::vector<double> enc, dec;
    std::vector<uint8_t> coded;
    coded.reserve(n + 64);
    std::vector<uint8_t> decoded(blocksize);
    uint32_t histogram[256] = {};
    static model m{};
    byteout out{};
    bytein in{};
    for (int r = 0; r < rounds; ++r) {
        coded.clear();
        out_attach_memory(&out, &coded);
        double t0 = cputime();
        encodeall(&m, &out, blocks);
        enc.push_back(cputime() - t0);

        in_attach_memory(&in, coded.data(), coded.size());
        t0 = cputime();
        bool same = decodeall(&m, &in, blocks, decoded.data(), histogram);
        dec.push_back(cputime() - t0);
        // Checked outside the timing, on the last block only (the others
        // are overwritten), and by the counts and the end symbol.
        same &= std::memcmp(decoded.data(), blocks.back().body.data(), blocks.back().body.size()) == 0;
        if (!same) {
            std::fprintf(stderr, "%s: decoded symbols differ\n", name.c_str());
            std::exit(1);
        }
    }
    std::sort(enc.begin(), enc.end());
    std::sort(dec.begin(), dec.end());
    const double syms = static_cast<double>(n);
    std::printf("%-18s %8zu sym %8zu B %5.3f b/sym  enc %6.1f Msym/s (best %6.1f)  dec %6.1f Msym/s (best %6.1f)  "
                "digest %016llx\n",
                name.c_str(), n, coded.size(), 8.0 * static_cast<double>(coded.size()) / syms,
                syms / enc[enc.size() / 2] / 1e6, syms / enc[0] / 1e6, syms / dec[dec.size() / 2] / 1e6,
                syms / dec[0] / 1e6, static_cast<unsigned long long>(fnv1a64(coded)));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    bool transform = true;
    int rounds = 11;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-raw") == 0)
            transform = false;
        else if (std::strcmp(argv[i], "-rounds") == 0 && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else
            inputs.emplace_back(argv[i]);
    }
    if (inputs.empty()) {
        for (const char* f : {"bible.txt", "world192.txt", "kennedy.xls"})
            inputs.push_back(std::string(VORN_CORPUS_DIR) + "/" + f);
        inputs.emplace_back("random");
    }
    std::printf("model, %s blocks, median and best of %d rounds, processor time\n", transform ? "sorted" : "raw", rounds);
    for (const std::string& in : inputs) {
        const std::vector<uint8_t> data = in == "random" ? randombytes(0x400000) : readfile(in.c_str());
        if (data.empty()) {
            std::fprintf(stderr, "cannot read %s\n", in.c_str());
            return 1;
        }
        const size_t slash = in.find_last_of('/');
        run(slash == std::string::npos ? in : in.substr(slash + 1), cut(data, transform), rounds);
    }
    return 0;
}
