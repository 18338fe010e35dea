// Decisions per second of the range coder, encoding and decoding, on a mix
// of totals like the model's: run digits and classes (totals up to about
// 100), list positions (up to about 1000) and the full table (up to 8000).
#include <cstdio>
#include <random>
#include <vector>

#include "bench/bench_timing.h"
#include "coder/arith.h"

namespace {

struct decision {
    uint32_t sym, cum, tot;
};

std::vector<decision> make_mix(size_t count)
{
    std::mt19937 rng(1);
    std::vector<decision> ds(count);
    for (decision& d : ds) {
        const unsigned kind = rng() % 10;
        d.tot = kind < 6 ? 3 + rng() % 98 : kind < 8 ? 10 + rng() % 991 : 256 + rng() % 7745;
        // Skewed choices: most decisions pick a large share of the total.
        d.sym = 1 + static_cast<uint32_t>(rng() % d.tot) / (1 + rng() % 4);
        d.cum = static_cast<uint32_t>(rng() % (d.tot - d.sym + 1));
    }
    return ds;
}

}  // namespace

int main()
{
    const std::vector<decision> ds = make_mix(4000000);
    std::vector<uint8_t> stream;
    stream.reserve(ds.size() * 2);

    arithcoder ac{};
    byteout out{};
    bytein in{};
    const double enc = median_seconds(5, [&] {
        stream.clear();
        out_attach_memory(&out, &stream);
        start_encoding(&ac, &out, 0);
        for (const decision& d : ds) encode_freq(&ac, d.sym, d.cum, d.tot);
        done_encoding(&ac);
        out_flush(&out);
    });

    uint64_t check = 0;
    const double dec = median_seconds(5, [&] {
        in_attach_memory(&in, stream.data(), stream.size());
        start_decoding(&ac, &in);
        for (const decision& d : ds) {
            check += decode_culfreq(&ac, d.tot);
            decode_update(&ac, d.sym, d.cum, d.tot);
        }
    });

    std::printf("decisions: %zu, stream: %zu bytes (%.2f bits/decision)\n", ds.size(), stream.size(),
                8.0 * static_cast<double>(stream.size()) / static_cast<double>(ds.size()));
    std::printf("encode: %.1f M decisions/s\n", static_cast<double>(ds.size()) / enc / 1e6);
    std::printf("decode: %.1f M decisions/s (check %llu)\n", static_cast<double>(ds.size()) / dec / 1e6,
                static_cast<unsigned long long>(check));
    return 0;
}
