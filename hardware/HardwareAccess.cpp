#include "HardwareAccess.h"

#include <optional>

namespace {
// The single user-interface thread is the only one that builds machine identifiers.
std::optional<THardwareAccess> Override;
} // namespace

THardwareAccess SystemHardwareAccess() {
    return {&platform::SystemAdapters(), &platform::SystemDrives(), &platform::SystemThread(),
            &platform::SystemProcessor()};
}

THardwareAccess CurrentHardwareAccess() {
    return Override ? *Override : SystemHardwareAccess();
}

ScopedHardwareAccess::ScopedHardwareAccess(const THardwareAccess& access)
    : ScopedOverride(Override, access) {}
