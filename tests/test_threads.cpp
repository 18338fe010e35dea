// Both directions with one thread and with two (the deferred task on a
// thread of its own): both must give the same bytes, the same status and
// the same progress; on bad input, only whole blocks reach the output. And
// two threads sorting and restoring at once, each with its own storage.
#include <gtest/gtest.h>

#include <cstdio>
#include <latch>
#include <random>
#include <string>
#include <thread>

#include "tests/program_support.h"
#include "tests/streams.h"
#include "tests/transform_support.h"

namespace {

// One direction with one thread or two, its progress traced.
streamrun run(bool compress, const bytes& input, bool threads, size_t outlimit = 0)
{
    streamhow how;
    how.threads = threads ? 2 : 1;
    how.outlimit = outlimit;
    return runstream(compress, input, how);
}

// Runs both modes and expects them to agree; returns the two-thread result.
streamrun both(bool compress, const bytes& input, const std::string& what, size_t outlimit = 0)
{
    const streamrun two = run(compress, input, true, outlimit);
    const streamrun one = run(compress, input, false, outlimit);
    EXPECT_EQ(two.status, one.status) << what;
    EXPECT_EQ(diffreport(two.out, one.out), "") << what;
    EXPECT_EQ(two.trace, one.trace) << what;
    return two;
}

// Text with some noise: two full blocks and a partial one compress to a
// few hundred kilobytes and take every path of the model.
bytes threeblocks()
{
    std::mt19937 rng(41);
    bytes b = wordy(2 * size_t{blocksize} + 70000, 42);
    for (size_t i = 0; i < b.size(); i += 1 + rng() % 3000) b[i] = static_cast<uint8_t>(rng());
    return b;
}

bool wholeblocks(const bytes& out, const bytes& original)
{
    return out.size() % blocksize == 0 && out.size() <= original.size() &&
           std::equal(out.begin(), out.end(), original.begin());
}

TEST(Threads, BothModesWriteAndRestoreTheSameStreams)
{
    const bytes big = threeblocks();
    const std::pair<std::string, bytes> inputs[] = {
        {"one block", textblock(100000)},
        {"two blocks", textblock(blocksize + 300000)},
        {"one full block", textblock(blocksize)},
        {"raw tail after a full block", textblock(blocksize + 3)},
        {"four-byte tail after a full block", textblock(blocksize + 4)},
        {"three blocks", big},
        {"five bytes", text("abcde")},
    };
    for (const auto& [what, input] : inputs) {
        const streamrun c = both(true, input, what);
        ASSERT_EQ(c.status, VORN_OK) << what;
        const streamrun d = both(false, c.out, what);
        EXPECT_EQ(d.status, VORN_OK) << what;
        EXPECT_EQ(diffreport(d.out, input), "") << what;
    }
}

TEST(Threads, DamageInTheNextBlockLeavesTheBlockBeforeWhole)
{
    // Damage anywhere after the first block: the blocks before it come out
    // whole, nothing of the damaged block or any after it, in both modes.
    const bytes original = threeblocks();
    const bytes stream = run(true, original, true).out;
    std::mt19937 rng(43);
    int detected = 0;
    for (int i = 0; i < 16; ++i) {
        bytes d = stream;
        const size_t at = d.size() * (52 + 3 * i) / 100;  // past the first block
        for (size_t j = 0; j < 8; ++j) d[at + j] = static_cast<uint8_t>(rng());
        const streamrun r = both(false, d, "damage at " + std::to_string(at), original.size() + 2 * blocksize);
        if (r.status == VORN_OK) continue;  // no checksum: some damage passes
        ++detected;
        EXPECT_TRUE(wholeblocks(r.out, original)) << "damage at " << at << ": " << r.out.size() << " bytes out";
        EXPECT_GE(r.out.size(), blocksize) << "damage at " << at << ": the first block was lost";
    }
    EXPECT_GE(detected, 12);
}

TEST(Threads, TruncationAtAndAroundEveryBlockBoundary)
{
    const bytes original = threeblocks();
    const bytes stream = run(true, original, true).out;
    // The shortest cut that yields k whole blocks marks the end of block k
    // in the stream; cuts on and around it must give k - 1 or k blocks.
    for (size_t k = 1; k <= 2; ++k) {
        size_t lo = 0, hi = stream.size();
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            const streamrun r = run(false, bytes(stream.begin(), stream.begin() + mid), true);
            if (r.out.size() >= k * blocksize) hi = mid;
            else lo = mid + 1;
        }
        for (long delta = -4; delta <= 4; ++delta) {
            const size_t cut = lo + delta;
            const std::string what = "block " + std::to_string(k) + ", cut at " + std::to_string(cut);
            const streamrun r = both(false, bytes(stream.begin(), stream.begin() + cut), what);
            EXPECT_NE(r.status, VORN_OK) << what;
            EXPECT_TRUE(wholeblocks(r.out, original)) << what;
            EXPECT_EQ(r.out.size(), (delta < 0 ? k - 1 : k) * blocksize) << what;
        }
    }
}

TEST(Threads, ProgramsReadAndWriteBesideTheCodingAsOnOneThread)
{
    // Where two processors may be used the programs read and write on a
    // thread of their own; pinned to one, on the thread that codes. Either
    // way the same bytes, messages and status, also for a damaged stream
    // and for input through a pipe.
    const bytes original = threeblocks();
    const bytes packed = vorn(original).out;
    bytes damaged = packed;
    damaged[packed.size() * 2 / 3] ^= 0x40;
    const std::pair<std::string, bytes> runs[] = {{"vorn", original}, {"unvorn", packed}, {"unvorn", damaged}};
    for (const auto& [program, input] : runs) {
        for (const std::string feed : {"", "cat | "}) {
            const runresult two = runshell(feed + bindir + "/" + program, input);
            const runresult one = runshell(feed + "taskset -c 0 " + bindir + "/" + program, input);
            EXPECT_EQ(two.status, one.status) << feed << program;
            EXPECT_EQ(diffreport(two.out, one.out), "") << feed << program;
            EXPECT_EQ(two.err, one.err) << feed << program;
        }
    }
}

TEST(Threads, ProgramsReportAFailedOutputOnce)
{
    // Through the programs, on a device that is always full.
    const bytes original = threeblocks();
    for (const std::string program : {"vorn", "unvorn"}) {
        const bytes input = program == "vorn" ? original : vorn(original).out;
        for (const std::string pin : {"", "taskset -c 0 "}) {
            scratch s;
            writefile(s.path("in"), input);
            const runresult f = runshell(pin + bindir + "/" + program + " '" + s.path("in") + "' /dev/full", {});
            EXPECT_EQ(f.status, 1) << pin << program << "\n" << f.err;
            size_t reports = 0;
            for (size_t at = f.err.find("error writing"); at != std::string::npos; at = f.err.find("error writing", at + 1))
                ++reports;
            EXPECT_EQ(reports, 1u) << pin << program << "\n" << f.err;
        }
    }
}

}  // namespace

TEST(TransformThreads, SortAndRestoreAtOnce)
{
    // Two threads sort and restore different blocks at the same time, each
    // with storage of its own, and get the bytes one thread alone gets. The
    // sizes go up and down, so each thread's storage grows while the other
    // walks; the blocks take every walk: text, side chains through random
    // bytes, counters in head slots for random bytes repeated once.
    std::mt19937 rng(51);
    struct job {
        bytes input;
        bytes sorted;
        uint32_t index;
    };
    std::vector<job> work[2];
    const bytes text = textblock(300000);
    for (const uint32_t n : {300000u, 5000u, 120000u}) work[0].push_back({bytes(text.begin(), text.begin() + n), {}, 0});
    for (const uint32_t n : {7000u, 250000u}) work[1].push_back({makeblock(0, n, rng), {}, 0});
    work[1].push_back({repeatedrandom(200000, 100000, rng), {}, 0});
    for (std::vector<job>& jobs : work) {
        for (job& j : jobs) {
            j.sorted = j.input;
            j.index = forward(j.sorted);
        }
    }

    std::latch start(2);
    int wrong[2] = {};
    auto worker = [&](int t) {
        sortspace sorting{};
        unsortspace restoring{};
        std::mt19937 stretches(t);
        start.arrive_and_wait();
        for (int round = 0; round < 3; ++round) {
            for (const job& j : work[t]) {
                const unsigned code = stopcode([&] {
                    bytes b = j.input;
                    wrong[t] += forward(b, &sorting) != j.index || b != j.sorted;
                    wrong[t] += inverse(b, j.index, &restoring) != j.input;
                    wrong[t] += stretched(&restoring, b, j.index, stretches, 5000) != j.input;
                });
                wrong[t] += code != 0;
            }
        }
    };
    std::thread first(worker, 0), second(worker, 1);
    first.join();
    second.join();
    EXPECT_EQ(wrong[0], 0);
    EXPECT_EQ(wrong[1], 0);
}
