#include "transform/bigblock.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

void* bigblock(size_t bytes)
{
    constexpr size_t large = size_t{1} << 21;
    if (bytes < large) return std::malloc(bytes);
    const size_t whole = (bytes + large - 1) & ~(large - 1);
    void* const p = std::aligned_alloc(large, whole);
#if defined(MADV_HUGEPAGE)
    // Only a hint: storage in small pages works the same, a little slower.
    if (p != nullptr) madvise(p, whole, MADV_HUGEPAGE);
#endif
    return p;
}
