#include "Processor.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#else
#include <ctime>
#endif

namespace platform {
namespace {

class SystemProcessorControl : public ProcessorControl {
public:
    CpuIdRegisters CpuId(std::uint32_t function) override {
        CpuIdRegisters registers;
#if defined(__x86_64__) || defined(__i386__)
        __cpuid(function, registers.Eax, registers.Ebx, registers.Ecx, registers.Edx);
#else
        // No equivalent of the identification registers on this processor.
        (void)function;
#endif
        return registers;
    }

    std::uint64_t ReadTimeStampCounter() override {
#if defined(__x86_64__) || defined(__i386__)
        return __rdtsc();
#elif defined(__aarch64__)
        std::uint64_t ticks;
        asm volatile("mrs %0, cntvct_el0" : "=r"(ticks));
        return ticks;
#else
        // Without a readable cycle counter, nanoseconds stand in for ticks.
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC_RAW, &now);
        return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
               static_cast<std::uint64_t>(now.tv_nsec);
#endif
    }
};

} // namespace

ProcessorControl& SystemProcessor() {
    static SystemProcessorControl processor;
    return processor;
}

} // namespace platform
