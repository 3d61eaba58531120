// Large memory blocks taken straight from the system, on huge pages where it offers them: a
// problem text and its pictures fill well over a hundred megabytes at once, and faulting in
// that many small pages can cost more than inflating into them.
#pragma once

#include <cstddef>

namespace BigBlock {

// Zero-filled on first touch; raise std::bad_alloc when the system refuses.
void* Allocate(std::size_t size);
// Keeps the first min(oldSize, newSize) bytes; the block may move.
void* Resize(void* block, std::size_t oldSize, std::size_t newSize);
void Free(void* block, std::size_t size) noexcept;

} // namespace BigBlock
