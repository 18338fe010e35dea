// Damaged streams: valid streams of corpus files and synthetic inputs are
// cut, flipped, shuffled and overwritten, and each result is restored in
// process through the library. Every case must end either in status ok
// with exactly the original bytes, or in a failure (a stop, if any, the
// corrupt-data stop), with the output bounded; a
// truncated stream must never be accepted. The format has no checksum, so
// some damage can restore wrong bytes with status ok: those are counted,
// not failed, and each test prints its table of outcomes.
//
// VORN_DAMAGED_SCALE (a positive number, default 1) scales the number of
// sampled cases, for longer campaigns by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/program_support.h"
#include "tests/streams.h"

namespace {

double scale()
{
    const char* s = std::getenv("VORN_DAMAGED_SCALE");
    const double v = s != nullptr ? std::atof(s) : 1.0;
    return v > 0 ? v : 1.0;
}

size_t scaled(size_t n) { return std::max<size_t>(1, static_cast<size_t>(static_cast<double>(n) * scale())); }

// ---- running one case ---------------------------------------------------

bytes compress(const bytes& input)
{
    const streamrun r = runstream(true, input);
    EXPECT_EQ(r.status, VORN_OK);
    return r.out;
}

enum class verdict { exact, detected, bounded, slipped };

struct outcome {
    verdict v;
    bytes out;       // what reached the output
};

// Output beyond the original by more than two full blocks is cut off: that
// bounds the time a case can take, and the bytes are wrong anyway.
outcome restore(const bytes& stream, const bytes& original)
{
    streamhow how;
    how.outlimit = original.size() + 2 * size_t{blocksize};
    const streamrun run = runstream(false, stream, how);
    outcome r{verdict::detected, run.out};
    if (run.stopcode != 0) {
        EXPECT_EQ(run.stopcode, 0x6601u) << "a stop other than the corrupt-data stop";
    }
    EXPECT_NE(run.status, VORN_E_NOMEMORY);
    EXPECT_NE(run.status, stream_stalled);
    if (run.status == VORN_OK) r.v = run.out == original ? verdict::exact : verdict::slipped;
    if (run.status == stream_overlong) r.v = verdict::bounded;
    return r;
}

// ---- inputs ---------------------------------------------------------------

struct sample {
    std::string name;
    bytes original;
    bytes stream;
    size_t budget;  // how many cases of one kind this sample gets at most
};

const std::vector<sample>& samples()
{
    static const std::vector<sample> all = [] {
        std::vector<std::pair<std::string, bytes>> inputs;
        for (const char* s : {"a", "ab", "abc", "abcd", "abcde", "banana"})
            inputs.emplace_back(s, bytes(s, s + std::char_traits<char>::length(s)));
        bytes all256(256);
        for (int i = 0; i < 256; ++i) all256[i] = static_cast<uint8_t>(i);
        inputs.emplace_back("all-256-values", all256);
        inputs.emplace_back("text-1024", wordy(1024, 1));
        std::mt19937 rng(9);
        bytes noise(3000);
        for (uint8_t& b : noise) b = static_cast<uint8_t>(rng());
        inputs.emplace_back("random-3000", noise);
        bytes runs;
        for (int k = 0; k < 40; ++k) runs.insert(runs.end(), 1 + rng() % 2000, static_cast<uint8_t>("xyz"[k % 3]));
        inputs.emplace_back("runs", runs);
        for (const char* f : {"grammar.lsp", "alice29.txt"}) inputs.emplace_back(f, datafile(std::string("golden/") + f));
        // One run across three blocks: a stream of a few dozen bytes whose
        // damage meets run numbers of 20 digits and more.
        inputs.emplace_back("zeros-3-blocks", bytes(3 * size_t{blocksize}, 0));

        std::vector<sample> out;
        for (auto& [name, data] : inputs) {
            // Large streams cost more per case: fewer, spread evenly.
            const size_t budget = data.size() > 100000 ? scaled(250) : scaled(1500);
            bytes stream = compress(data);
            out.push_back({name, std::move(data), std::move(stream), budget});
        }
        return out;
    }();
    return all;
}

// A stream of two blocks and a raw tail, for the block boundary; costly per
// case, so only a few cases use it.
const sample& multiblock()
{
    static const sample s = [] {
        bytes data = wordy(blocksize + 3, 4);
        bytes stream = compress(data);
        return sample{"2MiB+3 text", std::move(data), std::move(stream), scaled(12)};
    }();
    return s;
}

// `count` positions spread evenly over [0, n), all of them when count >= n.
std::vector<size_t> spread(size_t n, size_t count)
{
    std::vector<size_t> at;
    if (count >= n) {
        for (size_t i = 0; i < n; ++i) at.push_back(i);
        return at;
    }
    for (size_t k = 0; k < count; ++k) at.push_back(k * n / count);
    return at;
}

// ---- the table ------------------------------------------------------------

struct tally {
    size_t cases = 0, exact = 0, detected = 0, bounded = 0, slipped = 0;
    void add(const outcome& r)
    {
        ++cases;
        switch (r.v) {
        case verdict::exact: ++exact; break;
        case verdict::detected: ++detected; break;
        case verdict::bounded: ++bounded; break;
        case verdict::slipped: ++slipped; break;
        }
    }
    void add(const tally& t)
    {
        cases += t.cases;
        exact += t.exact;
        detected += t.detected;
        bounded += t.bounded;
        slipped += t.slipped;
    }
};

// Runs the damaged variants that make() produces for every sample and
// prints one row per sample and a total. make(s, emit) calls emit(stream)
// once per case; check(sample, stream, outcome) adds the kind's own rules.
using maker = std::function<void(const sample&, const std::function<void(const bytes&)>&)>;
using checker = std::function<void(const sample&, const bytes&, const outcome&)>;

tally campaign(const std::string& kind, const maker& make, const checker& check, bool withmultiblock)
{
    std::vector<const sample*> list;
    for (const sample& s : samples()) list.push_back(&s);
    if (withmultiblock) list.push_back(&multiblock());

    tally total;
    double slowest = 0;
    std::printf("\n%-16s %-16s %7s %7s %9s %8s %8s\n", "kind", "input", "cases", "exact", "detected", "bounded",
                "slipped");
    for (const sample* s : list) {
        tally t;
        make(*s, [&](const bytes& damaged) {
            const auto t0 = std::chrono::steady_clock::now();
            const outcome r = restore(damaged, s->original);
            slowest = std::max(slowest, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
            check(*s, damaged, r);
            t.add(r);
        });
        std::printf("%-16s %-16s %7zu %7zu %9zu %8zu %8zu\n", kind.c_str(), s->name.c_str(), t.cases, t.exact,
                    t.detected, t.bounded, t.slipped);
        total.add(t);
    }
    std::printf("%-16s %-16s %7zu %7zu %9zu %8zu %8zu   (slowest case %.3f s)\n", kind.c_str(), "TOTAL", total.cases,
                total.exact, total.detected, total.bounded, total.slipped, slowest);
    std::fflush(stdout);
    EXPECT_EQ(total.cases, total.exact + total.detected + total.bounded + total.slipped);
    return total;
}

void nocheck(const sample&, const bytes&, const outcome&) {}

}  // namespace

// Every cut point of small streams, an even spread of them in large ones,
// and always the last 16: never accepted, and what reaches the output is
// a prefix of the original made of whole blocks.
TEST(DamagedStreams, Truncation)
{
    const tally t = campaign(
        "truncation",
        [](const sample& s, const std::function<void(const bytes&)>& emit) {
            std::vector<size_t> cuts = spread(s.stream.size(), s.budget);
            for (size_t k = 1; k <= 16 && k <= s.stream.size(); ++k) cuts.push_back(s.stream.size() - k);
            std::sort(cuts.begin(), cuts.end());
            cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
            for (size_t cut : cuts) emit(bytes(s.stream.begin(), s.stream.begin() + static_cast<long>(cut)));
        },
        [](const sample& s, const bytes& damaged, const outcome& r) {
            EXPECT_NE(r.v, verdict::exact) << s.name << " cut at " << damaged.size() << " was accepted";
            EXPECT_NE(r.v, verdict::slipped) << s.name << " cut at " << damaged.size() << " was accepted";
            // Only blocks that were decoded whole reach the output; a block
            // that fills the decoder's buffer of 2^header bytes is whole
            // before the end symbol is read.
            EXPECT_EQ(r.out.size() % (size_t{1} << s.stream[0]), 0u) << s.name << " cut at " << damaged.size();
            EXPECT_TRUE(std::equal(r.out.begin(), r.out.end(), s.original.begin()))
                << s.name << " cut at " << damaged.size() << ": output is not a prefix";
        },
        true);
    EXPECT_EQ(t.exact + t.slipped, 0u);
}

// One bit flipped: every bit of the first two bytes, then a spread of
// positions with the bit chosen at random.
TEST(DamagedStreams, BitFlips)
{
    std::mt19937 rng(11);
    campaign(
        "bit flip",
        [&rng](const sample& s, const std::function<void(const bytes&)>& emit) {
            for (size_t at = 0; at < 2 && at < s.stream.size(); ++at) {
                for (int bit = 0; bit < 8; ++bit) {
                    bytes d = s.stream;
                    d[at] ^= static_cast<uint8_t>(1u << bit);
                    emit(d);
                }
            }
            for (size_t at : spread(s.stream.size(), s.budget)) {
                bytes d = s.stream;
                d[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
                emit(d);
            }
        },
        nocheck, true);
}

// Two neighbouring bytes that differ, swapped.
TEST(DamagedStreams, SwappedBytes)
{
    campaign(
        "swapped bytes",
        [](const sample& s, const std::function<void(const bytes&)>& emit) {
            if (s.stream.size() < 2) return;
            for (size_t at : spread(s.stream.size() - 1, s.budget / 2)) {
                if (s.stream[at] == s.stream[at + 1]) continue;
                bytes d = s.stream;
                std::swap(d[at], d[at + 1]);
                emit(d);
            }
        },
        nocheck, false);
}

// One byte doubled, which shifts everything after it.
TEST(DamagedStreams, DuplicatedBytes)
{
    campaign(
        "duplicated byte",
        [](const sample& s, const std::function<void(const bytes&)>& emit) {
            for (size_t at : spread(s.stream.size(), s.budget / 2)) {
                bytes d = s.stream;
                d.insert(d.begin() + static_cast<long>(at), d[at]);
                emit(d);
            }
        },
        nocheck, false);
}

// The sample's own header byte (and byte 1, 00) followed by random bytes
// of random lengths instead of the coded stream.
TEST(DamagedStreams, GarbageAfterHeader)
{
    std::mt19937 rng(12);
    campaign(
        "garbage",
        [&rng](const sample& s, const std::function<void(const bytes&)>& emit) {
            const size_t cases = std::max<size_t>(20, s.budget / 8);
            for (size_t k = 0; k < cases; ++k) {
                bytes d(s.stream.begin(), s.stream.begin() + (k % 2 == 0 ? 1 : 2));
                const size_t len = 1 + rng() % (k % 3 == 0 ? 16 : 4000);
                for (size_t i = 0; i < len; ++i) d.push_back(static_cast<uint8_t>(rng()));
                emit(d);
            }
        },
        nocheck, false);
}

// Every value 0 to 255 in place of the header byte.
TEST(DamagedStreams, HeaderByte)
{
    const tally t = campaign(
        "header byte",
        [](const sample& s, const std::function<void(const bytes&)>& emit) {
            if (s.stream.empty() || s.original.size() > 100000) return;
            for (int h = 0; h < 256; ++h) {
                if (h == s.stream[0]) continue;
                bytes d = s.stream;
                d[0] = static_cast<uint8_t>(h);
                emit(d);
            }
        },
        [](const sample& s, const bytes& damaged, const outcome& r) {
            // A header above 21 never comes from the compressor.
            if (damaged[0] > 21) {
                EXPECT_EQ(r.v, verdict::detected) << s.name << " header " << int{damaged[0]};
            }
        },
        false);
    EXPECT_EQ(t.slipped, 0u);
}

// A valid stream followed by bytes that begin no stream, or by the start of
// a stream cut short: the stream itself is restored, the whole is not
// accepted.
TEST(DamagedStreams, AppendedBytes)
{
    campaign(
        "appended bytes",
        [](const sample& s, const std::function<void(const bytes&)>& emit) {
            const bytes cut(s.stream.begin(), s.stream.end() - 1);
            for (const bytes& extra : {bytes{0}, bytes{0xFF}, bytes(100, 0x55), bytes{s.stream[0], 0}, cut}) {
                bytes d = s.stream;
                d.insert(d.end(), extra.begin(), extra.end());
                emit(d);
            }
        },
        [](const sample& s, const bytes&, const outcome& r) {
            EXPECT_EQ(r.v, verdict::detected) << s.name;
            // A cut second stream may add its blocks that were complete.
            ASSERT_GE(r.out.size(), s.original.size()) << s.name;
            EXPECT_TRUE(std::equal(s.original.begin(), s.original.end(), r.out.begin()))
                << s.name << ": the stream itself was not restored";
        },
        false);
}

// Two streams one after the other restore as the concatenation of their
// inputs; damage in the second, wherever it is found, leaves the first
// complete in the output.
TEST(DamagedStreams, SecondStreamDamaged)
{
    std::mt19937 rng(41);
    size_t cases = 0, stops = 0;
    for (const sample& s : samples()) {
        if (s.original.size() > 100000) continue;
        bytes both = s.stream;
        both.insert(both.end(), s.stream.begin(), s.stream.end());
        bytes twice = s.original;
        twice.insert(twice.end(), s.original.begin(), s.original.end());
        EXPECT_EQ(restore(both, twice).v, verdict::exact) << s.name;
        for (int k = 0; k < 40; ++k) {
            bytes d = both;
            d[s.stream.size() + rng() % s.stream.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
            const outcome r = restore(d, twice);
            if (r.v == verdict::exact) continue;
            ++cases;
            stops += r.v == verdict::detected;
            ASSERT_GE(r.out.size(), s.original.size()) << s.name;
            EXPECT_TRUE(std::equal(s.original.begin(), s.original.end(), r.out.begin())) << s.name;
        }
    }
    EXPECT_GT(stops, cases / 2);
    std::printf("damaged second stream: %zu cases, %zu detected, first stream whole in all\n", cases, stops);
}

namespace {

// Damage in a later block, wherever it is found (the model, the inverse
// transform, a cut), leaves every block before it whole in the output: the
// decompressor still writes one block while it decodes the next.
TEST(DamagedStreams, EarlierBlocksStayWhole)
{
    std::mt19937 rng(31);
    bytes original = wordy(2 * size_t{blocksize} + 5000, 32);
    for (size_t i = 0; i < original.size(); i += 1 + rng() % 4000) original[i] = static_cast<uint8_t>(rng());
    const bytes stream = compress(original);
    const bytes first(original.begin(), original.begin() + blocksize);
    int cases = 0, stops = 0;
    for (int i = 0; i < 24; ++i) {
        bytes d = stream;
        const size_t at = d.size() * (60 + i) / 100;
        for (size_t j = 0; j < 16; ++j) d[at + j] = static_cast<uint8_t>(rng());
        const outcome r = restore(d, original);
        if (r.v == verdict::exact) continue;
        ++cases;
        stops += r.v == verdict::detected;
        ASSERT_GE(r.out.size(), first.size()) << "damage at " << at;
        EXPECT_EQ(firstdiff(bytes(r.out.begin(), r.out.begin() + blocksize), first), -1) << "damage at " << at;
        // No byte of the damaged block, nor of any after it.
        if (r.v == verdict::detected) {
            EXPECT_EQ(r.out.size() % blocksize, 0u) << "damage at " << at;
        }
    }
    EXPECT_GE(stops, 12);
    std::printf("later-block damage: %d cases restored block 1 whole, %d stopped\n", cases, stops);
}

}  // namespace
