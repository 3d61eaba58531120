// The computer's IPv4 addresses as the resolver gives them for its host name.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Dotted IPv4 addresses of gethostname() resolved, in the resolver's order; empty when the
// name cannot be read or does not resolve.
std::vector<std::string> HostIPv4Addresses();

} // namespace platform
