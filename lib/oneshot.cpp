// The one-shot calls, the version, the texts of the statuses and the room
// that compression can take.
#include <array>
#include <cstddef>
#include <cstdint>

#include "lib/entry.h"
#include "lib/format.h"

namespace {

// One whole call of a streaming direction: all of src, finished, into dst.
template <typename Stream, typename New, typename Run, typename Free>
int oneshot(New create, Run run, Free release, void* dst, size_t dstcap, size_t* dstlen, const void* src,
            size_t srclen)
{
    if (dstlen == nullptr || (dst == nullptr && dstcap != 0) || (src == nullptr && srclen != 0))
        return VORN_E_ARGUMENT;
    *dstlen = 0;
    Stream* const s = create(0);
    if (s == nullptr) return VORN_E_NOMEMORY;
    size_t used = 0;
    const int status = run(s, src, srclen, &used, dst, dstcap, dstlen, 1);
    release(s);
    if (status == VORN_OK) return VORN_OK;
    *dstlen = 0;
    return status == VORN_MORE ? VORN_E_DSTSIZE : status;
}

}  // namespace

// The version of the project (CMakeLists.txt) as "major.minor", the minor
// in two digits, as in "2.07".
constexpr std::array<char, 16> versiontext(unsigned major, unsigned minor)
{
    std::array<char, 16> t{};
    size_t n = 0;
    char digits[10] = {};
    size_t k = 0;
    do {
        digits[k++] = static_cast<char>('0' + major % 10);
        major /= 10;
    } while (major != 0);
    while (k > 0) t[n++] = digits[--k];
    t[n++] = '.';
    t[n++] = static_cast<char>('0' + minor / 10 % 10);
    t[n++] = static_cast<char>('0' + minor % 10);
    return t;
}

constexpr std::array<char, 16> version = versiontext(VORN_VERSION_MAJOR, VORN_VERSION_MINOR);

const char* vorn_version(void) { return version.data(); }

const char* vorn_strerror(int status)
{
    switch (status) {
    case VORN_OK: return "done";
    case VORN_MORE: return "more to come: call again";
    case VORN_END: return "end of a stream";
    case VORN_E_ARGUMENT: return "invalid argument";
    case VORN_E_NOMEMORY: return "out of memory";
    case VORN_E_DSTSIZE: return "output buffer too small";
    case VORN_E_TRUNCATED: return "compressed stream ends too early (truncated or damaged)";
    case VORN_E_DAMAGED: return "not a valid compressed stream (damaged)";
    case VORN_E_TRAILING: return "data after the end of the compressed stream";
    case VORN_E_EMPTY: return "compressed input is empty";
    case VORN_E_STATE: return "stream already ended or failed";
    default: return "unknown status";
    }
}

// Every input byte costs at most 38 bits of coded output:
// - The coder emits one byte per 8 bits by which decisions narrow its
//   range, and its flush 5 bytes: at most S/8 + 5 bytes for a narrowing of
//   S bits in all.
// - A decision over total T narrows by at most log2(T / symfreq) plus what
//   the truncated unit loses: unit = floor(range / T) with range > 2^23, so
//   range / unit < 2T, and for T <= 133 (the totals below but a list's)
//   the loss is below 2^-15 bits.
// - A new symbol costs its class (total at most 100: 6.65 bits), its place
//   (ring at most 30, full table at most 8000, a list at most 2^23: at most
//   24 bits with the loss), and the run it ends: one decision per digit and
//   one stop, each over a run model total of at most 100 + 33 (7.06 bits),
//   so a run of r bytes costs at most r of them. Per byte that is at most
//   6.65 + 24 + 7.06 < 38 bits.
// - Each block adds 4 index symbols (19 bytes), the end symbol with the
//   last run number 34 decisions more (at most 40 bytes with its class and
//   place), and the header byte 1; a stream that ends at an 8 GiB run and
//   starts again adds a header, an end and a flush (64 bytes).
size_t vorn_compress_bound(size_t n)
{
    const uint64_t wide = n;
    const uint64_t blocks = wide / blocksize + 1;
    const uint64_t bound = wide * 4 + (wide * 6 + 7) / 8 + blocks * 19 + (wide >> 33) * 64 + 64;
    if (wide > (UINT64_MAX - 4096) / 5 || bound > SIZE_MAX) return 0;
    return static_cast<size_t>(bound);
}

int vorn_compress(void* dst, size_t dstcap, size_t* dstlen, const void* src, size_t srclen)
{
    return oneshot<vorn_encoder>(vorn_encoder_new, vorn_encode, vorn_encoder_free, dst, dstcap, dstlen, src, srclen);
}

int vorn_decompress(void* dst, size_t dstcap, size_t* dstlen, const void* src, size_t srclen)
{
    return oneshot<vorn_decoder>(vorn_decoder_new, vorn_decode, vorn_decoder_free, dst, dstcap, dstlen, src, srclen);
}
