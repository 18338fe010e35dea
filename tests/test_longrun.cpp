// A run of more than 2^32 equal bytes through the real programs, streamed
// from a generator through pipes (nothing of that size is stored): vorn
// codes it in one stream, unvorn restores every byte. The run is ended by
// another byte, so its run number is coded before a symbol and not only
// before the end symbol. This takes about a minute (several under the
// sanitizers): CTest label "long".
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "tests/program_support.h"

namespace {

TEST(LongRun, MoreThanFourGibibytesOfZeros)
{
    constexpr uint64_t zeros = (uint64_t{1} << 32) + 104;
    scratch s;
    const std::string cmd = "(head -c " + std::to_string(zeros) + " /dev/zero; printf x) | " + bindir + "/vorn 2>'" +
                            s.path("err1") + "' | tee '" + s.path("packed") + "' | " + bindir + "/unvorn 2>'" +
                            s.path("err2") + "'";
    std::FILE* const restored = popen(cmd.c_str(), "r");
    ASSERT_NE(restored, nullptr);
    static uint8_t buf[1 << 20];
    static const uint8_t zero[1 << 20] = {};
    uint64_t count = 0, nonzero = 0, firstnonzero = 0;
    uint8_t last = 0;
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, restored)) > 0;) {
        if (std::memcmp(buf, zero, n) != 0) {
            for (size_t i = 0; i < n; ++i) {
                if (buf[i] != 0 && nonzero++ == 0) firstnonzero = count + i;
            }
        }
        last = buf[n - 1];
        count += n;
    }
    const int status = pclose(restored);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(count, zeros + 1);
    EXPECT_EQ(nonzero, 1u);
    EXPECT_EQ(firstnonzero, zeros);
    EXPECT_EQ(last, 'x');

    // One stream, small, and both programs ran to the end without a word
    // of failure: 2049 full blocks and the last one.
    const bytes packed = readfile(s.path("packed"));
    ASSERT_GE(packed.size(), 2u);
    EXPECT_LT(packed.size(), 100000u);
    EXPECT_EQ(packed[0], 21);
    const bytes err1 = readfile(s.path("err1")), err2 = readfile(s.path("err2"));
    const std::string e1(err1.begin(), err1.end()), e2(err2.begin(), err2.end());
    const std::string last1 = "Processing 105 bytes ... coding ... done\n";
    const std::string last2 = "Decoding ... processing 105 bytes ... done\n";
    ASSERT_GE(e1.size(), last1.size());
    ASSERT_GE(e2.size(), last2.size());
    EXPECT_EQ(e1.substr(e1.size() - last1.size()), last1);
    EXPECT_EQ(e2.substr(e2.size() - last2.size()), last2);
    EXPECT_EQ(e1.find("rror"), std::string::npos) << e1.substr(e1.size() - 300);
}

}  // namespace
