// Working storage of the transforms: arrays of a few MiB that are read and
// written at scattered places, once per byte of every block.
#pragma once

#include <cstddef>

// Allocates bytes for scattered access, or returns null. Arrays of 2 MiB
// and more are laid out in large pages where the system offers them on
// request: one address translation then covers 2 MiB instead of 4 KiB, and
// the transforms' scattered reads no longer miss the translation cache as
// well as the data cache. Release with std::free.
void* bigblock(size_t bytes);
