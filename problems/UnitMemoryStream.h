// Bytes in memory with a read position: the buffer a problem file is inflated into and
// parsed from front to back.
#pragma once

#include <cstddef>
#include <string_view>

class TMemoryStream {
public:
    TMemoryStream() = default;
    ~TMemoryStream();
    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;
    TMemoryStream(TMemoryStream&& other) noexcept { Swap(other); }
    TMemoryStream& operator=(TMemoryStream&& other) noexcept;

    std::size_t Position = 0;

    std::string_view Bytes() const { return {FData, FSize}; }
    const char* Memory() const { return FData; }
    std::size_t Size() const { return FSize; }
    // Bytes from the position to the end.
    std::size_t Rest() const { return Position < FSize ? FSize - Position : 0; }

    // Replaces the contents; the position is left alone.
    void Assign(std::string_view bytes);
    void Swap(TMemoryStream& other) noexcept;

    // Room for count more bytes at the end, to be written and then counted with Extend; the
    // block grows geometrically, so appending stays amortised constant.
    char* Reserve(std::size_t count);
    void Extend(std::size_t count) { FSize += count; }
    // Bytes that may be written at the end, and counted with Extend, without growing.
    std::size_t Room() const { return FCapacity - FSize; }

private:
    char* FData = nullptr;
    std::size_t FSize = 0;
    std::size_t FCapacity = 0;
};
