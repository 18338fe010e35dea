#include "transform/bigblock.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

void* bigblock(size_t bytes)
{
    constexpr size_t largepage = size_t{1} << 21;  // the size of one large page
    if (bytes < largepage) return std::malloc(bytes);
    const size_t whole = (bytes + largepage - 1) & ~(largepage - 1);
    void* const p = std::aligned_alloc(largepage, whole);
#if defined(MADV_HUGEPAGE)
    // Only a hint: storage in small pages works the same, a little slower.
    if (p != nullptr) madvise(p, whole, MADV_HUGEPAGE);
#endif
    return p;
}
