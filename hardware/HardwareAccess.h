// The platform operations the machine identity calls, gathered in one record so that tests
// can put fakes in their place.
#pragma once

#include "Adapters.h"
#include "Drives.h"
#include "Processor.h"
#include "ScopedOverride.h"
#include "ThreadControl.h"

struct THardwareAccess {
    platform::AdapterControl* Adapters;
    platform::DriveControl* Drives;
    platform::ThreadControl* Thread;
    platform::ProcessorControl* Processor;
};

// This computer's own operations.
THardwareAccess SystemHardwareAccess();

// The operations a TDISKSN takes when created and ReadCPUID uses: the system's, unless a
// ScopedHardwareAccess lives.
THardwareAccess CurrentHardwareAccess();

// Puts other operations in place of the current ones for its lifetime (tests of code that
// builds machine identifiers, so they need not wait for the real clock measurement).
class ScopedHardwareAccess : public ScopedOverride<THardwareAccess> {
public:
    explicit ScopedHardwareAccess(const THardwareAccess& access);
};
