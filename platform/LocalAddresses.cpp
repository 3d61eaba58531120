#include "LocalAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>

namespace platform {

namespace {

struct InterfaceAddress {
    unsigned interfaceIndex;
    bool loopback;
    std::string dotted;
};

// An address's interface name may carry a label ("eth0:1"); the interface is what precedes it.
unsigned InterfaceIndex(const std::string& name) {
    return if_nametoindex(name.substr(0, name.find(':')).c_str());
}

std::vector<InterfaceAddress> UpIPv4Addresses() {
    std::vector<InterfaceAddress> found;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return found;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET ||
            !(entry->ifa_flags & IFF_UP))
            continue;
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        char dotted[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &address->sin_addr, dotted, sizeof dotted))
            found.push_back(
                {InterfaceIndex(entry->ifa_name), (entry->ifa_flags & IFF_LOOPBACK) != 0, dotted});
    }
    freeifaddrs(list);
    return found;
}

} // namespace

std::vector<std::string> InterfaceIPv4Addresses() {
    std::vector<InterfaceAddress> found = UpIPv4Addresses();
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.interfaceIndex < b.interfaceIndex;
    });
    const bool onlyLoopback =
        std::all_of(found.begin(), found.end(), [](const auto& a) { return a.loopback; });
    std::vector<std::string> addresses;
    for (const auto& address : found)
        if (address.loopback == onlyLoopback)
            addresses.push_back(address.dotted);
    return addresses;
}

} // namespace platform
