#include "UnitMachineId.h"

#include "UnitCPUID.h"

AnsiString MachineIdFrom(const TDISKSN& info) {
    if (!info.CardAddr0().empty())
        return info.CardAddr0();
    if (!info.CardAddr1().empty())
        return info.CardAddr1();
    return GetCPUIDString();
}

std::vector<AnsiString> AdapterIdLines(const TDISKSN& info) {
    std::vector<AnsiString> lines{"ID1:", info.CardAddr0()};
    if (!Trim(info.CardAddr1()).empty()) {
        lines.push_back("ID2:");
        lines.push_back(info.CardAddr1());
    }
    return lines;
}
