// Streams that must be rejected: each file of tests/data/reject is run
// through the built unvorn on standard input, and must end as the folder's
// table says, with the first message the table gives.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/program_support.h"

namespace {

struct rejectcase {
    std::string file;
    std::string end;      // "status N", or "signal N" for a run ended by a signal
    std::string message;  // first line after the banner, progress left out
};

// The rows of the table in the folder's README.md: | file | made from | end | first message |
std::vector<rejectcase> table()
{
    std::ifstream f(datadir + "/reject/README.md");
    if (!f) throw std::runtime_error("cannot read " + datadir + "/reject/README.md");
    std::vector<rejectcase> rows;
    const std::regex row(R"(^\| ([^ |]+) \| [^|]* \| (status \d+|signal \d+) \| (.*) \|$)");
    std::smatch m;
    for (std::string line; std::getline(f, line);)
        if (std::regex_match(line, m, row)) rows.push_back({m[1], m[2], m[3]});
    return rows;
}

std::set<std::string> folderfiles()
{
    std::set<std::string> names;
    DIR* d = opendir((datadir + "/reject").c_str());
    if (d == nullptr) throw std::runtime_error("cannot open " + datadir + "/reject");
    while (const dirent* e = readdir(d))
        if (e->d_name[0] != '.' && std::string(e->d_name) != "README.md") names.insert(e->d_name);
    closedir(d);
    return names;
}

// The first line of standard error after the banner that is not only
// progress; progress text at the start of a line is left out.
std::string firstmessage(const std::string& err)
{
    static const std::regex progress(R"(^(Decoding \.\.\.| processing \d+ bytes \.\.\.| done)*)");
    size_t at = err.find('\n');
    while (at != std::string::npos && at + 1 < err.size()) {
        const size_t next = err.find('\n', at + 1);
        const std::string line = err.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
        const std::string rest = std::regex_replace(line, progress, "");
        if (!rest.empty()) return rest;
        at = next;
    }
    return "";
}

// runshell reports a run ended by signal N as status 128 + N.
std::string howended(int status)
{
    return status > 128 ? "signal " + std::to_string(status - 128) : "status " + std::to_string(status);
}

TEST(Reject, EveryStreamEndsAsListed)
{
    const std::vector<rejectcase> rows = table();
    std::set<std::string> listed;
    for (const rejectcase& c : rows) listed.insert(c.file);
    EXPECT_EQ(listed, folderfiles()) << "every file of the folder needs exactly one row";

    for (const rejectcase& c : rows) {
        const bytes stream = c.file == "empty" ? bytes{} : datafile("reject/" + c.file);
        const runresult r = unvorn(stream);
        EXPECT_EQ(howended(r.status), c.end) << c.file << "\n" << r.err;
        EXPECT_EQ(firstmessage(r.err), c.message) << c.file << "\n" << r.err;
    }
}

}  // namespace
