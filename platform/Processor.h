// The processor's identification (CPUID) and its cycle counter (the time-stamp counter).
#pragma once

#include <cstdint>

namespace platform {

struct CpuIdRegisters {
    std::uint32_t Eax = 0;
    std::uint32_t Ebx = 0;
    std::uint32_t Ecx = 0;
    std::uint32_t Edx = 0;
};

class ProcessorControl {
public:
    virtual ~ProcessorControl() = default;
    // CPUID with the function number in EAX only.
    virtual CpuIdRegisters CpuId(std::uint32_t function) = 0;
    virtual std::uint64_t ReadTimeStampCounter() = 0;
};

// On x86 the instructions themselves; elsewhere the processor's cycle counter and zero
// registers.
ProcessorControl& SystemProcessor();

} // namespace platform
