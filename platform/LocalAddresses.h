// The computer's own IPv4 addresses, as its network interfaces hold them.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Dotted IPv4 addresses of the interfaces that are up, in interface order, loopback left
// out; the loopback addresses only when there is no other. Empty when the interfaces cannot
// be read. The host name is not resolved: host tables commonly map it to a loopback address.
std::vector<std::string> InterfaceIPv4Addresses();

} // namespace platform
