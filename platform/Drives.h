// The computer's first two physical drives, asked for their identification: a SCSI command
// that reads data, and an ATA command that reads one 512-byte block (IDENTIFY DEVICE).
#pragma once

#include <cstddef>
#include <memory>

namespace platform {

// The ATA registers a command is sent with.
struct AtaTaskFile {
    unsigned char Features = 0;
    unsigned char SectorCount = 0;
    unsigned char SectorNumber = 0;
    unsigned char CylinderLow = 0;
    unsigned char CylinderHigh = 0;
    unsigned char DriveHead = 0;
    unsigned char Command = 0;
};

constexpr std::size_t AtaBlockSize = 512;

// The kernel's identity request gives the serial number, firmware and model texts of IDENTIFY
// DEVICE in character order; this puts them back as the drive sends them, the first character
// of each pair in the word's high-order byte.
void IdentityTextsToDeviceOrder(unsigned char (&block)[AtaBlockSize]);

// An open drive; destroying it closes the drive.
class DriveHandle {
public:
    virtual ~DriveHandle() = default;
    // Sends the command and reads up to dataLength bytes into data; true when the request was
    // carried out (the device's own status is not judged here).
    virtual bool ScsiCommandIn(const unsigned char* cdb, std::size_t cdbLength, unsigned char* data,
                               std::size_t dataLength, unsigned timeoutSeconds) = 0;
    // Sends a command that reads one block; true when the drive delivered it.
    virtual bool AtaCommandIn(const AtaTaskFile& taskFile,
                              unsigned char (&block)[AtaBlockSize]) = 0;
};

class DriveControl {
public:
    virtual ~DriveControl() = default;
    // Physical drive 0 or 1 opened for reading; null when it cannot be opened.
    virtual std::unique_ptr<DriveHandle> Open(int drive) = 0;
};

// The first two whole-disk block devices backed by hardware, in the kernel's order, asked
// through the SCSI generic pass-through (and for ATA, the kernel's identity request).
DriveControl& SystemDrives();

} // namespace platform
