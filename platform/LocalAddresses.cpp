#include "LocalAddresses.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <algorithm>

namespace platform {

std::vector<std::string> HostIPv4Addresses() {
    std::vector<std::string> addresses;
    char hostName[64] = {};
    if (gethostname(hostName, sizeof hostName - 1) != 0)
        return addresses;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(hostName, nullptr, &hints, &found) != 0)
        return addresses;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        char dotted[INET_ADDRSTRLEN] = {};
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
        if (!inet_ntop(AF_INET, &address->sin_addr, dotted, sizeof dotted))
            continue;
        // The host entry lists every address once; getaddrinfo may repeat one per protocol.
        if (std::find(addresses.begin(), addresses.end(), dotted) == addresses.end())
            addresses.emplace_back(dotted);
    }
    freeaddrinfo(found);
    return addresses;
}

} // namespace platform
