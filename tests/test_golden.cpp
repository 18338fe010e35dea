// Golden streams (goldens.h): the library must write each stream byte for
// byte and restore each input byte for byte, however the input and output
// are cut into pieces and with either number of threads, and so must the
// built programs. A mismatch prints the first differing offset and the
// bytes around it.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/goldens.h"
#include "tests/program_support.h"
#include "tests/streams.h"

namespace {

using namespace goldendata;

// Ways of cutting a stream's input and output, down to single bytes. The
// finest cuts run on the smaller inputs only, to keep the suite quick.
struct cutting {
    const char* name;
    streamhow how;
    size_t upto;  // inputs and streams longer than this skip it
};

const cutting cuttings[] = {
    {"whole, one thread", {1, 0, 1 << 20, 0, 0}, SIZE_MAX},
    {"whole, two threads", {2, 0, 1 << 20, 0, 0}, SIZE_MAX},
    {"bytes in, bytes out", {1, 1, 1, 0, 0}, 300000},
    {"7 in, 3 out, two threads", {2, 7, 3, 0, 0}, 300000},
    {"4093 in, 65521 out, two threads", {2, 4093, 65521, 0, 0}, SIZE_MAX},
    {"64 KiB in, bytes out", {1, 65536, 1, 0, 0}, 300000},
};

TEST(Golden, WritesEveryStreamHoweverCut)
{
    for (const golden& g : goldens()) {
        const bytes plain = input(g), packed = stream(g);
        for (const cutting& c : cuttings) {
            if (plain.size() > c.upto) continue;
            const streamrun r = runstream(true, plain, c.how);
            EXPECT_EQ(r.status, VORN_OK) << g.name << ", " << c.name;
            EXPECT_EQ(diffreport(r.out, packed), "") << g.name << ", " << c.name;
        }
    }
}

TEST(Golden, RestoresEveryStreamHoweverCut)
{
    for (const golden& g : goldens()) {
        const bytes plain = input(g), packed = stream(g);
        for (const cutting& c : cuttings) {
            if (plain.size() > c.upto) continue;
            const streamrun r = runstream(false, packed, c.how);
            EXPECT_EQ(r.status, VORN_OK) << g.name << ", " << c.name;
            EXPECT_EQ(diffreport(r.out, plain), "") << g.name << ", " << c.name;
        }
    }
}

TEST(Golden, OneShotCallsMatchEveryStream)
{
    for (const golden& g : goldens()) {
        const bytes plain = input(g), packed = stream(g);
        bytes out(vorn_compress_bound(plain.size()));
        size_t len = 0;
        ASSERT_EQ(vorn_compress(out.data(), out.size(), &len, plain.data(), plain.size()), VORN_OK) << g.name;
        out.resize(len);
        EXPECT_EQ(diffreport(out, packed), "") << g.name;
        out.assign(plain.size(), 0);
        ASSERT_EQ(vorn_decompress(out.data(), out.size(), &len, packed.data(), packed.size()), VORN_OK) << g.name;
        EXPECT_EQ(len, plain.size()) << g.name;
        EXPECT_EQ(diffreport(out, plain), "") << g.name;
    }
}

TEST(Golden, ProgramsWriteAndRestoreEveryStream)
{
    // Named files, as a user runs them: vorn NAME NAME.vn, unvorn NAME.vn NAME.
    for (const golden& g : goldens()) {
        scratch s;
        const bytes plain = input(g), packed = stream(g);
        writefile(s.path("in"), plain);
        writefile(s.path("in.vn"), packed);
        const runresult c = runshell(bindir + "/vorn '" + s.path("in") + "' '" + s.path("out.vn") + "'", {});
        EXPECT_EQ(c.status, 0) << g.name << ": " << c.err;
        EXPECT_EQ(diffreport(readfile(s.path("out.vn")), packed), "") << g.name << ": vorn";
        const runresult d = runshell(bindir + "/unvorn '" + s.path("in.vn") + "' '" + s.path("out") + "'", {});
        EXPECT_EQ(d.status, 0) << g.name << ": " << d.err;
        EXPECT_EQ(diffreport(readfile(s.path("out")), plain), "") << g.name << ": unvorn";
    }
}

}  // namespace
