// Replay of saved fuzz inputs without libFuzzer: every file named on the
// command line, and every file inside a named folder, goes once through
// LLVMFuzzerTestOneInput. A finding aborts, so the exit status tells; the
// last "replaying" line names the input that caused it.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> readall(const fs::path& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void replayone(const fs::path& path)
{
    std::printf("replaying %s\n", path.c_str());
    std::fflush(stdout);
    const std::vector<uint8_t> data = readall(path);
    LLVMFuzzerTestOneInput(data.data(), data.size());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s file-or-folder ...\n", argv[0]);
        return 2;
    }
    size_t count = 0;
    for (int a = 1; a < argc; ++a) {
        const fs::path arg(argv[a]);
        if (fs::is_directory(arg)) {
            std::vector<fs::path> files;
            for (const auto& e : fs::recursive_directory_iterator(arg)) {
                if (e.is_regular_file()) files.push_back(e.path());
            }
            std::sort(files.begin(), files.end());
            for (const auto& f : files) replayone(f);
            count += files.size();
        } else if (fs::is_regular_file(arg)) {
            replayone(arg);
            ++count;
        } else {
            std::fprintf(stderr, "%s: no such file or folder\n", argv[a]);
            return 2;
        }
    }
    if (count == 0) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 2;
    }
    std::printf("%zu inputs replayed, no finding\n", count);
    return 0;
}
