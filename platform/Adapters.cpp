#include "Adapters.h"

#include <algorithm>
#include <cstdio>
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

bool ReadAdapter(const fs::path& interface, Adapter& adapter) {
    std::error_code error;
    // Virtual interfaces (loopback, bridges, veth, tunnels) have no device behind them.
    if (!fs::exists(interface / "device", error))
        return false;
    int addressLength = 0;
    int assignType = -1;
    if (!ReadNumber(interface / "addr_len", addressLength) ||
        addressLength != HardwareAddressLength)
        return false;
    if (!ReadNumber(interface / "addr_assign_type", assignType) || assignType != PermanentAddress)
        return false;
    return ReadNumber(interface / "ifindex", adapter.InterfaceIndex) &&
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
