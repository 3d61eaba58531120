// Scripted stand-ins for the machine identity's platform operations; every call they receive is
// written to one shared list of events, so tests can check what was asked and in which order.
#pragma once

#include "HardwareAccess.h"

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

using HardwareEvents = std::vector<std::string>;
using HardwareAddress = std::array<unsigned char, 6>;

class FakeAdapters : public platform::AdapterControl {
public:
    struct Adapter {
        unsigned char Number;
        HardwareAddress Address;
        unsigned char ResetCode = platform::AdapterRequestOk;
        unsigned char StatusCode = platform::AdapterRequestOk;
        bool DeliversStatus = true;
    };
    explicit FakeAdapters(HardwareEvents& events) : FEvents(events) {}
    unsigned char Enumerate(platform::AdapterEnumeration& adapters) override;
    unsigned char Reset(unsigned char adapter) override;
    unsigned char Status(unsigned char adapter, platform::AdapterStatus& status) override;

    unsigned char EnumerateCode = platform::AdapterRequestOk;
    std::vector<Adapter> List; // in enumeration order

private:
    const Adapter* Find(unsigned char number) const;
    HardwareEvents& FEvents;
};

class FakeDrives : public platform::DriveControl {
public:
    struct Drive {
        bool ScsiSucceeds = true;
        std::vector<unsigned char> InquiryReply; // copied to the start of the data area
        bool AtaSucceeds = true;
        std::array<unsigned char, platform::AtaBlockSize> Identify{};
        bool Throws = false; // every request raises an error
    };
    explicit FakeDrives(HardwareEvents& events) : FEvents(events) {}
    std::unique_ptr<platform::DriveHandle> Open(int drive) override;

    std::map<int, Drive> Present; // a drive not listed cannot be opened
    int OpenHandles = 0;
    // The last requests as sent.
    std::vector<unsigned char> LastCdb;
    std::size_t LastDataLength = 0;
    unsigned LastTimeoutSeconds = 0;
    platform::AtaTaskFile LastTaskFile{};

    // A unit-serial-number reply: header with the page code and page length, then the bytes.
    static std::vector<unsigned char> InquiryPage(unsigned char pageCode, unsigned char pageLength,
                                                  const std::string& bytes);
    // IDENTIFY data whose serial number field holds text as ATA stores it (first character of
    // each pair in the high-order byte), the rest of the field zero.
    static std::array<unsigned char, platform::AtaBlockSize>
    IdentifyWithSerial(const std::string& text);

private:
    class Handle;
    HardwareEvents& FEvents;
};

class FakeThread : public platform::ThreadControl {
public:
    explicit FakeThread(HardwareEvents& events) : FEvents(events) {}
    platform::SchedulingState SaveScheduling() override;
    void RaiseToRealtime() override;
    void RestoreScheduling(const platform::SchedulingState& saved) override;
    void Sleep(unsigned milliseconds) override;

    platform::SchedulingState Current{.Policy = 3, .Nice = 5}; // what SaveScheduling finds
    std::vector<platform::SchedulingState> Restored;

private:
    HardwareEvents& FEvents;
};

class FakeProcessor : public platform::ProcessorControl {
public:
    explicit FakeProcessor(HardwareEvents& events) : FEvents(events) {}
    platform::CpuIdRegisters CpuId(std::uint32_t function) override;
    std::uint64_t ReadTimeStampCounter() override;

    // Answers per function, given out in turn; the last one repeats.
    std::map<std::uint32_t, std::deque<platform::CpuIdRegisters>> Functions;
    // Counter readings given out in turn; 0 once they are used up.
    std::deque<std::uint64_t> Counter;

private:
    HardwareEvents& FEvents;
};

// One of each, sharing the event list.
struct FakeHardware {
    HardwareEvents Events;
    FakeAdapters Adapters{Events};
    FakeDrives Drives{Events};
    FakeThread Thread{Events};
    FakeProcessor Processor{Events};
    THardwareAccess Access() { return {&Adapters, &Drives, &Thread, &Processor}; }
    // Events that start with the prefix, in order.
    std::vector<std::string> EventsStartingWith(const std::string& prefix) const;
};
