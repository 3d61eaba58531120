// The calling thread's scheduling (raised to real time while something is measured, then
// restored exactly) and its sleeping.
#pragma once

#include <cstdint>

namespace platform {

// Everything the kernel keeps about how a thread is scheduled.
struct SchedulingState {
    std::uint32_t Policy = 0;
    std::uint64_t Flags = 0;
    std::int32_t Nice = 0;
    std::uint32_t Priority = 0;
    std::uint64_t Runtime = 0;
    std::uint64_t Deadline = 0;
    std::uint64_t Period = 0;
    bool operator==(const SchedulingState&) const = default;
};

class ThreadControl {
public:
    virtual ~ThreadControl() = default;
    virtual SchedulingState SaveScheduling() = 0;
    // The strongest real-time scheduling the process is granted; unchanged when none is.
    virtual void RaiseToRealtime() = 0;
    virtual void RestoreScheduling(const SchedulingState& saved) = 0;
    // Suspends the calling thread for at least the given time.
    virtual void Sleep(unsigned milliseconds) = 0;
};

// The calling thread's: first-in-first-out real-time scheduling where permitted.
ThreadControl& SystemThread();

} // namespace platform
