// Fuzz target: the inverse transforms on arbitrary blocks, indices and
// counts.
//
// Input: a mode byte, four index bytes (least significant first), then the
// block. Bit 3 of the mode takes the inverse sort transform's walk in
// stretches (unsort_start, unsort_walk) instead of one call. The storage
// of both directions is kept from one input to the next, as a stream keeps
// it from block to block. By mode % 8:
//   0  the block is transformed forward first; the inverse must restore it
//      exactly, without a stop
//   1  the block's real histogram and the given index: the corrupt-data stop
//      or any output, but nothing else; and against the context hash
//      table's walk: where the inverse passes, that walk passes with the
//      same bytes, and where it stops, it has written what that walk wrote
//      up to there
//   2  the histogram with one count moved from value index[0] to index[1]:
//      must stop when that changes it
//   3  counts off by -1, 0 or +1 per value as the index bytes choose: must
//      stop unless they equal the histogram
//   4  unBWtrans against a naive forward block-sorting transform of the
//      block (up to 512 bytes): must restore it exactly
//   5  unBWtrans with the given index and the real or a moved histogram:
//      must stop when either is out of range, no fault otherwise
//   6, 7  as 1 and 3, with the block cut to its first index[2] bytes
#include <algorithm>
#include <array>
#include <numeric>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "transform/sorttrans.h"
#include "transform/tablewalk.h"
#include "transform/unsorttrans.h"

using namespace fuzz;

namespace {

using histogram = std::array<uint32_t, 256>;

sortspace sorting{};
unsortspace restoring{};

histogram histogramof(const bytes& block)
{
    histogram h{};
    for (uint8_t b : block) ++h[b];
    return h;
}

enum class inverse { sort, blocksort };

// The walk of unsort_walk in stretches of 1 to 64 bytes, their lengths
// drawn from the block.
void walkstretches(const bytes& block, uint32_t index, uint32_t* counts, uint8_t* out)
{
    unsort_start(&restoring, block.data(), static_cast<uint32_t>(block.size()), index, counts);
    for (size_t at = 0; unsort_left(&restoring) != 0; ++at) {
        const uint32_t k = 1 + block[at % block.size()] % 64;
        const uint32_t left = unsort_left(&restoring);
        unsort_walk(&restoring, out, k);
        out += k < left ? k : left;
    }
    require(unsort_whole(&restoring), "a walk that passed its checks is not whole");
}

// Runs one inverse; returns whether it stopped on corrupt data. The
// restored bytes land in out (resized to the block's length).
bool run(inverse which, const bytes& block, uint32_t index, histogram counts, bool stretches, bytes& out)
{
    const uint32_t n = static_cast<uint32_t>(block.size());
    out.assign(n, 0);
    try {
        if (which == inverse::blocksort) unBWtrans(block.data(), out.data(), n, index, counts.data());
        else if (stretches && n <= blocksize) walkstretches(block, index, counts.data(), out.data());
        else unsorttrans(&restoring, block.data(), out.data(), n, index, counts.data());
    } catch (const stopped& e) {
        require(e.code == err_corrupt, "an inverse transform stopped with a code other than corrupt data");
        return true;
    }
    return false;
}

// What the inverse sort transform (or, with bytable, the context hash
// table's walk) writes before it returns or stops.
partial written(bool bytable, const bytes& block, uint32_t index, const histogram& counts)
{
    const uint32_t n = static_cast<uint32_t>(block.size());
    const partial p = writtenprefix(n, [&](uint8_t* out) {
        histogram c = counts;
        if (bytable) tablewalk(block.data(), out, n, index, c.data());
        else unsorttrans(&restoring, block.data(), out, n, index, c.data());
    });
    require(p.code == 0 || p.code == err_corrupt, "an inverse transform stopped with a code other than corrupt data");
    return p;
}

// Agreement of the two walks over the same input.
void agree(const bytes& block, uint32_t index)
{
    if (block.size() > 20000) return;  // the table walk's setup dominates beyond
    const histogram counts = histogramof(block);
    const partial fast = written(false, block, index, counts);
    const partial table = written(true, block, index, counts);
    if (fast.code == 0) {
        require(fast == table, "the step walk restored a block the table walk does not");
    } else {
        require(fast.written.size() <= table.written.size() &&
                    std::equal(fast.written.begin(), fast.written.end(), table.written.begin()),
                "the step walk wrote bytes the table walk does not");
    }
}

// The last column of the sorted rotations of x, and the row of the rotation
// that starts at x[1].
bytes blocksort(const bytes& x, uint32_t& row)
{
    const size_t n = x.size();
    std::vector<size_t> rot(n);
    std::iota(rot.begin(), rot.end(), 0);
    std::stable_sort(rot.begin(), rot.end(), [&](size_t a, size_t b) {
        for (size_t k = 0; k < n; ++k) {
            const uint8_t ca = x[(a + k) % n];
            const uint8_t cb = x[(b + k) % n];
            if (ca != cb) return ca < cb;
        }
        return false;
    });
    bytes last(n);
    row = 0;
    for (size_t r = 0; r < n; ++r) {
        last[r] = x[(rot[r] + n - 1) % n];
        if (rot[r] == 1 % n) row = static_cast<uint32_t>(r);
    }
    return last;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5) return 0;
    const uint32_t mode = data[0];
    const uint8_t* const ib = data + 1;
    const uint32_t index = static_cast<uint32_t>(ib[0]) | static_cast<uint32_t>(ib[1]) << 8 |
                           static_cast<uint32_t>(ib[2]) << 16 | static_cast<uint32_t>(ib[3]) << 24;
    const bool stretches = (mode & 8) != 0;
    bytes block(data + 5, data + size);
    bytes out;

    switch (mode % 8) {
    case 0: {
        if (block.size() < 4) return 0;
        const bytes original = block;
        uint8_t area[4];
        try {
            sorttrans(&sorting, block.data(), static_cast<uint32_t>(block.size()), area);
        } catch (const stopped&) {
            fuzzfail("the forward transform stopped");
        }
        const uint32_t k = static_cast<uint32_t>(area[0]) | static_cast<uint32_t>(area[1]) << 8 |
                           static_cast<uint32_t>(area[2]) << 16 | static_cast<uint32_t>(area[3]) << 24;
        require(!run(inverse::sort, block, k, histogramof(block), stretches, out), "a valid block was rejected");
        require(out == original, "the inverse did not restore the block");
        break;
    }
    case 6:
        block.resize(std::min<size_t>(block.size(), ib[2]));
        [[fallthrough]];
    case 1:
        run(inverse::sort, block, index, histogramof(block), stretches, out);
        agree(block, index);
        break;
    case 2: {
        histogram counts = histogramof(block);
        if (counts[ib[0]] == 0 || ib[0] == ib[1]) return 0;
        --counts[ib[0]];
        ++counts[ib[1]];
        require(run(inverse::sort, block, index, counts, stretches, out), "wrong counts were accepted");
        break;
    }
    case 7:
        block.resize(std::min<size_t>(block.size(), ib[2]));
        [[fallthrough]];
    case 3: {
        const histogram real = histogramof(block);
        histogram counts = real;
        for (uint32_t v = 0; v < 256; ++v) {
            const uint32_t pick = (index >> (v % 32)) & 3u;
            if (pick == 1 && counts[v] > 0) --counts[v];
            if (pick == 2) ++counts[v];
        }
        const bool stops = run(inverse::sort, block, index, counts, stretches, out);
        require(stops || counts == real, "wrong counts were accepted");
        break;
    }
    case 4: {
        if (block.empty() || block.size() > 512) return 0;
        uint32_t row = 0;
        const bytes last = blocksort(block, row);
        histogram counts = histogramof(last);
        require(!run(inverse::blocksort, last, row, counts, stretches, out), "a valid block was rejected");
        require(out == block, "the block-sorting inverse did not restore the block");
        break;
    }
    default: {
        histogram counts = histogramof(block);
        const bool moved = ib[0] != ib[1] && counts[ib[0]] > 0 && (ib[3] & 1) != 0;
        if (moved) {
            --counts[ib[0]];
            ++counts[ib[1]];
        }
        const uint32_t start = index % (static_cast<uint32_t>(block.size()) + 2);
        const bool stops = run(inverse::blocksort, block, start, counts, stretches, out);
        const bool bad = moved || (!block.empty() && start >= block.size());
        require(stops == bad, bad ? "a bad index or wrong counts were accepted" : "a sound call was rejected");
        break;
    }
    }
    return 0;
}
