#include "FakeHardware.h"

#include <algorithm>
#include <stdexcept>

unsigned char FakeAdapters::Enumerate(platform::AdapterEnumeration& adapters) {
    FEvents.push_back("enumerate");
    if (EnumerateCode != platform::AdapterRequestOk)
        return EnumerateCode;
    adapters.Count = static_cast<unsigned char>(List.size());
    for (std::size_t i = 0; i < List.size(); ++i)
        adapters.Numbers[i] = List[i].Number;
    return platform::AdapterRequestOk;
}

const FakeAdapters::Adapter* FakeAdapters::Find(unsigned char number) const {
    const auto found = std::find_if(List.begin(), List.end(),
                                    [number](const Adapter& a) { return a.Number == number; });
    return found == List.end() ? nullptr : &*found;
}

unsigned char FakeAdapters::Reset(unsigned char adapter) {
    FEvents.push_back("reset " + std::to_string(adapter));
    const Adapter* found = Find(adapter);
    return found ? found->ResetCode : platform::AdapterNumberInvalid;
}

unsigned char FakeAdapters::Status(unsigned char adapter, platform::AdapterStatus& status) {
    FEvents.push_back("status " + std::to_string(adapter));
    const Adapter* found = Find(adapter);
    if (!found)
        return platform::AdapterNumberInvalid;
    if (found->DeliversStatus) {
        std::copy(found->Address.begin(), found->Address.end(), status.HardwareAddress);
        status.Delivered = true;
    }
    return found->StatusCode;
}

class FakeDrives::Handle : public platform::DriveHandle {
public:
    Handle(FakeDrives& owner, int number, const Drive& drive)
        : FOwner(owner), FNumber(number), FDrive(drive) {
        ++FOwner.OpenHandles;
    }
    ~Handle() override {
        --FOwner.OpenHandles;
        FOwner.FEvents.push_back("close " + std::to_string(FNumber));
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool ScsiCommandIn(const unsigned char* cdb, std::size_t cdbLength, unsigned char* data,
                       std::size_t dataLength, unsigned timeoutSeconds) override {
        FOwner.FEvents.push_back("scsi " + std::to_string(FNumber));
        FOwner.LastCdb.assign(cdb, cdb + cdbLength);
        FOwner.LastDataLength = dataLength;
        FOwner.LastTimeoutSeconds = timeoutSeconds;
        if (FDrive.Throws)
            throw std::runtime_error("device request failed");
        std::copy_n(FDrive.InquiryReply.begin(), std::min(dataLength, FDrive.InquiryReply.size()),
                    data);
        return FDrive.ScsiSucceeds;
    }

    bool AtaCommandIn(const platform::AtaTaskFile& taskFile,
                      unsigned char (&block)[platform::AtaBlockSize]) override {
        FOwner.FEvents.push_back("ata " + std::to_string(FNumber));
        FOwner.LastTaskFile = taskFile;
        if (FDrive.Throws)
            throw std::runtime_error("device request failed");
        std::copy(FDrive.Identify.begin(), FDrive.Identify.end(), block);
        return FDrive.AtaSucceeds;
    }

private:
    FakeDrives& FOwner;
    int FNumber;
    Drive FDrive;
};

std::unique_ptr<platform::DriveHandle> FakeDrives::Open(int drive) {
    FEvents.push_back("open " + std::to_string(drive));
    const auto found = Present.find(drive);
    if (found == Present.end())
        return nullptr;
    return std::make_unique<Handle>(*this, drive, found->second);
}

std::vector<unsigned char> FakeDrives::InquiryPage(unsigned char pageCode, unsigned char pageLength,
                                                   const std::string& bytes) {
    std::vector<unsigned char> reply(4 + bytes.size());
    reply[1] = pageCode;
    reply[3] = pageLength;
    std::copy(bytes.begin(), bytes.end(), reply.begin() + 4);
    return reply;
}

std::array<unsigned char, platform::AtaBlockSize>
FakeDrives::IdentifyWithSerial(const std::string& text) {
    std::array<unsigned char, platform::AtaBlockSize> identify{};
    constexpr std::size_t SerialOffset = 20;
    for (std::size_t i = 0; i < text.size() && i < 20; ++i)
        identify[SerialOffset + (i ^ 1)] = static_cast<unsigned char>(text[i]);
    return identify;
}

platform::SchedulingState FakeThread::SaveScheduling() {
    FEvents.push_back("save");
    return Current;
}

void FakeThread::RaiseToRealtime() {
    FEvents.push_back("raise");
    Current = {.Policy = 1, .Priority = 99};
}

void FakeThread::RestoreScheduling(const platform::SchedulingState& saved) {
    FEvents.push_back("restore");
    Restored.push_back(saved);
    Current = saved;
}

void FakeThread::Sleep(unsigned milliseconds) {
    FEvents.push_back("sleep " + std::to_string(milliseconds));
}

platform::CpuIdRegisters FakeProcessor::CpuId(std::uint32_t function) {
    FEvents.push_back("cpuid " + std::to_string(function));
    std::deque<platform::CpuIdRegisters>& answers = Functions[function];
    if (answers.empty())
        return {};
    const platform::CpuIdRegisters answer = answers.front();
    if (answers.size() > 1)
        answers.pop_front();
    return answer;
}

std::uint64_t FakeProcessor::ReadTimeStampCounter() {
    FEvents.push_back("counter");
    if (Counter.empty())
        return 0;
    const std::uint64_t value = Counter.front();
    Counter.pop_front();
    return value;
}

std::vector<std::string> FakeHardware::EventsStartingWith(const std::string& prefix) const {
    std::vector<std::string> found;
    std::copy_if(Events.begin(), Events.end(), std::back_inserter(found),
                 [&prefix](const std::string& e) { return e.rfind(prefix, 0) == 0; });
    return found;
}
