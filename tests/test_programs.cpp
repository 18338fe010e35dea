// The programs end to end: reference streams, block boundaries with their
// exact messages, round trips of real and synthetic data, files and pipes,
// and the reports for inputs that cannot be handled.
#include <gtest/gtest.h>

#include <random>

#include "tests/program_support.h"

namespace {

const std::string vornbanner = "vorn Version 1.04 on stdin to stdout\n";
const std::string unvornbanner = "unvorn version 1.03a on stdin to stdout\n";


void expect_roundtrip(const bytes& input, const std::string& what)
{
    const runresult c = vorn(input);
    ASSERT_EQ(c.status, 0) << what << ": " << c.err;
    const runresult d = unvorn(c.out);
    ASSERT_EQ(d.status, 0) << what << ": " << d.err;
    ASSERT_EQ(firstdiff(d.out, input), -1) << what << ": first difference at this offset";
}

TEST(Programs, ReferenceStreams)
{
    const std::pair<const char*, const char*> refs[] = {
        {"", "00 80 00 00 00"},
        {"a", "00 00 F2 CB BB 39 00"},
        {"ab", "01 00 F2 D2 B1 FA 62 2F 3C"},
        {"abc", "02 00 F2 D2 B3 88 C0 A2 74 02"},
        {"abcd", "02 00 F2 D2 B3 89 3F 13 D0 ED A8"},
        {"abcde", "03 00 F2 E8 0D 27 17 1A 5F A6 3F 42 0F 52 C8 96"},
        {"banana", "03 00 F3 E8 07 08 31 5E 72 35 3F 5B 87 F2"},
    };
    for (const auto& [plain, packed] : refs) {
        const runresult c = vorn(text(plain));
        EXPECT_EQ(c.status, 0);
        EXPECT_EQ(c.out, hexbytes(packed)) << "compressing \"" << plain << "\"";
        const runresult d = unvorn(hexbytes(packed));
        EXPECT_EQ(d.status, 0) << d.err;
        EXPECT_EQ(d.out, text(plain)) << "restoring \"" << plain << "\"";
    }
}

// Block boundaries: header byte, the whole text of both programs' messages,
// and the round trip, for every length where the format changes shape.
TEST(Programs, BlockBoundariesAndMessages)
{
    const std::string full = "Processing " + std::to_string(blocksize) + " bytes ... coding ... done\n";
    const std::string fullback = "Decoding ... processing " + std::to_string(blocksize) + " bytes ... done\n";
    struct shape {
        size_t length;
        int header;  // -1: no header byte (empty input)
        std::string vornmsg, unvornmsg;
    };
    const shape shapes[] = {
        {0, -1, "", ""},
        {1, 0, "Processing 1 bytes ...", ""},
        {2, 1, "Processing 2 bytes ...", ""},
        {3, 2, "Processing 3 bytes ...", ""},
        {4, 2, "Processing 4 bytes ...", "Decoding ..."},
        {5, 3, "Processing 5 bytes ... coding ... done\n", "Decoding ... processing 5 bytes ... done\n"},
        {1024, 10, "Processing 1024 bytes ... coding ... done\n", "Decoding ... processing 1024 bytes ... done\n"},
        {1025, 11, "Processing 1025 bytes ... coding ... done\n", "Decoding ... processing 1025 bytes ... done\n"},
        {blocksize, 21, full, fullback},
        {2097153, 21, full + "Processing 1 bytes ...", fullback},
        {blocksize + 3, 21, full + "Processing 3 bytes ...", fullback},
        {2097156, 21, full + "Processing 4 bytes ...", fullback + "Decoding ..."},
        {2097157, 21, full + "Processing 5 bytes ... coding ... done\n",
         fullback + "Decoding ... processing 5 bytes ... done\n"},
        {2 * blocksize, 21, full + full, fullback + fullback},
        {3 * blocksize + 100, 21, full + full + full + "Processing 100 bytes ... coding ... done\n",
         fullback + fullback + fullback + "Decoding ... processing 100 bytes ... done\n"},
    };
    for (const shape& s : shapes) {
        const bytes input = wordy(s.length, static_cast<unsigned>(s.length));
        const runresult c = vorn(input);
        EXPECT_EQ(c.status, 0);
        EXPECT_EQ(c.err, vornbanner + s.vornmsg) << "length " << s.length;
        ASSERT_GE(c.out.size(), 5u);
        if (s.header < 0) {
            EXPECT_EQ(c.out, hexbytes("00 80 00 00 00"));
        } else {
            EXPECT_EQ(c.out[0], s.header) << "length " << s.length;
            EXPECT_EQ(c.out[1], 0) << "byte 1 of every stream is 00";
        }
        const runresult d = unvorn(c.out);
        EXPECT_EQ(d.status, 0) << d.err;
        EXPECT_EQ(d.err, unvornbanner + s.unvornmsg) << "length " << s.length;
        EXPECT_EQ(firstdiff(d.out, input), -1) << "length " << s.length;
    }
}

TEST(Programs, CorpusRoundTrips)
{
    if (!havecorpus()) GTEST_SKIP() << corpusmissing();
    for (const char* name : {"alice29.txt", "asyoulik.txt", "bible.txt", "cp.html", "fields.c", "grammar.lsp",
                             "kennedy.xls", "lcet10.txt", "plrabn12.txt", "ptt5", "sum", "world192.txt", "xargs.1"}) {
        expect_roundtrip(corpusfile(name), name);
    }
    scratch s;  // the whole corpus as one tar: about 9.3 MB, five blocks
    ASSERT_EQ(std::system(("tar -cf '" + s.path("corpus.tar") + "' -C '" + corpusdir + "' .").c_str()), 0);
    expect_roundtrip(readfile(s.path("corpus.tar")), "corpus.tar");
}

TEST(Programs, SyntheticRoundTrips)
{
    expect_roundtrip(bytes(3 * blocksize + 7, 'x'), "one byte value across blocks");
    bytes all;
    for (int r = 0; r < 3; ++r)
        for (int v = 0; v < 256; ++v) all.push_back(static_cast<uint8_t>(v));
    expect_roundtrip(all, "all 256 values");
    expect_roundtrip(randombytes(blocksize + 4099, 5), "random bytes");

    // Long runs that cross block boundaries and the index of the next block.
    bytes runs;
    std::mt19937 rng(3);
    while (runs.size() < 2 * blocksize + 5000) runs.insert(runs.end(), 1 + rng() % 300000, static_cast<uint8_t>(rng() % 4));
    expect_roundtrip(runs, "long runs");
    expect_roundtrip(wordy(700000, 9), "text");
    for (size_t n = 1; n < 70; ++n) expect_roundtrip(randombytes(n, static_cast<unsigned>(n)), "short random");
}

TEST(Programs, NamedFilesAndPipesAgree)
{
    scratch s;
    const bytes input = wordy(blocksize + 333, 11);
    writefile(s.path("plain"), input);
    const runresult named = runshell(bindir + "/vorn '" + s.path("plain") + "' '" + s.path("packed") + "'", {});
    EXPECT_EQ(named.status, 0);
    EXPECT_EQ(named.err, "vorn Version 1.04 on " + s.path("plain") + " to " + s.path("packed") +
                             "\nProcessing " + std::to_string(blocksize) + " bytes ... coding ... done\nProcessing 333 bytes ... coding ... done\n");
    const runresult piped = runshell("cat | " + bindir + "/vorn | cat", input);
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(readfile(s.path("packed")), piped.out);
    const runresult oneargument = runshell(bindir + "/vorn '" + s.path("plain") + "'", {});
    EXPECT_EQ(oneargument.out, piped.out);

    const runresult back = runshell(bindir + "/unvorn '" + s.path("packed") + "' '" + s.path("restored") + "'", {});
    EXPECT_EQ(back.status, 0);
    EXPECT_EQ(back.err, "unvorn version 1.03a on " + s.path("packed") + " to " + s.path("restored") +
                            "\nDecoding ... processing " + std::to_string(blocksize) + " bytes ... done\nDecoding ... processing 333 bytes ... done\n");
    EXPECT_EQ(readfile(s.path("restored")), input);
    const runresult pipeback = runshell("cat | " + bindir + "/unvorn | cat", piped.out);
    EXPECT_EQ(pipeback.out, input);
}

// ---- inputs that cannot be handled ------------------------------------------

TEST(Programs, EmptyInputAndEmptyStream)
{
    const runresult d = unvorn(hexbytes("00 80 00 00 00"));
    EXPECT_EQ(d.status, 0) << d.err;
    EXPECT_TRUE(d.out.empty());
    EXPECT_EQ(d.err, unvornbanner);

    const runresult none = unvorn({});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, unvornbanner + "error reading input\n");
    EXPECT_TRUE(none.out.empty());

    for (const char* bad : {"00 80 00 00", "00 80 00 00 01", "00 80 00 00 00 00", "00 81 00 00 00"}) {
        const runresult r = unvorn(hexbytes(bad));
        EXPECT_NE(r.status, 0) << bad;
        EXPECT_TRUE(r.out.empty()) << bad;
    }
}

TEST(Programs, FilesThatCannotBeOpened)
{
    scratch s;
    for (const char* prog : {"vorn", "unvorn"}) {
        const std::string p = bindir + "/" + prog;
        const runresult missing = runshell(p + " '" + s.path("missing") + "' '" + s.path("out") + "'", {});
        EXPECT_EQ(missing.status, 1);
        EXPECT_NE(missing.err.find(s.path("missing") + ": No such file or directory"), std::string::npos) << missing.err;
        EXPECT_EQ(access(s.path("out").c_str(), F_OK), -1) << "nothing may be written";

        writefile(s.path("in"), text("abc"));
        const runresult nodir = runshell(p + " '" + s.path("in") + "' '" + s.path("no/such/out") + "'", {});
        EXPECT_EQ(nodir.status, 1);
        EXPECT_NE(nodir.err.find(s.path("no/such/out")), std::string::npos) << nodir.err;
    }
}

TEST(Programs, ReadAndWriteErrors)
{
    scratch s;
    // A folder opens but cannot be read.
    const runresult dir = runshell(bindir + "/vorn '" + s.dir + "'", {});
    EXPECT_EQ(dir.status, 1);
    EXPECT_NE(dir.err.find("error reading"), std::string::npos) << dir.err;
    EXPECT_TRUE(dir.out.empty());

    const bytes input = wordy(300000, 2);
    writefile(s.path("plain"), input);
    const runresult c = runshell(bindir + "/vorn '" + s.path("plain") + "' /dev/full", {});
    EXPECT_EQ(c.status, 1);
    EXPECT_NE(c.err.find("error writing /dev/full: No space left on device"), std::string::npos) << c.err;

    writefile(s.path("packed"), vorn(input).out);
    const runresult d = runshell(bindir + "/unvorn '" + s.path("packed") + "' /dev/full", {});
    EXPECT_EQ(d.status, 1);
    EXPECT_NE(d.err.find("error writing /dev/full: No space left on device"), std::string::npos) << d.err;
}

// A truncated stream never exits 0, and what it restores is exactly its
// complete blocks.
TEST(Programs, TruncatedStreams)
{
    const bytes input = wordy(2 * blocksize + 3000, 21);
    const bytes packed = vorn(input).out;
    std::mt19937 rng(8);
    std::vector<size_t> cuts = {0, 1, 2, 5, 6, 7, packed.size() - 1, packed.size() - 2, packed.size() - 5};
    for (int i = 0; i < 40; ++i) cuts.push_back(rng() % packed.size());
    for (size_t cut : cuts) {
        const runresult d = unvorn(bytes(packed.begin(), packed.begin() + static_cast<long>(cut)));
        EXPECT_NE(d.status, 0) << "cut at " << cut;
        EXPECT_TRUE(d.out.size() == 0 || d.out.size() == blocksize || d.out.size() == 2 * blocksize)
            << "cut at " << cut << " gave " << d.out.size() << " bytes";
        EXPECT_EQ(firstdiff(d.out, bytes(input.begin(), input.begin() + static_cast<long>(d.out.size()))), -1);
    }
    for (const char* small : {"a", "banana"}) {
        const bytes p = vorn(text(small)).out;
        for (size_t cut = 1; cut < p.size(); ++cut) {
            const runresult d = unvorn(bytes(p.begin(), p.begin() + static_cast<long>(cut)));
            EXPECT_NE(d.status, 0) << small << " cut at " << cut;
            EXPECT_TRUE(d.out.empty()) << small << " cut at " << cut;
        }
    }
}

TEST(Programs, DamageInTheSecondBlockLeavesTheFirstWhole)
{
    // The first block is written and reported done, whether the damage is
    // found by the model while the second block is decoded or by the
    // second block's own walk.
    std::mt19937 rng(77);
    bytes input = wordy(2 * blocksize + 5000, 78);
    for (size_t i = 0; i < input.size(); i += 1 + rng() % 3000) input[i] = static_cast<uint8_t>(rng());
    const bytes packed = vorn(input).out;
    const std::string first = unvornbanner + "Decoding ... processing " + std::to_string(blocksize) + " bytes ... done\nDecoding ...";
    for (int percent : {62, 70, 78, 86}) {
        bytes d = packed;
        const size_t at = d.size() * static_cast<size_t>(percent) / 100;
        for (size_t j = 0; j < 8; ++j) d[at + j] ^= static_cast<uint8_t>(1 + rng() % 255);
        const runresult r = unvorn(d);
        EXPECT_NE(r.status, 0) << "damage at " << at;
        EXPECT_EQ(r.err.compare(0, first.size(), first), 0) << "damage at " << at << ":\n" << r.err;
        ASSERT_GE(r.out.size(), blocksize) << "damage at " << at;
        EXPECT_EQ(firstdiff(bytes(r.out.begin(), r.out.begin() + blocksize), bytes(input.begin(), input.begin() + blocksize)), -1);
    }
}

TEST(Programs, BadHeaderAndTrailingData)
{
    bytes packed = vorn(text("banana")).out;
    for (int h = 22; h < 256; ++h) {
        packed[0] = static_cast<uint8_t>(h);
        const runresult d = unvorn(packed);
        EXPECT_EQ(d.status, 1) << "header " << h;
        EXPECT_NE(d.err.find("damaged"), std::string::npos);
    }
    packed[0] = 2;  // too small for a 6-byte block
    EXPECT_NE(unvorn(packed).status, 0);
    packed[0] = 4;  // too large for it
    EXPECT_NE(unvorn(packed).status, 0);

    bytes trailing = vorn(text("banana")).out;
    trailing.push_back(0x42);
    const runresult t = unvorn(trailing);
    EXPECT_EQ(t.status, 2);
    EXPECT_EQ(t.out, text("banana"));
    EXPECT_NE(t.err.find("data after the end"), std::string::npos) << t.err;
}

}  // namespace
