#include "DiskSN.h"

#include "SysUtils.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <utility>

namespace {

// INQUIRY with the vital-product-data bit, page 0x80 (unit serial number), 192 bytes.
constexpr unsigned char UnitSerialInquiry[6] = {0x12, 0x01, 0x80, 0x00, 0xC0, 0x00};
constexpr std::size_t InquiryDataLength = 192;
constexpr unsigned InquiryTimeoutSeconds = 2;
constexpr unsigned char UnitSerialPage = 0x80;
constexpr std::size_t InquiryHeaderLength = 4;

// IDENTIFY DEVICE to the master drive; the serial number is words 10 to 19.
constexpr platform::AtaTaskFile IdentifyDevice = {.Features = 0,
                                                  .SectorCount = 1,
                                                  .SectorNumber = 1,
                                                  .CylinderLow = 0,
                                                  .CylinderHigh = 0,
                                                  .DriveHead = 0xA0,
                                                  .Command = 0xEC};
constexpr std::size_t IdentifySerialOffset = 20;
constexpr std::size_t IdentifySerialLength = 20;

constexpr unsigned SettleMs = 10;
constexpr unsigned MeasureMs = 500;

AnsiString HexBytes(const unsigned char* bytes, std::size_t count) {
    AnsiString text;
    for (std::size_t i = 0; i < count; ++i)
        text += Format("%02X", bytes[i]);
    return text;
}

// Drive 0 is physical drive 0; any other value physical drive 1.
int PhysicalDrive(short Drive) {
    return Drive == 0 ? 0 : 1;
}

// Opens the drive, lets read ask it and closes it on every path; a drive that cannot be opened
// or a request that raises an error gives an empty text.
template <typename Read>
AnsiString AskDrive(platform::DriveControl& drives, short Drive, Read read) {
    try {
        std::unique_ptr<platform::DriveHandle> handle = drives.Open(PhysicalDrive(Drive));
        if (!handle)
            return "";
        return read(*handle);
    } catch (const std::exception&) {
        return "";
    }
}

} // namespace

void SwapBytePairs(unsigned char* Buffer, std::size_t Length) {
    for (std::size_t i = 0; i + 1 < Length; i += 2)
        std::swap(Buffer[i], Buffer[i + 1]);
}

TDISKSN::TDISKSN(QObject* AOwner) : QObject(AOwner), FAccess(CurrentHardwareAccess()) {}

void TDISKSN::SetActive(bool Value) {
    FActive = Value;
    for (AnsiString* text : {&FIDE0SN, &FIDE1SN, &FSCSI0SN, &FSCSI1SN, &FCardAddr0, &FCardAddr1,
                             &FCardAddr2, &FCardAddr3, &FCardAddr4, &FCPUSpeedMHz})
        text->clear();
    if (!Value)
        return;
    FCardAddr0 = GetAdapterAddress(0);
    FCardAddr1 = GetAdapterAddress(1);
    FCardAddr2 = GetAdapterAddress(2);
    FCardAddr3 = GetAdapterAddress(3);
    FCardAddr4 = GetAdapterAddress(4);
    FSCSI0SN = Trim(GetScsiSerial(0));
    FSCSI1SN = Trim(GetScsiSerial(1));
    FIDE0SN = Trim(GetIdeSerial(0));
    FIDE1SN = Trim(GetIdeSerial(1));
    FCPUSpeedMHz = FormatFloatTwoDecimals(GetCPUSpeed());
}

AnsiString TDISKSN::GetAdapterAddress(int Index) {
    platform::AdapterControl& adapters = *FAccess.Adapters;
    platform::AdapterEnumeration enumeration;
    if (adapters.Enumerate(enumeration) != platform::AdapterRequestOk)
        return "";
    if (Index < 0 || Index >= enumeration.Count)
        return "";
    const unsigned char adapter = enumeration.Numbers[Index];
    if (adapters.Reset(adapter) != platform::AdapterRequestOk)
        return "";
    // A status request that reports a failure but delivers the record still gives the address.
    platform::AdapterStatus status;
    adapters.Status(adapter, status);
    if (!status.Delivered)
        return "";
    return HexBytes(status.HardwareAddress, sizeof status.HardwareAddress);
}

AnsiString TDISKSN::GetScsiSerial(short Drive) {
    return AskDrive(*FAccess.Drives, Drive, [](platform::DriveHandle& drive) -> AnsiString {
        unsigned char data[InquiryDataLength] = {};
        if (!drive.ScsiCommandIn(UnitSerialInquiry, sizeof UnitSerialInquiry, data, sizeof data,
                                 InquiryTimeoutSeconds))
            return "";
        if (data[1] != UnitSerialPage)
            return "";
        // A page length beyond the data area is cut to what the area holds.
        const std::size_t length =
            std::min<std::size_t>(data[3], InquiryDataLength - InquiryHeaderLength);
        return AnsiString(reinterpret_cast<const char*>(data + InquiryHeaderLength), length);
    });
}

AnsiString TDISKSN::GetIdeSerial(short Drive) {
    return AskDrive(*FAccess.Drives, Drive, [](platform::DriveHandle& drive) -> AnsiString {
        unsigned char identify[platform::AtaBlockSize] = {};
        if (!drive.AtaCommandIn(IdentifyDevice, identify))
            return "";
        unsigned char* serial = identify + IdentifySerialOffset;
        // ATA keeps the first character of each pair in the word's high-order byte.
        SwapBytePairs(serial, IdentifySerialLength);
        const auto* end = std::find(serial, serial + IdentifySerialLength, 0);
        return AnsiString(reinterpret_cast<const char*>(serial), end - serial);
    });
}

double TDISKSN::GetCPUSpeed() {
    platform::ThreadControl& thread = *FAccess.Thread;
    const platform::SchedulingState saved = thread.SaveScheduling();
    thread.RaiseToRealtime();
    thread.Sleep(SettleMs);
    const std::uint64_t start = FAccess.Processor->ReadTimeStampCounter();
    thread.Sleep(MeasureMs);
    const std::uint64_t stop = FAccess.Processor->ReadTimeStampCounter();
    thread.RestoreScheduling(saved);
    // Only the low 32 bits of the difference count: they hold it whole up to 8589.93 MHz.
    const auto ticks = static_cast<std::uint32_t>(stop - start);
    return ticks / (1000.0 * MeasureMs);
}
