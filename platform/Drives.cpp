#include "Drives.h"

#include <fcntl.h>
#include <linux/hdreg.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t PhysicalDriveCount = 2;
constexpr unsigned char SenseSize = 24;
constexpr unsigned AtaTimeoutMs = 2000;
constexpr unsigned char IdentifyDeviceCommand = 0xEC;

// A whole disk that a device stands behind (partitions, loop, RAM, zram and mapper devices are
// not physical drives).
bool IsPhysicalDisk(const std::string& kernelName) {
    std::string sysfsName = kernelName;
    std::replace(sysfsName.begin(), sysfsName.end(), '/', '!');
    const fs::path block = fs::path("/sys/class/block") / sysfsName;
    std::error_code error;
    return fs::exists(block / "device", error) && !fs::exists(block / "partition", error);
}

// The first physical drives in the kernel's order of registration.
std::vector<std::string> PhysicalDriveNames() {
    std::vector<std::string> names;
    std::ifstream partitions("/proc/partitions");
    std::string line;
    while (names.size() < PhysicalDriveCount && std::getline(partitions, line)) {
        std::istringstream fields(line);
        unsigned major = 0;
        unsigned minor = 0;
        unsigned long long blocks = 0;
        std::string name;
        if (fields >> major >> minor >> blocks >> name && IsPhysicalDisk(name))
            names.push_back(name);
    }
    return names;
}

// Good status, or a check condition whose sense says only that the ATA registers are
// available (some translating layers report every pass-through so).
bool AtaPassThroughSucceeded(const sg_io_hdr& request, const unsigned char* sense) {
    constexpr unsigned char GoodStatus = 0x00;
    constexpr unsigned char CheckConditionStatus = 0x02;
    if (request.host_status != 0)
        return false;
    if (request.status == GoodStatus)
        return true;
    if (request.status != CheckConditionStatus)
        return false;
    unsigned char key = 0;
    unsigned char code = 0;
    unsigned char qualifier = 0;
    const bool descriptorFormat = (sense[0] & 0x7F) >= 0x72;
    if (descriptorFormat && request.sb_len_wr >= 4) {
        key = sense[1] & 0x0F;
        code = sense[2];
        qualifier = sense[3];
    } else if (!descriptorFormat && request.sb_len_wr >= 14) {
        key = sense[2] & 0x0F;
        code = sense[12];
        qualifier = sense[13];
    } else {
        return false;
    }
    constexpr unsigned char RecoveredError = 0x01;
    return key == RecoveredError && code == 0x00 && qualifier == 0x1D;
}

class SystemDriveHandle : public DriveHandle {
public:
    explicit SystemDriveHandle(int descriptor) : FDescriptor(descriptor) {}
    ~SystemDriveHandle() override { close(FDescriptor); }
    SystemDriveHandle(const SystemDriveHandle&) = delete;
    SystemDriveHandle& operator=(const SystemDriveHandle&) = delete;

    bool ScsiCommandIn(const unsigned char* cdb, std::size_t cdbLength, unsigned char* data,
                       std::size_t dataLength, unsigned timeoutSeconds) override {
        unsigned char sense[SenseSize] = {};
        sg_io_hdr request = Request(cdb, cdbLength, data, dataLength, sense, timeoutSeconds * 1000);
        return ioctl(FDescriptor, SG_IO, &request) == 0;
    }

    bool AtaCommandIn(const AtaTaskFile& taskFile, unsigned char (&block)[AtaBlockSize]) override {
        if (AtaPassThrough(taskFile, block))
            return true;
        // Drives behind the kernel's own ATA layer also answer its identity request.
        if (taskFile.Command != IdentifyDeviceCommand ||
            ioctl(FDescriptor, HDIO_GET_IDENTITY, block) != 0)
            return false;
        IdentityTextsToDeviceOrder(block);
        return true;
    }

private:
    static sg_io_hdr Request(const unsigned char* cdb, std::size_t cdbLength, unsigned char* data,
                             std::size_t dataLength, unsigned char* sense, unsigned timeoutMs) {
        sg_io_hdr request{};
        request.interface_id = 'S';
        request.dxfer_direction = SG_DXFER_FROM_DEV;
        request.cmd_len = static_cast<unsigned char>(cdbLength);
        request.mx_sb_len = SenseSize;
        request.dxfer_len = static_cast<unsigned>(dataLength);
        request.dxferp = data;
        // The kernel only reads the command block.
        request.cmdp = const_cast<unsigned char*>(cdb);
        request.sbp = sense;
        request.timeout = timeoutMs;
        return request;
    }

    // ATA PASS-THROUGH (16), PIO data-in, one block whose count is in the sector count register.
    bool AtaPassThrough(const AtaTaskFile& taskFile, unsigned char (&block)[AtaBlockSize]) {
        constexpr unsigned char PioDataIn = 4;
        constexpr unsigned char ToHostBlocksCountInSectorCount = 0x08 | 0x04 | 0x02;
        const unsigned char cdb[16] = {0x85,
                                       PioDataIn << 1,
                                       ToHostBlocksCountInSectorCount,
                                       0,
                                       taskFile.Features,
                                       0,
                                       taskFile.SectorCount,
                                       0,
                                       taskFile.SectorNumber,
                                       0,
                                       taskFile.CylinderLow,
                                       0,
                                       taskFile.CylinderHigh,
                                       taskFile.DriveHead,
                                       taskFile.Command,
                                       0};
        unsigned char sense[SenseSize] = {};
        sg_io_hdr request = Request(cdb, sizeof cdb, block, sizeof block, sense, AtaTimeoutMs);
        return ioctl(FDescriptor, SG_IO, &request) == 0 && AtaPassThroughSucceeded(request, sense);
    }

    int FDescriptor;
};

class SystemDriveControl : public DriveControl {
public:
    std::unique_ptr<DriveHandle> Open(int drive) override {
        const std::vector<std::string> names = PhysicalDriveNames();
        if (drive < 0 || static_cast<std::size_t>(drive) >= names.size())
            return nullptr;
        const std::string path = "/dev/" + names[drive];
        // Read access carries every request made here; closing a disk opened for writing would
        // make the device manager probe it again, and re-read an idle disk's partition table.
        const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (descriptor < 0)
            return nullptr;
        struct stat status {};
        if (fstat(descriptor, &status) != 0 || !S_ISBLK(status.st_mode)) {
            close(descriptor);
            return nullptr;
        }
        return std::make_unique<SystemDriveHandle>(descriptor);
    }
};

} // namespace

void IdentityTextsToDeviceOrder(unsigned char (&block)[AtaBlockSize]) {
    // Byte ranges of words 10-19 (serial number), 23-26 (firmware) and 27-46 (model).
    constexpr std::size_t TextFields[][2] = {{20, 40}, {46, 54}, {54, 94}};
    for (const auto& [first, end] : TextFields)
        for (std::size_t i = first; i < end; i += 2)
            std::swap(block[i], block[i + 1]);
}

DriveControl& SystemDrives() {
    static SystemDriveControl drives;
    return drives;
}

} // namespace platform
