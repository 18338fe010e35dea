// Inverse of the full block-sorting transform by its successor table: the
// j-th byte in stable sorted order stands in the block at succ[j], and
// following succ from the start row spells the original string.
#include "common/stop.h"
#include "transform/bigblock.h"
#include "transform/unsorttrans.h"

void unBWtrans(const uint8_t* block, uint8_t* out, uint32_t n, uint32_t index, uint32_t* counts)
{
    if (n > 0 && index >= n) errorstop(err_corrupt);
    // The successor table is filled through counts, so counts must be the
    // block's own histogram or the fill would leave the table.
    uint32_t seen[256] = {};
    for (uint32_t i = 0; i < n; ++i) ++seen[block[i]];
    for (uint32_t v = 0; v < 256; ++v) {
        if (seen[v] != counts[v]) errorstop(err_corrupt);
    }

    heaparray<uint32_t> table;
    if (n > 0) table = takearray<uint32_t>(n);
    uint32_t* const succ = table.get();

    uint32_t r = n;
    for (uint32_t v = 256; v-- > 0;) {
        r -= counts[v];
        counts[v] = r;
    }
    for (uint32_t i = 0; i < n; ++i) succ[counts[block[i]]++] = i;

    uint32_t p = index;
    for (uint32_t k = 0; k < n; ++k) {
        out[k] = block[p];
        p = succ[p];
    }
}
