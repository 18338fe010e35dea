// Test files: the small ones kept in the repository under tests/data, and
// the large corpus read from the folder given to CMake as VORN_CORPUS_DIR.
//
// A file that a test needs and cannot read, or that is empty, fails the
// test with its name (the helpers throw, and GoogleTest reports the
// exception), so no test goes on with an empty buffer. A test that needs
// the corpus asks havecorpus() first and skips itself, naming the folder,
// when the folder is absent:
//
//     if (!havecorpus()) GTEST_SKIP() << corpusmissing();
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "tests/harness.h"

inline const std::string datadir = VORN_DATA_DIR;
inline const std::string corpusdir = VORN_CORPUS_DIR;

// The bytes of a file, which must exist and hold at least one byte.
inline bytes readdata(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) throw std::runtime_error("test file cannot be read: " + path);
    bytes data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (data.empty()) throw std::runtime_error("test file is empty: " + path);
    return data;
}

// A file of tests/data, by its path below that folder.
inline bytes datafile(const std::string& name) { return readdata(datadir + "/" + name); }

inline bool havecorpus()
{
    struct stat st;
    return stat(corpusdir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

inline std::string corpusmissing()
{
    return "corpus folder " + corpusdir + " not found (set VORN_CORPUS_DIR to run this test)";
}

// A file of the corpus; the caller has checked havecorpus().
inline bytes corpusfile(const std::string& name) { return readdata(corpusdir + "/" + name); }

// data repeated, then cut, to size bytes.
inline bytes repeated(const bytes& data, size_t size)
{
    bytes b;
    b.reserve(size);
    while (b.size() < size) b.insert(b.end(), data.begin(), data.end());
    b.resize(size);
    return b;
}

// The book kept in the repository, repeated or cut to size bytes: text for
// tests that need blocks of any length without the corpus.
inline bytes textblock(size_t size) { return repeated(datafile("golden/alice29.txt"), size); }
