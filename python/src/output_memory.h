#pragma once

// Memory for the outputs of renders that are not given one. A fresh page
// costs a fault on first touch, and a fresh huge page at times a stall
// while the system compacts memory for it: for a 4K float frame that can
// cost more than the render. So the memory of outputs no longer referenced
// is kept for the next (at most kKept blocks), and a loop of renders works
// in memory that is already there.

#include <cstddef>

namespace zelvopy {

constexpr std::size_t kKept = 2;

// A block of at least `bytes`, aligned for any pixel type; throws
// std::bad_alloc.
void *takeOutputMemory(std::size_t bytes);
// Back from an output that is gone: kept for the next, or freed.
void giveOutputMemory(void *block) noexcept;

}  // namespace zelvopy
