// The block size of the format: every block but a stream's last holds this
// many bytes, and the step table's walk restores blocks up to this size.
#pragma once

#include <cstdint>

constexpr uint32_t blocksize = 1u << 21;  // 2 MiB
