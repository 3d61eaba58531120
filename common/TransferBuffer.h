// The memory of files in progress: one budget shared by every transfer a receiver may hold, and
// the buffer of one file, which takes its bytes from the budget and gives them back when it goes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

// Hosts that each leave a large file unfinished must not add up past our memory. A problem or
// shared file is a few MiB, and a classroom has a transfer or two in flight at once.
constexpr std::size_t MaxTransfersInProgressBytes = 256u * 1024u * 1024u;

// Bytes held by every file in progress together. Everything runs on the user-interface thread.
class TTransferBudget {
public:
    explicit TTransferBudget(std::size_t limit = MaxTransfersInProgressBytes) : FLimit(limit) {}
    TTransferBudget(const TTransferBudget&) = delete;
    TTransferBudget& operator=(const TTransferBudget&) = delete;

    std::size_t InUse() const { return FInUse; }
    std::size_t Available() const { return FLimit - FInUse; }
    // False, and nothing taken, when the bytes would pass the limit.
    bool Take(std::size_t bytes);
    void GiveBack(std::size_t bytes);

private:
    std::size_t FLimit;
    std::size_t FInUse = 0;
};

// The bytes of one file in progress. Its capacity is taken from the budget as it grows and given
// back, whole, when the buffer is destroyed: written, dropped or abandoned alike.
class TTransferBuffer {
public:
    explicit TTransferBuffer(std::shared_ptr<TTransferBudget> budget);
    ~TTransferBuffer();
    TTransferBuffer(const TTransferBuffer&) = delete;
    TTransferBuffer& operator=(const TTransferBuffer&) = delete;

    // Appends the bytes unless the file would pass the bound or the budget lacks the room; then
    // false and nothing changes. Grows by doubling, never past the bound nor the budget.
    bool Append(const char* bytes, std::size_t count, std::size_t bound);
    const std::string& Bytes() const { return FBytes; }
    std::size_t Capacity() const { return FBytes.capacity(); }

private:
    void Reallocate(std::size_t capacity);

    std::shared_ptr<TTransferBudget> FBudget;
    std::string FBytes;
    std::size_t FTaken = 0; // from the budget: the capacity asked for
};
