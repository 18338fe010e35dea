// Fuzz target: the context hash table against a plain map.
//
// The input is a script of operations; the map holds every inserted key
// with the counter the table must hand out next. Lookups are only made for
// inserted keys, since the table by design answers a missing key with the
// counter of whatever entry holds its home slot.
//
//   op % 4 == 0  insert: 4 key bytes (LSB first), 3 value bytes; a key
//                already present is moved on to the next fresh one
//   op % 4 == 1  look up the inserted key chosen by the next byte
//   op % 4 == 2  bulk insert: count byte c, window byte w, 2 bytes s:
//                (c + 1) * 128 fresh keys whose directory index lies in
//                the w / 64 + 1 values from w on, made from seed s, so
//                that blocks split down to span 1 and span-1 blocks fill
//                their spill
//   op % 4 == 3  look up every inserted key once (by stride: byte k)
//
// At the end every key is looked up again and the table is freed.
#include <array>
#include <unordered_map>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "transform/hash2.h"

using namespace fuzz;

namespace {

// Bounds per input, so that a script of many operations stays fast: keys
// in the table (past the ~16,000 of one directory index that fill a
// spill), and work counted as insertions and lookups.
constexpr size_t maxkeys = 24000;
constexpr size_t maxwork = 200000;

// A key moved to directory index d. The directory index is linear in the
// key over GF(2) (the hash only shifts and xors), so xoring in the
// difference of two keys of known index moves a key from one index to
// another.
uint32_t moveto(uint32_t key, uint32_t d)
{
    static const std::array<uint32_t, 256> known = [] {
        std::array<uint32_t, 256> k{};
        std::array<bool, 256> have{};
        for (uint32_t x = 0, found = 0; found < 256; ++x) {
            const uint32_t i = h2place(x).d;
            if (!have[i]) {
                have[i] = true;
                k[i] = x;
                ++found;
            }
        }
        return k;
    }();
    return key ^ known[h2place(key).d] ^ known[d & 0xFF];
}

struct harness {
    hash2 table = {};
    std::unordered_map<uint32_t, uint32_t> expect;  // key -> next counter
    std::vector<uint32_t> keys;                     // in insertion order
    size_t work = 0;

    harness() { initHash2(table); }
    ~harness() { freeHash2(table); }

    void insert(uint32_t key, uint32_t value)
    {
        while (expect.count(key) != 0) ++key;
        ++work;
        h2_insert(table, key, value);
        expect.emplace(key, value);
        keys.push_back(key);
    }

    void lookup(uint32_t key)
    {
        uint32_t& next = expect.at(key);
        ++work;
        const int32_t got = h2_get_inc(table, key);
        require(got >= 0 && static_cast<uint32_t>(got) == next, "a lookup gave the wrong counter");
        if (next < h2_maxvalue) ++next;
    }

    // Pseudo-random keys from seed, moved to the window's directory
    // indices in turn.
    void bulk(uint32_t count, uint32_t first, uint32_t window, uint32_t seed)
    {
        uint32_t x = seed * 2654435761u | 1;
        for (uint32_t made = 0, k = 0; made < count && keys.size() < maxkeys && work < maxwork; ++k) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            const uint32_t key = moveto(x, first + k % window);
            if (expect.count(key) != 0) continue;
            insert(key, (key >> 7) % 4096);
            ++made;
        }
    }
};

// Reads the script byte by byte; missing bytes read as 0.
struct script {
    const uint8_t* p;
    const uint8_t* end;
    bool more() const { return p < end; }
    uint32_t byte() { return p < end ? *p++ : 0; }
    uint32_t word(int n)
    {
        uint32_t v = 0;
        for (int k = 0; k < n; ++k) v |= byte() << (8 * k);
        return v;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        harness h;
        script in{data, data + size};
        while (in.more() && h.work < maxwork) {
            const uint32_t op = in.byte();
            switch (op % 4) {
            case 0: {
                const uint32_t key = in.word(4);
                const uint32_t value = in.word(3);
                if (h.keys.size() < maxkeys) h.insert(key, value > h2_maxvalue ? h2_maxvalue : value);
                break;
            }
            case 1:
                if (!h.keys.empty()) h.lookup(h.keys[in.byte() % h.keys.size()]);
                break;
            case 2: {
                const uint32_t count = (in.byte() + 1) * 128;
                const uint32_t w = in.byte();
                h.bulk(count, w, w / 64 + 1, in.word(2));
                break;
            }
            default: {
                const size_t stride = in.byte() % 7 + 1;
                for (size_t start = 0; start < stride && h.work < maxwork; ++start)
                    for (size_t i = start; i < h.keys.size(); i += stride) h.lookup(h.keys[i]);
                break;
            }
            }
        }
        for (uint32_t key : h.keys) h.lookup(key);
        freeHash2(h.table);
        for (h2block* b : h.table) require(b == nullptr, "freeHash2 left a directory entry");
    } catch (const stopped&) {
        fuzzfail("the hash table stopped");
    }
    return 0;
}
