#include "Adapters.h"

#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace platform {
namespace {

namespace fs = std::filesystem;

const fs::path NetClass = "/sys/class/net";
// addr_assign_type of an address burnt into the device.
constexpr int PermanentAddress = 0;
constexpr int HardwareAddressLength = 6;
// The longest hardware address the kernel keeps for an interface.
constexpr unsigned MaxAddressLength = 32;

struct Adapter {
    int InterfaceIndex;
    unsigned char Address[HardwareAddressLength];
};

// The first line of a sysfs attribute; empty when it cannot be read.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

bool ReadNumber(const fs::path& file, int& value) {
    const std::string text = ReadAttribute(file);
    return std::sscanf(text.c_str(), "%d", &value) == 1;
}

bool ParseAddress(const std::string& text, unsigned char (&address)[HardwareAddressLength]) {
    unsigned parts[HardwareAddressLength];
    char end = 0;
    if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &parts[0], &parts[1], &parts[2],
                    &parts[3], &parts[4], &parts[5], &end) != HardwareAddressLength)
        return false;
    for (int i = 0; i < HardwareAddressLength; ++i)
        address[i] = static_cast<unsigned char>(parts[i]);
    return true;
}

// The address burnt into the device as its driver reports it; false when the driver reports
// none (or only zeros).
bool ReadPermanentAddress(const std::string& name,
                          unsigned char (&address)[HardwareAddressLength]) {
    // The kernel's permanent-address request: command, buffer size, then the buffer.
    struct {
        std::uint32_t Command;
        std::uint32_t Size;
        unsigned char Bytes[MaxAddressLength];
    } request{};
    request.Command = ETHTOOL_GPERMADDR;
    request.Size = MaxAddressLength;
    ifreq interfaceRequest{};
    if (name.size() >= sizeof interfaceRequest.ifr_name)
        return false;
    std::strncpy(interfaceRequest.ifr_name, name.c_str(), sizeof interfaceRequest.ifr_name - 1);
    interfaceRequest.ifr_data = reinterpret_cast<char*>(&request);
    const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return false;
    const bool answered = ioctl(probe, SIOCETHTOOL, &interfaceRequest) == 0;
    close(probe);
    if (!answered || request.Size != HardwareAddressLength ||
        std::all_of(request.Bytes, request.Bytes + HardwareAddressLength,
                    [](unsigned char b) { return b == 0; }))
        return false;
    std::copy_n(request.Bytes, HardwareAddressLength, address);
    return true;
}

// An interface with a device behind it (loopback, bridges, veth and tunnels have none) and a
// 6-byte permanent address: the one its driver reports, else the current address when that was
// never changed. A randomly assigned or overridden address alone does not make an adapter.
bool ReadAdapter(const fs::path& interface, Adapter& adapter) {
    std::error_code error;
    if (!fs::exists(interface / "device", error))
        return false;
    int addressLength = 0;
    if (!ReadNumber(interface / "addr_len", addressLength) ||
        addressLength != HardwareAddressLength)
        return false;
    if (!ReadNumber(interface / "ifindex", adapter.InterfaceIndex))
        return false;
    if (ReadPermanentAddress(interface.filename().string(), adapter.Address))
        return true;
    int assignType = -1;
    return ReadNumber(interface / "addr_assign_type", assignType) &&
           assignType == PermanentAddress &&
           ParseAddress(ReadAttribute(interface / "address"), adapter.Address);
}

// Read afresh for every request: the list is the same at every start of the same computer.
std::vector<Adapter> ListAdapters() {
    std::vector<Adapter> adapters;
    std::error_code error;
    for (fs::directory_iterator it(NetClass, error), end; !error && it != end;
         it.increment(error)) {
        Adapter adapter{};
        if (ReadAdapter(it->path(), adapter))
            adapters.push_back(adapter);
    }
    std::sort(adapters.begin(), adapters.end(), [](const Adapter& a, const Adapter& b) {
        return a.InterfaceIndex < b.InterfaceIndex;
    });
    return adapters;
}

class SystemAdapterControl : public AdapterControl {
public:
    unsigned char Enumerate(AdapterEnumeration& adapters) override {
        const std::size_t count = std::min<std::size_t>(ListAdapters().size(), 255);
        adapters.Count = static_cast<unsigned char>(count);
        for (std::size_t i = 0; i < count; ++i)
            adapters.Numbers[i] = static_cast<unsigned char>(i);
        return AdapterRequestOk;
    }

    unsigned char Reset(unsigned char adapter) override {
        return adapter < ListAdapters().size() ? AdapterRequestOk : AdapterNumberInvalid;
    }

    unsigned char Status(unsigned char adapter, AdapterStatus& status) override {
        const std::vector<Adapter> adapters = ListAdapters();
        if (adapter >= adapters.size())
            return AdapterNumberInvalid;
        std::copy(std::begin(adapters[adapter].Address), std::end(adapters[adapter].Address),
                  status.HardwareAddress);
        status.Delivered = true;
        return AdapterRequestOk;
    }
};

} // namespace

AdapterControl& SystemAdapters() {
    static SystemAdapterControl adapters;
    return adapters;
}

} // namespace platform
