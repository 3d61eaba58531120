#include "UnitMachineId.h"

#include "FakeHardware.h"

#include <gtest/gtest.h>

namespace {

constexpr HardwareAddress First = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
constexpr HardwareAddress Second = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};

class MachineIdTest : public testing::Test {
protected:
    MachineIdTest() {
        Fake.Processor.Functions[1] = {{.Eax = 0x00000F29, .Ecx = 0x7FBAE3FF, .Edx = 0xBFEBFBFF}};
    }
    // As the main window builds it: a fresh component, activated, read, freed.
    AnsiString MachineId() {
        TDISKSN info;
        info.SetActive(true);
        return MachineIdFrom(info);
    }
    FakeHardware Fake;
    ScopedHardwareAccess Scoped{Fake.Access()};
};

} // namespace

TEST_F(MachineIdTest, IsTheFirstAdapterAddressElseTheSecondElseTheProcessorIdentifier) {
    Fake.Adapters.List = {{.Number = 0, .Address = First}, {.Number = 1, .Address = Second}};
    EXPECT_EQ(MachineId(), "001A2B3C4D5E");

    Fake.Adapters.List[0].ResetCode = 0x0B;
    EXPECT_EQ(MachineId(), "0A0B0C0D0E0F");

    Fake.Adapters.List.clear();
    EXPECT_EQ(MachineId(), "0000-0F29-BFEB-FBFF-7FBA-E3FF");
}

TEST_F(MachineIdTest, StaysTheSameFromOneCallToTheNext) {
    Fake.Adapters.List = {{.Number = 2, .Address = Second}};
    const AnsiString first = MachineId();
    EXPECT_EQ(MachineId(), first);
    EXPECT_EQ(Fake.EventsStartingWith("enumerate").size(), 10u);
}

TEST_F(MachineIdTest, ScopedAccessGivesBackThePreviousOperations) {
    FakeHardware inner;
    {
        ScopedHardwareAccess nested(inner.Access());
        EXPECT_EQ(MachineId(), "0000-0000-0000-0000-0000-0000");
    }
    Fake.Adapters.List = {{.Number = 0, .Address = First}};
    EXPECT_EQ(MachineId(), "001A2B3C4D5E");
    EXPECT_EQ(inner.EventsStartingWith("enumerate").size(), 5u);
}

TEST_F(MachineIdTest, IdCommandListsTheFirstAddressAndTheSecondOnlyWhenPresent) {
    TDISKSN info;
    EXPECT_EQ(AdapterIdLines(info), (std::vector<AnsiString>{"ID1:", ""}));

    info.SetCardAddr0("001A2B3C4D5E");
    info.SetCardAddr1(" \t");
    EXPECT_EQ(AdapterIdLines(info), (std::vector<AnsiString>{"ID1:", "001A2B3C4D5E"}));

    info.SetCardAddr1(" 0A0B0C0D0E0F");
    EXPECT_EQ(AdapterIdLines(info),
              (std::vector<AnsiString>{"ID1:", "001A2B3C4D5E", "ID2:", " 0A0B0C0D0E0F"}));
}
