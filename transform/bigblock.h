// Working storage of the transforms: arrays of a few MiB that are read and
// written at scattered places, once per byte of every block, and the owner
// and allocation helper every array of the transforms is taken through.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

#include "common/stop.h"

// Allocates bytes for scattered access, or returns null. Arrays of 2 MiB
// and more are laid out in large pages where the system offers them on
// request: one address translation then covers 2 MiB instead of 4 KiB, and
// the transforms' scattered reads no longer miss the translation cache as
// well as the data cache. Release with std::free.
void* bigblock(size_t bytes);

// Releases storage of std::malloc, std::calloc or bigblock.
struct freeer {
    void operator()(void* p) const { std::free(p); }
};

// An array that is released when its owner goes, also on a stop.
template <typename T>
using heaparray = std::unique_ptr<T[], freeer>;

// How an array is taken: ordinary pages, which are only resident once
// used; ordinary pages filled with zeros; or bigblock's large pages, for
// an array read at scattered places.
enum class arraykind { plain, zeroed, scattered };

// An array of count elements (count > 0), or a stop with `code`.
template <typename T>
heaparray<T> takearray(size_t count, arraykind kind = arraykind::plain, unsigned code = err_workspace)
{
    void* const p = kind == arraykind::zeroed      ? std::calloc(count, sizeof(T))
                    : kind == arraykind::scattered ? bigblock(count * sizeof(T))
                                                   : std::malloc(count * sizeof(T));
    if (p == nullptr) errorstop(code);
    return heaparray<T>(static_cast<T*>(p));
}
