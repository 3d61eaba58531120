#include "TransferBuffer.h"

#include <algorithm>
#include <utility>

bool TTransferBudget::Take(std::size_t bytes) {
    if (bytes > Available())
        return false;
    FInUse += bytes;
    return true;
}

void TTransferBudget::GiveBack(std::size_t bytes) {
    FInUse -= bytes;
}

TTransferBuffer::TTransferBuffer(std::shared_ptr<TTransferBudget> budget)
    : FBudget(std::move(budget)) {}

TTransferBuffer::~TTransferBuffer() {
    FBudget->GiveBack(FTaken);
}

bool TTransferBuffer::Append(const char* bytes, std::size_t count, std::size_t bound) {
    const std::size_t needed = FBytes.size() + count;
    if (needed > bound)
        return false;
    if (needed > FTaken) {
        const std::size_t doubled = std::min(std::max(needed, 2 * FTaken), bound);
        // What the budget has left may cut the doubling short, but not below what is needed.
        const std::size_t extra =
            std::max(needed - FTaken, std::min(doubled - FTaken, FBudget->Available()));
        if (!FBudget->Take(extra))
            return false;
        FTaken += extra;
        Reallocate(FTaken);
    }
    FBytes.append(bytes, count);
    return true;
}

// A string's own growth (reserve too) doubles past the capacity asked for, so a fresh string of
// that capacity takes the bytes over.
void TTransferBuffer::Reallocate(std::size_t capacity) {
    std::string grown;
    grown.reserve(capacity);
    grown.append(FBytes);
    FBytes.swap(grown);
}
