// The platform operations the machine identity calls, gathered in one record so that tests
// can put fakes in their place.
#pragma once

#include "Adapters.h"
#include "Drives.h"
#include "Processor.h"
#include "ThreadControl.h"

struct THardwareAccess {
    platform::AdapterControl* Adapters;
    platform::DriveControl* Drives;
    platform::ThreadControl* Thread;
    platform::ProcessorControl* Processor;
};

// This computer's own operations.
THardwareAccess SystemHardwareAccess();

// The operations a TDISKSN created without an explicit record and ReadCPUID use: the system's,
// unless a ScopedHardwareAccess lives.
THardwareAccess CurrentHardwareAccess();

// Puts other operations in place of the current ones for its lifetime (tests of code that
// builds machine identifiers, so they need not wait for the real clock measurement).
class ScopedHardwareAccess {
public:
    explicit ScopedHardwareAccess(const THardwareAccess& access);
    ~ScopedHardwareAccess();
    ScopedHardwareAccess(const ScopedHardwareAccess&) = delete;
    ScopedHardwareAccess& operator=(const ScopedHardwareAccess&) = delete;

private:
    THardwareAccess FPrevious;
    bool FHadPrevious;
};
