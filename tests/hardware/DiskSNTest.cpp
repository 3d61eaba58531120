#include "DiskSN.h"

#include "FakeHardware.h"
#include "SysUtils.h"

#include <gtest/gtest.h>

using Strings = std::vector<std::string>;

namespace {

constexpr HardwareAddress First = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
constexpr HardwareAddress Second = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};

class DiskSNTest : public testing::Test {
protected:
    // Reads with the fakes as scripted so far and returns the component for inspection.
    TDISKSN& Activate() {
        FComponent.SetActive(true);
        return FComponent;
    }
    FakeHardware Fake;
    ScopedHardwareAccess Scoped{Fake.Access()};

private:
    TDISKSN FComponent;
};

// The ten texts, for checks that concern all of them.
Strings Texts(const TDISKSN& c) {
    return {c.IDE0SN(),    c.IDE1SN(),    c.SCSI0SN(),   c.SCSI1SN(),   c.CardAddr0(),
            c.CardAddr1(), c.CardAddr2(), c.CardAddr3(), c.CardAddr4(), c.CPUSpeedMHz()};
}

const Strings NoTexts(10, "");

} // namespace

TEST_F(DiskSNTest, InactiveComponentHoldsNothingAndWritingFalseReadsNothing) {
    TDISKSN component;
    EXPECT_FALSE(component.Active());
    EXPECT_EQ(Texts(component), NoTexts);

    component.SetCardAddr0("001122334455");
    component.SetCPUSpeedMHz("1.00");
    component.SetActive(false);
    EXPECT_FALSE(component.Active());
    EXPECT_EQ(Texts(component), NoTexts);
    EXPECT_TRUE(Fake.Events.empty());
}

TEST_F(DiskSNTest, ActivationReadsAdaptersThenScsiThenAtaThenTheClock) {
    Fake.Adapters.List = {{.Number = 0, .Address = First}};
    Fake.Drives.Present[0] = {};
    Fake.Drives.Present[1] = {};
    Fake.Processor.Counter = {1000, 1000 + 1'500'000'000ull};
    Activate();

    const Strings expected = {
        "enumerate", "reset 0", "status 0",  "enumerate", "enumerate", "enumerate", "enumerate",
        "open 0",    "scsi 0",  "close 0",   "open 1",    "scsi 1",    "close 1",   "open 0",
        "ata 0",     "close 0", "open 1",    "ata 1",     "close 1",   "save",      "raise",
        "sleep 10",  "counter", "sleep 500", "counter",   "restore"};
    EXPECT_EQ(Fake.Events, expected);
}

TEST_F(DiskSNTest, ActivatingAgainReadsEverythingAfreshAndOverwritesUserValues) {
    Fake.Adapters.List = {{.Number = 0, .Address = First}};
    Activate();
    EXPECT_EQ(Activate().CardAddr0(), "001A2B3C4D5E");

    Fake.Adapters.List = {{.Number = 0, .Address = Second}};
    TDISKSN& component = Activate();
    component.SetCardAddr0("overwritten");
    EXPECT_EQ(component.CardAddr0(), "overwritten");
    component.SetActive(true);
    EXPECT_TRUE(component.Active());
    EXPECT_EQ(component.CardAddr0(), "0A0B0C0D0E0F");
    EXPECT_EQ(Fake.EventsStartingWith("enumerate").size(), 4u * 5u);
    EXPECT_EQ(Fake.EventsStartingWith("save").size(), 4u);

    component.SetActive(false);
    EXPECT_EQ(Texts(component), NoTexts);
}

// Adapters

TEST_F(DiskSNTest, AdaptersAtPositionsZeroAndOneOnlyUseTheirEnumeratedNumbers) {
    Fake.Adapters.List = {{.Number = 3, .Address = First}, {.Number = 7, .Address = Second}};
    const TDISKSN& component = Activate();
    EXPECT_EQ(component.CardAddr0(), "001A2B3C4D5E");
    EXPECT_EQ(component.CardAddr1(), "0A0B0C0D0E0F");
    EXPECT_EQ(component.CardAddr2(), "");
    EXPECT_EQ(component.CardAddr3(), "");
    EXPECT_EQ(component.CardAddr4(), "");
    EXPECT_EQ(Fake.EventsStartingWith("enumerate").size(), 5u);
    EXPECT_EQ(Fake.EventsStartingWith("reset"), (Strings{"reset 3", "reset 7"}));
    EXPECT_EQ(Fake.EventsStartingWith("status"), (Strings{"status 3", "status 7"}));
}

TEST_F(DiskSNTest, NoAdaptersOrAFailedEnumerationLeaveEveryAddressEmpty) {
    EXPECT_EQ(Activate().CardAddr0(), "");
    EXPECT_TRUE(Fake.EventsStartingWith("reset").empty());

    Fake.Adapters.List = {{.Number = 0, .Address = First}};
    Fake.Adapters.EnumerateCode = 0x40;
    const TDISKSN& component = Activate();
    for (const AnsiString& address :
         {component.CardAddr0(), component.CardAddr1(), component.CardAddr2(),
          component.CardAddr3(), component.CardAddr4()})
        EXPECT_EQ(address, "");
    EXPECT_TRUE(Fake.EventsStartingWith("reset").empty());
    EXPECT_TRUE(Fake.EventsStartingWith("status").empty());
}

TEST_F(DiskSNTest, AFailedResetEmptiesOnlyItsOwnAddress) {
    Fake.Adapters.List = {{.Number = 0, .Address = First, .ResetCode = 0x0B},
                          {.Number = 1, .Address = Second}};
    const TDISKSN& component = Activate();
    EXPECT_EQ(component.CardAddr0(), "");
    EXPECT_EQ(component.CardAddr1(), "0A0B0C0D0E0F");
    EXPECT_EQ(Fake.EventsStartingWith("status"), (Strings{"status 1"}));
}

TEST_F(DiskSNTest, StatusCodeIsIgnoredButAStatusWithoutDataGivesNoAddress) {
    Fake.Adapters.List = {{.Number = 0, .Address = First, .StatusCode = 0x01},
                          {.Number = 1, .Address = Second, .DeliversStatus = false}};
    const TDISKSN& component = Activate();
    EXPECT_EQ(component.CardAddr0(), "001A2B3C4D5E");
    EXPECT_EQ(component.CardAddr1(), "");
}

// ATA serial numbers

TEST_F(DiskSNTest, AtaSerialIsReadInCharacterOrderAndTrimmed) {
    Fake.Drives.Present[0].Identify = FakeDrives::IdentifyWithSerial("    WD-WCC4N1234567");
    Fake.Drives.Present[1].Identify = FakeDrives::IdentifyWithSerial("ABCDEFGHIJKLMNOPQRST");
    const TDISKSN& component = Activate();
    EXPECT_EQ(component.IDE0SN(), "WD-WCC4N1234567");
    EXPECT_EQ(component.IDE1SN(), "ABCDEFGHIJKLMNOPQRST");

    const platform::AtaTaskFile& sent = Fake.Drives.LastTaskFile;
    EXPECT_EQ(sent.Command, 0xEC);
    EXPECT_EQ(sent.DriveHead, 0xA0);
    EXPECT_EQ(sent.SectorCount, 1);
    EXPECT_EQ(sent.SectorNumber, 1);
    EXPECT_EQ(sent.Features | sent.CylinderLow | sent.CylinderHigh, 0);
}

TEST_F(DiskSNTest, AtaSerialStopsAtTheFirstZeroByteAndIgnoresTheRestOfTheBlock) {
    auto identify = FakeDrives::IdentifyWithSerial("S1234");
    identify[19] = 'X';     // the word before the field
    identify[40] = 'Y';     // the word after it
    identify[20 + 8] = 'Z'; // behind the zero that ends the serial
    Fake.Drives.Present[0].Identify = identify;
    EXPECT_EQ(Activate().IDE0SN(), "S1234");
}

TEST_F(DiskSNTest, AtaSerialFromTheKernelsIdentityRequestReadsInCharacterOrder) {
    // The kernel's identity request hands the texts over already in character order.
    unsigned char block[platform::AtaBlockSize] = {};
    const std::string serial = "WD-WCC4N1234567";
    const std::string model = "WDC WD10EZEX-08WN4A0";
    std::copy(serial.begin(), serial.end(), block + 20);
    std::copy(model.begin(), model.end(), block + 54);
    block[100] = 0x12; // a numeric word stays as it is
    block[101] = 0x34;
    platform::IdentityTextsToDeviceOrder(block);

    EXPECT_EQ(block[54], 'D');
    EXPECT_EQ(block[55], 'W');
    EXPECT_EQ(block[100], 0x12);
    EXPECT_EQ(block[101], 0x34);
    std::copy(std::begin(block), std::end(block), Fake.Drives.Present[0].Identify.begin());
    EXPECT_EQ(Activate().IDE0SN(), serial);
}

TEST_F(DiskSNTest, FailedAtaRequestGivesAnEmptySerialAndClosesTheDrive) {
    Fake.Drives.Present[0].Identify = FakeDrives::IdentifyWithSerial("SERIAL");
    Fake.Drives.Present[0].AtaSucceeds = false;
    EXPECT_EQ(Activate().IDE0SN(), "");
    EXPECT_EQ(Fake.Drives.OpenHandles, 0);
}

TEST_F(DiskSNTest, AbsentDriveOneLeavesOnlyItsOwnSerialsEmpty) {
    Fake.Drives.Present[0].Identify = FakeDrives::IdentifyWithSerial("ATA0");
    Fake.Drives.Present[0].InquiryReply = FakeDrives::InquiryPage(0x80, 5, "SCSI0");
    const TDISKSN& component = Activate();
    EXPECT_EQ(component.IDE0SN(), "ATA0");
    EXPECT_EQ(component.SCSI0SN(), "SCSI0");
    EXPECT_EQ(component.IDE1SN(), "");
    EXPECT_EQ(component.SCSI1SN(), "");
    EXPECT_EQ(Fake.EventsStartingWith("open 1").size(), 2u);
    EXPECT_TRUE(Fake.EventsStartingWith("scsi 1").empty());
}

// SCSI unit serial numbers

TEST_F(DiskSNTest, ScsiInquiryAsksForTheUnitSerialNumberPage) {
    Fake.Drives.Present[0].InquiryReply = FakeDrives::InquiryPage(0x80, 8, "Z1X2C3V4");
    EXPECT_EQ(Activate().SCSI0SN(), "Z1X2C3V4");
    EXPECT_EQ(Fake.Drives.LastCdb,
              (std::vector<unsigned char>{0x12, 0x01, 0x80, 0x00, 0xC0, 0x00}));
    EXPECT_EQ(Fake.Drives.LastDataLength, 192u);
    EXPECT_EQ(Fake.Drives.LastTimeoutSeconds, 2u);
}

TEST_F(DiskSNTest, ScsiReplyOfAnotherPageOrAFailedRequestGivesAnEmptySerial) {
    Fake.Drives.Present[0].InquiryReply = FakeDrives::InquiryPage(0x83, 8, "Z1X2C3V4");
    Fake.Drives.Present[1].InquiryReply = FakeDrives::InquiryPage(0x80, 8, "Z1X2C3V4");
    Fake.Drives.Present[1].ScsiSucceeds = false;
    const TDISKSN& component = Activate();
    EXPECT_EQ(component.SCSI0SN(), "");
    EXPECT_EQ(component.SCSI1SN(), "");
}

TEST_F(DiskSNTest, ScsiSerialKeepsThePageLengthAndTrimsBlanksAndZeroBytes) {
    const std::string padded = std::string("  9QK1A2B3   ") + '\0' + '\0' + "IGNORED";
    Fake.Drives.Present[0].InquiryReply = FakeDrives::InquiryPage(0x80, 15, padded);
    Fake.Drives.Present[1].InquiryReply =
        FakeDrives::InquiryPage(0x80, 6, std::string("AB") + '\0' + "CD");
    const TDISKSN& component = Activate();
    EXPECT_EQ(component.SCSI0SN(), "9QK1A2B3");
    // A zero byte inside the serial is kept: the page length decides.
    EXPECT_EQ(component.SCSI1SN(), std::string("AB") + '\0' + "CD");
}

TEST_F(DiskSNTest, ScsiPageLengthBeyondTheDataAreaIsCutToTheArea) {
    Fake.Drives.Present[0].InquiryReply = FakeDrives::InquiryPage(0x80, 200, std::string(188, 'S'));
    EXPECT_EQ(Activate().SCSI0SN(), std::string(188, 'S'));
}

TEST_F(DiskSNTest, ErrorRaisedByADriveRequestGivesEmptySerialsAndClosesTheDrive) {
    Fake.Drives.Present[0].Throws = true;
    Fake.Drives.Present[1].InquiryReply = FakeDrives::InquiryPage(0x80, 3, "ONE");
    const TDISKSN& component = Activate();
    EXPECT_EQ(component.SCSI0SN(), "");
    EXPECT_EQ(component.IDE0SN(), "");
    EXPECT_EQ(component.SCSI1SN(), "ONE");
    EXPECT_EQ(Fake.Drives.OpenHandles, 0);
    EXPECT_EQ(Fake.EventsStartingWith("close 0").size(), 2u);
}

// Processor clock

TEST_F(DiskSNTest, ClockCountsTicksPerMicrosecondAcrossTheMeasurement) {
    Fake.Processor.Counter = {0xFFFFFFF0ull, 0xFFFFFFF0ull + 1'500'000'000ull};
    EXPECT_EQ(Activate().CPUSpeedMHz(), "3000.00");
    Fake.Processor.Counter = {5, 5 + 1'234'567};
    EXPECT_EQ(Activate().CPUSpeedMHz(), "2.47");
}

TEST_F(DiskSNTest, ClockTakesOnlyTheLowThirtyTwoBitsOfTheDifference) {
    Fake.Processor.Counter = {0, (1ull << 32) + 500'000};
    EXPECT_EQ(Activate().CPUSpeedMHz(), "1.00");
}

TEST_F(DiskSNTest, ClockTextUsesTheUsersDecimalSeparator) {
    const char separator = DecimalSeparator();
    SetDecimalSeparator(',');
    Fake.Processor.Counter = {0, 1'000'000'000};
    const AnsiString text = Activate().CPUSpeedMHz();
    SetDecimalSeparator(separator);
    EXPECT_EQ(text, "2000,00");
}

TEST_F(DiskSNTest, ClockRestoresTheSchedulingFoundBeforeRaisingIt) {
    const platform::SchedulingState found{.Policy = 3, .Flags = 1, .Nice = 7};
    Fake.Thread.Current = found;
    Activate();
    ASSERT_EQ(Fake.Thread.Restored.size(), 1u);
    EXPECT_EQ(Fake.Thread.Restored[0], found);
    EXPECT_EQ(Fake.Thread.Current, found);
}

TEST(SwapBytePairs, ExchangesEachWordAndLeavesAnOddLastByte) {
    unsigned char bytes[] = {'B', 'A', 'D', 'C', 'E'};
    SwapBytePairs(bytes, sizeof bytes);
    EXPECT_EQ(std::string(bytes, bytes + 5), "ABCDE");
    SwapBytePairs(bytes, 2);
    EXPECT_EQ(std::string(bytes, bytes + 5), "BACDE");
    SwapBytePairs(bytes, 0);
    SwapBytePairs(bytes, 1);
    EXPECT_EQ(std::string(bytes, bytes + 5), "BACDE");
}
