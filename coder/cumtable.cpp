// Building, rescaling and releasing cumulative-frequency tables.
#include "coder/cumtable.h"

#include <cstdlib>

#include "common/classes.h"

namespace {

// Rebuilds tree and total from the frequencies, level by level in
// increasing b, so the nodes summed into tree[k] are complete before use.
// With classes, only the symbols of the full table's class get their weight.
void rebuild(cumtable* table, const int32_t* classes)
{
    const uint32_t size = table->size;
    uint32_t* tree = table->tree;
    const uint32_t* freq = table->freq;
    table->total = 0;
    for (uint32_t b = 1; b <= size; b <<= 1) {
        for (uint32_t k = b; k <= size; k += 2 * b) {
            const uint32_t w = (classes == nullptr || classes[k - 1] == fullclass) ? freq[k - 1] : 0;
            tree[k] = w;
            table->total += w;
            for (uint32_t d = b >> 1; d != 0; d >>= 1) tree[k] += tree[k - d];
        }
    }
}

void halve(cumtable* table)
{
    for (uint32_t s = 0; s < table->size; ++s) table->freq[s] = (table->freq[s] + 1) >> 1;
}

}  // namespace

int initfreq(cumtable* table, uint32_t n, uint32_t init)
{
    table->freq = static_cast<uint32_t*>(std::malloc((2 * static_cast<size_t>(n) + cumspare) * sizeof(uint32_t)));
    if (table->freq == nullptr) return 1;
    table->size = n;
    table->tree = table->freq + n - 1;
    table->topbit = 1;
    while (table->topbit * 2 <= n) table->topbit *= 2;
    for (uint32_t s = 0; s < n; ++s) table->freq[s] = init;
    for (uint32_t k = 1; k <= cumspare; ++k) table->tree[n + k] = 0;
    rebuild(table, nullptr);
    return 0;
}

void scalefreq(cumtable* table)
{
    halve(table);
    rebuild(table, nullptr);
}

void scalefreqcond(cumtable* table, const int32_t* classes)
{
    halve(table);
    rebuild(table, classes);
}

void freefreq(cumtable* table)
{
    std::free(table->freq);
    table->freq = nullptr;
    table->tree = nullptr;
}
