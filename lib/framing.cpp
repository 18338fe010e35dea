#include "lib/framing.h"

#include "lib/format.h"
#include "lib/vorn.h"

namespace {

constexpr uint8_t emptystream[] = {0x00, 0x80, 0x00, 0x00, 0x00};

streamstart kindonly(startkind kind) { return {kind, 0, 0}; }

// Zero bytes after a complete stream: padding, once three of them (or two
// at the end) have shown that no stream begins there.
bool padding(const uint8_t* p, size_t n, bool final)
{
    if (n < 2 || p[0] != 0 || p[1] != 0) return false;
    return n >= 3 ? p[2] == 0 : final;
}

}  // namespace

streamstart classifystart(const uint8_t* p, size_t n, bool final, bool following)
{
    if (n == 0) return kindonly(final ? startkind::nothing : startkind::more);
    if (n < 2) return kindonly(final ? (following ? startkind::nostream : startkind::cut) : startkind::more);
    if (following && n < 3 && !final && p[0] == 0 && p[1] == 0) return kindonly(startkind::more);
    if (following && padding(p, n, final)) return kindonly(startkind::nostream);
    if (p[0] == emptystream[0] && p[1] == emptystream[1]) {
        // The stream of an empty input, whole or not at all.
        const size_t have = n < sizeof emptystream ? n : sizeof emptystream;
        for (size_t i = 2; i < have; ++i)
            if (p[i] != emptystream[i]) return kindonly(startkind::nostream);
        if (have < sizeof emptystream) return kindonly(final ? startkind::cut : startkind::more);
        return {startkind::empty, 0, sizeof emptystream};
    }
    if (p[0] > maxheader || p[1] != 0) return kindonly(startkind::nostream);
    return {startkind::stream, p[0], 0};
}

int startfailure(startkind kind, bool following)
{
    if (following) return VORN_E_TRAILING;
    switch (kind) {
    case startkind::nothing: return VORN_E_EMPTY;
    case startkind::cut: return VORN_E_TRUNCATED;
    default: return VORN_E_DAMAGED;
    }
}

bool successor(int header, bool first) { return first || header == maxheader; }

blockverdict checkblock(const blockshape& b)
{
    const auto verdict = [](blockkind kind, bool decoding, uint32_t raw = 0) {
        return blockverdict{kind, raw, decoding};
    };
    if (b.indexsymbols < indexbytes) {
        // The end came among the index symbols: a raw tail of 1 to 3 bytes,
        // or nothing after a block that filled its buffer.
        if (b.overrun) return verdict(blockkind::truncated, false);
        if (b.first && (b.indexsymbols == 0 || headerbyte(b.indexsymbols) != b.header))
            return verdict(blockkind::damaged, false);
        return verdict(blockkind::rawtail, false, b.indexsymbols);
    }
    if (!successor(b.header, b.first)) return verdict(blockkind::damaged, false);
    if (b.overrun) return verdict(blockkind::truncated, true);
    if (b.count == 0) {
        // The four index symbols were a raw tail of four bytes.
        if (b.first && b.header != headerbyte(rawtail)) return verdict(blockkind::damaged, true);
        return verdict(blockkind::rawtail, true, indexbytes);
    }
    // A transformed block is longer than a raw tail, and a stream's only
    // block fits its header byte exactly.
    if (b.count <= rawtail) return verdict(blockkind::damaged, true);
    if (b.first && b.last && headerbyte(b.count) != b.header) return verdict(blockkind::damaged, true);
    return verdict(blockkind::transform, true);
}
