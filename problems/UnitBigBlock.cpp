#include "UnitBigBlock.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <new>

namespace BigBlock {

namespace {

constexpr std::size_t HugePage = std::size_t{2} * 1024 * 1024;

// The size actually mapped for a block: whole pages, and whole huge pages when that wastes
// at most an eighth (an 800 x 600 picture of 32-bit pixels just fits one).
std::size_t MappedSize(std::size_t size) {
    static const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    size = size == 0 ? 1 : size;
    const std::size_t huge = (size + HugePage - 1) / HugePage * HugePage;
    if ((huge - size) * 8 <= size)
        return huge;
    return (size + page - 1) / page * page;
}

// Only a hint: where huge pages are off, the block simply stays on small pages.
void AdviseHugePages(void* block, std::size_t size) {
#ifdef MADV_HUGEPAGE
    if (size >= HugePage)
        madvise(block, size, MADV_HUGEPAGE);
#endif
}

void* MapAnonymous(std::size_t size) {
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        throw std::bad_alloc();
    return block;
}

} // namespace

void* Allocate(std::size_t size) {
    size = MappedSize(size);
    if (size < HugePage)
        return MapAnonymous(size);
    // Start on a huge-page boundary so that every whole 2 MiB of the block can use one.
    auto* raw = static_cast<char*>(MapAnonymous(size + HugePage));
    const auto address = reinterpret_cast<std::uintptr_t>(raw);
    char* aligned = raw + ((HugePage - address % HugePage) % HugePage);
    if (aligned > raw)
        munmap(raw, static_cast<std::size_t>(aligned - raw));
    char* end = aligned + size;
    munmap(end, static_cast<std::size_t>(raw + size + HugePage - end));
    AdviseHugePages(aligned, size);
    return aligned;
}

void* Resize(void* block, std::size_t oldSize, std::size_t newSize) {
    if (!block)
        return Allocate(newSize);
    const std::size_t from = MappedSize(oldSize);
    const std::size_t to = MappedSize(newSize);
    if (from == to)
        return block;
    void* moved = mremap(block, from, to, MREMAP_MAYMOVE);
    if (moved == MAP_FAILED)
        throw std::bad_alloc();
    AdviseHugePages(moved, to);
    return moved;
}

void Free(void* block, std::size_t size) noexcept {
    if (block)
        munmap(block, MappedSize(size));
}

namespace {

// Below this an image's pixels come from the ordinary heap.
constexpr std::uint64_t BigImage = 1024 * 1024;

struct TPixelBlock {
    void* Block;
    std::size_t Size;
};

std::uint64_t BytesPerLine(int width, QImage::Format format) {
    const auto depth = static_cast<std::uint64_t>(QImage::toPixelFormat(format).bitsPerPixel());
    return (static_cast<std::uint64_t>(width) * depth + 31) / 32 * 4;
}

void ReleasePixelBlock(void* info) {
    const auto* pixels = static_cast<TPixelBlock*>(info);
    Free(pixels->Block, pixels->Size);
    delete pixels;
}

} // namespace

std::uint64_t ImageBytes(int width, int height, QImage::Format format) {
    return BytesPerLine(width, format) * static_cast<std::uint64_t>(height);
}

QImage NewImage(int width, int height, QImage::Format format) {
    if (width <= 0 || height <= 0 || format == QImage::Format_Invalid)
        return QImage();
    const std::uint64_t bytesPerLine = BytesPerLine(width, format);
    const std::uint64_t bytes = ImageBytes(width, height, format);
    if (bytes < BigImage)
        return QImage(width, height, format);
    try {
        auto* pixels = new TPixelBlock{Allocate(bytes), bytes};
        return QImage(static_cast<uchar*>(pixels->Block), width, height,
                      static_cast<qsizetype>(bytesPerLine), format, &ReleasePixelBlock, pixels);
    } catch (const std::bad_alloc&) {
        return QImage();
    }
}

} // namespace BigBlock
