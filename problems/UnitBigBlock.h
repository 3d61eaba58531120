// Large memory blocks taken straight from the system, on huge pages where it offers them: a
// problem text and its pictures fill well over a hundred megabytes at once, and faulting in
// that many small pages can cost more than inflating into them.
#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>

namespace BigBlock {

// Zero-filled on first touch; raise std::bad_alloc when the system refuses.
void* Allocate(std::size_t size);
// Keeps the first min(oldSize, newSize) bytes; the block may move.
void* Resize(void* block, std::size_t oldSize, std::size_t newSize);
void Free(void* block, std::size_t size) noexcept;

// The bytes of an image's pixel rows as QImage lays them out, each row padded to 32 bits.
std::uint64_t ImageBytes(int width, int height, QImage::Format format);

// An image of the given size and format, its pixels uninitialised; a big one keeps them in a
// big block that goes with its last copy. A null image when the size is empty or the system
// refuses the memory.
QImage NewImage(int width, int height, QImage::Format format);

} // namespace BigBlock
