#include "UnitMemoryStream.h"

#include "UnitBigBlock.h"

#include <algorithm>
#include <cstring>
#include <utility>

TMemoryStream::~TMemoryStream() {
    BigBlock::Free(FData, FCapacity);
}

TMemoryStream& TMemoryStream::operator=(TMemoryStream&& other) noexcept {
    TMemoryStream released(std::move(*this));
    Swap(other);
    return *this;
}

void TMemoryStream::Assign(std::string_view bytes) {
    TMemoryStream fresh;
    if (!bytes.empty()) {
        std::memcpy(fresh.Reserve(bytes.size()), bytes.data(), bytes.size());
        fresh.Extend(bytes.size());
    }
    Swap(fresh);
    Position = fresh.Position;
}

void TMemoryStream::Swap(TMemoryStream& other) noexcept {
    std::swap(Position, other.Position);
    std::swap(FData, other.FData);
    std::swap(FSize, other.FSize);
    std::swap(FCapacity, other.FCapacity);
}

char* TMemoryStream::Reserve(std::size_t count) {
    if (count > FCapacity - FSize) {
        constexpr std::size_t FirstCapacity = 64 * 1024;
        const std::size_t capacity = std::max({FSize + count, FCapacity * 2, FirstCapacity});
        FData = static_cast<char*>(BigBlock::Resize(FData, FCapacity, capacity));
        FCapacity = capacity;
    }
    return FData + FSize;
}
