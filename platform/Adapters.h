// The computer's network adapters as the machine identity asks for them: an enumeration, a
// reset and a status request per adapter, each answering with a return code (0 for success).
#pragma once

#include <cstddef>

namespace platform {

// Return code of a request that was carried out.
constexpr unsigned char AdapterRequestOk = 0x00;
// Return code for an adapter number that the enumeration does not list.
constexpr unsigned char AdapterNumberInvalid = 0x23;

// A count followed by up to 255 adapter numbers, in the order of the enumeration.
struct AdapterEnumeration {
    unsigned char Count = 0;
    unsigned char Numbers[255] = {};
};

// What a status request delivers: the adapter's hardware address, when it delivered anything.
struct AdapterStatus {
    bool Delivered = false;
    unsigned char HardwareAddress[6] = {};
};

class AdapterControl {
public:
    virtual ~AdapterControl() = default;
    virtual unsigned char Enumerate(AdapterEnumeration& adapters) = 0;
    virtual unsigned char Reset(unsigned char adapter) = 0;
    virtual unsigned char Status(unsigned char adapter, AdapterStatus& status) = 0;
};

// Network interfaces backed by a hardware device with a permanent 6-byte hardware address,
// numbered 0, 1, ... in the order of their interface index; the status gives that permanent
// address even when another one is set. Loopback, bridges, tunnels and randomly addressed
// devices are not adapters.
AdapterControl& SystemAdapters();

} // namespace platform
