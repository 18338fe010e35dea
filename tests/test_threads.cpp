// The two stages of both directions: every case runs with the second stage
// on a thread of its own and on the calling thread (as on one processor),
// and both must give the same bytes, the same status and the same progress
// messages; on bad input, only whole blocks reach the output.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "programs/stage.h"
#include "tests/program_support.h"

namespace {

struct result {
    streamstatus status;
    bytes out;
    std::string progress;
};

// One direction in process with the given number of threads, its progress
// messages captured.
result run(streamstatus (*direction)(std::FILE*), const bytes& input, bool threads, size_t outlimit = 0)
{
    twothreads = threads;
    std::FILE* log = std::tmpfile();
    result r;
    in_attach_memory(&streamin, input.data(), input.size());
    out_attach_memory(&streamout, &r.out, outlimit);
    r.status = direction(log);
    in_close(&streamin);
    out_close(&streamout);
    std::rewind(log);
    for (int c; (c = std::fgetc(log)) != EOF;) r.progress.push_back(static_cast<char>(c));
    std::fclose(log);
    twothreads = twoprocessors();
    return r;
}

// Runs both modes and expects them to agree; returns the two-thread result.
result both(streamstatus (*direction)(std::FILE*), const bytes& input, const std::string& what, size_t outlimit = 0)
{
    const result two = run(direction, input, true, outlimit);
    const result one = run(direction, input, false, outlimit);
    EXPECT_EQ(two.status, one.status) << what;
    EXPECT_EQ(diffreport(two.out, one.out), "") << what;
    EXPECT_EQ(two.progress, one.progress) << what;
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

TEST(Stages, BothModesWriteAndRestoreTheSameStreams)
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
        const result c = both(compress_stream, input, what);
        ASSERT_EQ(c.status, stream_ok) << what;
        const result d = both(decompress_stream, c.out, what);
        EXPECT_EQ(d.status, stream_ok) << what;
        EXPECT_EQ(diffreport(d.out, input), "") << what;
    }
}

TEST(Stages, DamageInTheNextBlockLeavesTheBlockBeforeWhole)
{
    // Damage anywhere after the first block: the blocks before it come out
    // whole, nothing of the damaged block or any after it, in both modes.
    const bytes original = threeblocks();
    const bytes stream = run(compress_stream, original, true).out;
    std::mt19937 rng(43);
    int detected = 0;
    for (int i = 0; i < 16; ++i) {
        bytes d = stream;
        const size_t at = d.size() * (52 + 3 * i) / 100;  // past the first block
        for (size_t j = 0; j < 8; ++j) d[at + j] = static_cast<uint8_t>(rng());
        const result r = both(decompress_stream, d, "damage at " + std::to_string(at), original.size() + 2 * blocksize);
        if (r.status == stream_ok) continue;  // no checksum: some damage passes
        ++detected;
        EXPECT_TRUE(wholeblocks(r.out, original)) << "damage at " << at << ": " << r.out.size() << " bytes out";
        EXPECT_GE(r.out.size(), blocksize) << "damage at " << at << ": the first block was lost";
    }
    EXPECT_GE(detected, 12);
}

TEST(Stages, TruncationAtAndAroundEveryBlockBoundary)
{
    const bytes original = threeblocks();
    const bytes stream = run(compress_stream, original, true).out;
    // The shortest cut that yields k whole blocks marks the end of block k
    // in the stream; cuts on and around it must give k - 1 or k blocks.
    for (size_t k = 1; k <= 2; ++k) {
        size_t lo = 0, hi = stream.size();
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            const result r = run(decompress_stream, bytes(stream.begin(), stream.begin() + mid), true);
            if (r.out.size() >= k * blocksize) hi = mid;
            else lo = mid + 1;
        }
        for (long delta = -4; delta <= 4; ++delta) {
            const size_t cut = lo + delta;
            const std::string what = "block " + std::to_string(k) + ", cut at " + std::to_string(cut);
            const result r = both(decompress_stream, bytes(stream.begin(), stream.begin() + cut), what);
            EXPECT_NE(r.status, stream_ok) << what;
            EXPECT_TRUE(wholeblocks(r.out, original)) << what;
            EXPECT_EQ(r.out.size(), (delta < 0 ? k - 1 : k) * blocksize) << what;
        }
    }
}

TEST(Stages, OutputThatFailsWhileTheOtherStageWorks)
{
    // The output fills up in the middle of the second block: the run ends
    // with a write error, in both directions and both modes, and no block
    // after it is written.
    const bytes original = threeblocks();
    const bytes stream = run(compress_stream, original, true).out;
    const result c = both(compress_stream, original, "compressing", stream.size() / 2);
    EXPECT_EQ(c.status, stream_writeerror);
    const result d = both(decompress_stream, stream, "restoring", blocksize + blocksize / 2);
    EXPECT_EQ(d.status, stream_writeerror);
    EXPECT_LE(d.out.size(), blocksize + blocksize / 2);
}

TEST(Stages, ProgramsReportAFailedOutputOnce)
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
