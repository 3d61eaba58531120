#include "ThreadControl.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace platform {
namespace {

// The kernel's extended scheduling record in its first published form (48 bytes); later fields
// (utilisation clamps) are left as they are.
struct KernelSchedulingRecord {
    std::uint32_t Size;
    std::uint32_t Policy;
    std::uint64_t Flags;
    std::int32_t Nice;
    std::uint32_t Priority;
    std::uint64_t Runtime;
    std::uint64_t Deadline;
    std::uint64_t Period;
};
static_assert(sizeof(KernelSchedulingRecord) == 48);

// Thread id 0: the calling thread.
constexpr pid_t CallingThread = 0;

class SystemThreadControl : public ThreadControl {
public:
    SchedulingState SaveScheduling() override {
        KernelSchedulingRecord record{};
        record.Size = sizeof record;
        SchedulingState state;
        if (syscall(SYS_sched_getattr, CallingThread, &record, sizeof record, 0) != 0) {
            // Kernels without the extended record: policy, priority and nice alone.
            sched_param parameters{};
            sched_getparam(CallingThread, &parameters);
            state.Policy = static_cast<std::uint32_t>(sched_getscheduler(CallingThread));
            state.Priority = static_cast<std::uint32_t>(parameters.sched_priority);
            state.Nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
            return state;
        }
        state.Policy = record.Policy;
        state.Flags = record.Flags;
        state.Nice = record.Nice;
        state.Priority = record.Priority;
        state.Runtime = record.Runtime;
        state.Deadline = record.Deadline;
        state.Period = record.Period;
        return state;
    }

    void RaiseToRealtime() override {
        const int highest = sched_get_priority_max(SCHED_FIFO);
        sched_param parameters{};
        parameters.sched_priority = highest;
        if (sched_setscheduler(CallingThread, SCHED_FIFO, &parameters) == 0)
            return;
        // Without privilege the process may still be granted real time up to its limit.
        rlimit limit{};
        if (getrlimit(RLIMIT_RTPRIO, &limit) != 0 || limit.rlim_cur == 0)
            return;
        parameters.sched_priority =
            static_cast<int>(std::min<rlim_t>(limit.rlim_cur, static_cast<rlim_t>(highest)));
        sched_setscheduler(CallingThread, SCHED_FIFO, &parameters);
    }

    void RestoreScheduling(const SchedulingState& saved) override {
        KernelSchedulingRecord record{};
        record.Size = sizeof record;
        record.Policy = saved.Policy;
        record.Flags = saved.Flags;
        record.Nice = saved.Nice;
        record.Priority = saved.Priority;
        record.Runtime = saved.Runtime;
        record.Deadline = saved.Deadline;
        record.Period = saved.Period;
        if (syscall(SYS_sched_setattr, CallingThread, &record, 0) == 0)
            return;
        sched_param parameters{};
        parameters.sched_priority = static_cast<int>(saved.Priority);
        sched_setscheduler(CallingThread, static_cast<int>(saved.Policy), &parameters);
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), saved.Nice);
    }

    void Sleep(unsigned milliseconds) override {
        timespec deadline{};
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += milliseconds / 1000;
        deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        // A signal does not cut the sleep short.
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
        }
    }
};

} // namespace

ThreadControl& SystemThread() {
    static SystemThreadControl thread;
    return thread;
}

} // namespace platform
