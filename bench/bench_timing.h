// Timing helpers for the benchmark programs: median of repeated runs.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

// Runs fn `runs` times and returns the median wall time in seconds.
template <class F>
double median_seconds(int runs, F&& fn)
{
    std::vector<double> t;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        fn();
        t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}
