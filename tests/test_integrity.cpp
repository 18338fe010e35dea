// The integrity test, -t, of both programs over a folder of good and bad
// files: every bad one named with what is wrong and no good one, nothing
// on standard output, no file made, the worst file's status.
#include <dirent.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/program_support.h"
#include "tests/streams.h"

namespace {

std::set<std::string> listing(const std::string& dir)
{
    std::set<std::string> names;
    DIR* d = opendir(dir.c_str());
    while (dirent* e = d != nullptr ? readdir(d) : nullptr) names.insert(e->d_name);
    if (d != nullptr) closedir(d);
    return names;
}

struct testfile {
    const char* name;
    bytes content;    // of the file (missing: not made)
    bool missing;
    int status;       // of -t on this file alone
    const char* what; // what the report says of it (null: a good file, never named)
};

TEST(Integrity, NamesEveryBadFileAndNoGoodOne)
{
    const bytes plain = wordy(blocksize + 5000, 6);
    const bytes stream = packed(plain);
    bytes damaged = stream;
    for (size_t i = 1000; i < 1016; ++i) damaged[i] ^= 0x5A;  // in the first block
    const testfile files[] = {
        {"good.vn", stream, false, 0, nullptr},
        {"alsogood.vn", joined({stream, packed(text("abc"))}), false, 0, nullptr},
        {"damaged.vn", damaged, false, 1, "not a valid compressed stream"},
        {"truncated.vn", bytes(stream.begin(), stream.end() - 100), false, 1, "ends too early"},
        {"empty.vn", {}, false, 1, "empty"},
        {"trailing.vn", joined({stream, text("junk")}), false, 2, "data after the end"},
        {"missing.vn", {}, true, 1, "cannot open"},
    };
    scratch s;
    std::string all;
    for (const testfile& f : files) {
        if (!f.missing) writefile(s.path(f.name), f.content);
        all += " '" + s.path(f.name) + "'";
    }
    const std::set<std::string> before = listing(s.dir);

    for (const std::string program : {"unvorn -t", "vorn -t", "vorn -dt", "unvorn --test -q"}) {
        const runresult r = runshell("cd '" + s.dir + "' && " + bindir + "/" + program + all, {});
        EXPECT_EQ(r.status, 1) << program;
        EXPECT_TRUE(r.out.empty()) << program << " wrote to standard output";
        EXPECT_EQ(listing(s.dir), before) << program << " made or removed a file";
        for (const testfile& f : files) {
            const size_t at = r.err.find(s.path(f.name));
            if (f.what == nullptr) {
                EXPECT_EQ(at, std::string::npos) << program << " named the good file " << f.name << ":\n" << r.err;
            } else {
                ASSERT_NE(at, std::string::npos) << program << " did not name " << f.name << ":\n" << r.err;
                EXPECT_NE(r.err.substr(at, r.err.find('\n', at) - at).find(f.what), std::string::npos)
                    << program << " on " << f.name << ":\n" << r.err;
            }
        }
    }
    // One file at a time, on standard input too: its own status.
    for (const testfile& f : files) {
        const runresult named = runshell(bindir + "/unvorn -tq '" + s.path(f.name) + "'", {});
        EXPECT_EQ(named.status, f.status) << f.name;
        EXPECT_EQ(named.err.empty(), f.what == nullptr) << f.name << ": " << named.err;
        if (f.missing) continue;
        const runresult piped = runshell(bindir + "/unvorn -t -", f.content);
        EXPECT_EQ(piped.status, f.status) << f.name << " on standard input";
    }
    EXPECT_EQ(runshell(bindir + "/unvorn -tq '" + s.path("good.vn") + "' '" + s.path("trailing.vn") + "'", {}).status,
              2);
}

}  // namespace
