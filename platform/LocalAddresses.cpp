#include "LocalAddresses.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

std::vector<std::string> HostIPv4Addresses() {
    std::vector<std::string> addresses;
    // 64 bytes: names of up to 63 characters and their terminating NUL.
    char hostName[64] = {};
    if (gethostname(hostName, sizeof hostName) != 0)
        return addresses;
    // The host entry keeps the resolver's order; getaddrinfo would sort the addresses by its
    // own destination rules (a loopback address moves in front).
    std::vector<char> scratch(1024);
    hostent entry{};
    hostent* found = nullptr;
    int resolverError = 0;
    while (gethostbyname_r(hostName, &entry, scratch.data(), scratch.size(), &found,
                           &resolverError) == ERANGE)
        scratch.resize(scratch.size() * 2);
    if (!found || found->h_addrtype != AF_INET)
        return addresses;
    for (char** address = found->h_addr_list; *address; ++address) {
        char dotted[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, *address, dotted, sizeof dotted))
            addresses.emplace_back(dotted);
    }
    return addresses;
}

} // namespace platform
