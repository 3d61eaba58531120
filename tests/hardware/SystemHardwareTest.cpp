// The machine identity on this computer's own platform operations. Each activation waits half a
// second, so all real activations happen in one case.
#include "DiskSN.h"
#include "UnitMachineId.h"

#include "SysUtils.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <regex>
#include <set>
#include <string>
#include <thread>

namespace {

// How the calling thread is scheduled, read without the code under test.
struct Scheduling {
    int Policy;
    int Priority;
    int Nice;
    bool operator==(const Scheduling&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const Scheduling& s) {
        return out << "policy " << s.Policy << ", priority " << s.Priority << ", nice " << s.Nice;
    }
};

Scheduling CurrentScheduling() {
    sched_param parameters{};
    sched_getparam(0, &parameters);
    return {sched_getscheduler(0), parameters.sched_priority,
            getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()))};
}

// This process's open descriptors of block devices.
std::set<std::string> BlockDeviceDescriptors() {
    std::set<std::string> descriptors;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        if (std::filesystem::is_block_file(entry.path(), error))
            descriptors.insert(entry.path().filename().string());
    return descriptors;
}

// The open flags of a descriptor of this process.
unsigned OpenFlags(const std::string& descriptor) {
    std::ifstream info("/proc/self/fdinfo/" + descriptor);
    std::string field;
    unsigned flags = 0;
    while (info >> field)
        if (field == "flags:" && info >> std::oct >> flags)
            break;
    return flags;
}

bool IsAdapterAddress(const AnsiString& text) {
    return std::regex_match(text, std::regex("[0-9A-F]{12}"));
}

} // namespace

TEST(SystemHardware, ActivationWaitsRestoresSchedulingAndReadsTheSameValuesEachTime) {
    const Scheduling before = CurrentScheduling();
    TDISKSN first;
    const auto start = std::chrono::steady_clock::now();
    first.SetActive(true);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(510));
    EXPECT_EQ(CurrentScheduling(), before);

    const AnsiString separator(1, DecimalSeparator());
    EXPECT_TRUE(
        std::regex_match(first.CPUSpeedMHz(), std::regex("[0-9]+\\" + separator + "[0-9]{2}")))
        << first.CPUSpeedMHz();
    EXPECT_GT(StrToFloat(first.CPUSpeedMHz()), 0.0);
    for (const AnsiString& address : {first.CardAddr0(), first.CardAddr1(), first.CardAddr2(),
                                      first.CardAddr3(), first.CardAddr4()})
        EXPECT_TRUE(address.empty() || IsAdapterAddress(address)) << address;
    for (const AnsiString& serial :
         {first.IDE0SN(), first.IDE1SN(), first.SCSI0SN(), first.SCSI1SN()})
        EXPECT_EQ(serial, Trim(serial));

    TDISKSN second;
    second.SetActive(true);
    EXPECT_EQ(MachineIdFrom(second), MachineIdFrom(first));
    EXPECT_EQ(second.CardAddr4(), first.CardAddr4());
    EXPECT_EQ(second.IDE0SN(), first.IDE0SN());
    EXPECT_EQ(second.SCSI0SN(), first.SCSI0SN());
}

TEST(SystemHardware, RealTimeRaiseIsUndoneExactlyWhetherOrNotItWasPermitted) {
    // A thread of its own, so the batch scheduling and nice value set here die with it.
    std::thread([] {
        sched_param normal{};
        ASSERT_EQ(sched_setscheduler(0, SCHED_BATCH | SCHED_RESET_ON_FORK, &normal), 0);
        ASSERT_EQ(setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 3), 0);
        const Scheduling before = CurrentScheduling();

        platform::ThreadControl& thread = platform::SystemThread();
        const platform::SchedulingState saved = thread.SaveScheduling();
        thread.RaiseToRealtime();
        const Scheduling raised = CurrentScheduling();
        EXPECT_TRUE(raised == before || (raised.Policy & ~SCHED_RESET_ON_FORK) == SCHED_FIFO);
        thread.RestoreScheduling(saved);

        EXPECT_EQ(CurrentScheduling(), before);
        EXPECT_EQ(thread.SaveScheduling(), saved);
    }).join();
}

TEST(SystemHardware, AdaptersAreListedInTheSameOrderEveryTimeAndEachAnswersItsStatus) {
    platform::AdapterControl& adapters = platform::SystemAdapters();
    platform::AdapterEnumeration first;
    platform::AdapterEnumeration second;
    ASSERT_EQ(adapters.Enumerate(first), platform::AdapterRequestOk);
    ASSERT_EQ(adapters.Enumerate(second), platform::AdapterRequestOk);
    ASSERT_EQ(first.Count, second.Count);
    for (int i = 0; i < first.Count; ++i) {
        EXPECT_EQ(first.Numbers[i], second.Numbers[i]);
        EXPECT_EQ(adapters.Reset(first.Numbers[i]), platform::AdapterRequestOk);
        platform::AdapterStatus status;
        EXPECT_EQ(adapters.Status(first.Numbers[i], status), platform::AdapterRequestOk);
        EXPECT_TRUE(status.Delivered);
        // A permanent address of a real device is never all zero (the loopback's is).
        const unsigned char* address = status.HardwareAddress;
        EXPECT_TRUE(std::any_of(address, address + 6, [](unsigned char b) { return b != 0; }));
    }
    EXPECT_EQ(adapters.Reset(first.Count), platform::AdapterNumberInvalid);
}

TEST(SystemHardware, DriveIsOpenedForReadingOnlyAndClosedWithItsHandle) {
    const std::set<std::string> before = BlockDeviceDescriptors();
    std::unique_ptr<platform::DriveHandle> drive = platform::SystemDrives().Open(0);
    if (!drive)
        GTEST_SKIP() << "no physical drive that this process may open";
    std::set<std::string> opened = BlockDeviceDescriptors();
    std::erase_if(opened, [&before](const std::string& d) { return before.count(d) != 0; });
    ASSERT_EQ(opened.size(), 1u);
    const std::string descriptor = *opened.begin();
    // Closing a disk opened for writing makes the device manager probe it again.
    EXPECT_EQ(OpenFlags(descriptor) & O_ACCMODE, static_cast<unsigned>(O_RDONLY));

    drive.reset();
    EXPECT_EQ(BlockDeviceDescriptors(), before);
}
