// Building, rescaling and releasing flat cumulative-frequency tables.
#include "coder/flattable.h"

#include <cstdlib>

#include "common/classes.h"

namespace {

// Rebuilds below, groupbelow and total from the frequencies. With classes,
// only the symbols of the full table's class get their weight.
void rebuild(flattable* table, const int32_t* classes)
{
    uint32_t total = 0;
    for (uint32_t g = 0; g < table->groups; ++g) {
        table->groupbelow[g] = static_cast<uint16_t>(total);
        uint32_t inside = 0;
        for (uint32_t p = g * flatgroup; p < (g + 1) * flatgroup; ++p) {
            table->below[p] = static_cast<uint16_t>(inside);
            if (p < table->size && (classes == nullptr || classes[p] == fullclass)) inside += table->freq[p];
        }
        total += inside;
    }
    for (uint32_t g = table->groups; g < flatlanes; ++g) table->groupbelow[g] = static_cast<uint16_t>(total);
    table->total = total;
}

void halve(flattable* table)
{
    for (uint32_t s = 0; s < table->size; ++s) table->freq[s] = (table->freq[s] + 1) >> 1;
}

}  // namespace

int initfreq(flattable* table, uint32_t n, uint32_t init)
{
    table->freq = n <= flatmax ? static_cast<uint32_t*>(std::malloc(n * sizeof(uint32_t))) : nullptr;
    if (table->freq == nullptr) return 1;
    table->size = n;
    table->groups = (n + flatgroup - 1) / flatgroup;
    for (uint32_t s = 0; s < n; ++s) table->freq[s] = init;
    rebuild(table, nullptr);
    return 0;
}

void scalefreq(flattable* table)
{
    halve(table);
    rebuild(table, nullptr);
}

void scalefreqcond(flattable* table, const int32_t* classes)
{
    halve(table);
    rebuild(table, classes);
}

void freefreq(flattable* table)
{
    std::free(table->freq);
    table->freq = nullptr;
}
