// The one way tests change what the client takes from its surroundings (program folder, push
// port, machine hardware, clock): a scoped override of a process-wide value.
#pragma once

#include <optional>
#include <utility>

// Puts a value in the slot for its own lifetime, then gives back what the slot held before, so
// overrides nest and a failed assertion cannot leave one behind. An empty slot means the real
// thing. The seam's owner derives a class of its own that passes its slot in.
template <class T> class ScopedOverride {
public:
    ScopedOverride(std::optional<T>& slot, T value)
        : FSlot(slot), FPrevious(std::exchange(slot, std::move(value))) {}
    ~ScopedOverride() { FSlot = std::move(FPrevious); }
    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

private:
    std::optional<T>& FSlot;
    std::optional<T> FPrevious;
};
