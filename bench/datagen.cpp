// Seeded test data for the benchmark script: the same bytes on every
// machine and every run, with no tool beyond this program.
//
//   datagen random BYTES SEED            uniform random bytes
//   datagen repeat BYTES PERIOD SEED     PERIOD random bytes, repeated to BYTES
//
// The bytes go to standard output. The generator is a 64-bit xorshift-
// multiply sequence: fast, and with no structure the compressor can use.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

uint64_t nextword(uint64_t* state)
{
    uint64_t x = *state;
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    *state = x;
    return x * 0x2545F4914F6CDD1Dull;
}

std::vector<uint8_t> randombytes(size_t n, uint64_t seed)
{
    uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; i += 8) {
        const uint64_t w = nextword(&state);
        std::memcpy(out.data() + i, &w, n - i < 8 ? n - i : 8);
    }
    return out;
}

int usage()
{
    std::fputs("usage: datagen random BYTES SEED | datagen repeat BYTES PERIOD SEED\n", stderr);
    return 1;
}

bool writeall(const uint8_t* p, size_t n)
{
    return std::fwrite(p, 1, n, stdout) == n;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) return usage();
    const size_t bytes = std::strtoull(argv[2], nullptr, 10);
    if (std::strcmp(argv[1], "random") == 0 && argc == 4) {
        const std::vector<uint8_t> data = randombytes(bytes, std::strtoull(argv[3], nullptr, 10));
        return writeall(data.data(), data.size()) && std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (std::strcmp(argv[1], "repeat") == 0 && argc == 5) {
        const size_t period = std::strtoull(argv[3], nullptr, 10);
        if (period == 0) return usage();
        const std::vector<uint8_t> data = randombytes(period, std::strtoull(argv[4], nullptr, 10));
        for (size_t done = 0; done < bytes; done += period) {
            if (!writeall(data.data(), bytes - done < period ? bytes - done : period)) return 1;
        }
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    return usage();
}
