#include "UnitCPUID.h"

#include "HardwareAccess.h"

std::uint32_t CPUIDLeaf = 0;

void ReadCPUID(TCPUIDRegs& Regs) {
    const platform::CpuIdRegisters registers = CurrentHardwareAccess().Processor->CpuId(CPUIDLeaf);
    Regs.EAX = registers.Eax;
    Regs.EBX = registers.Ebx;
    Regs.ECX = registers.Ecx;
    Regs.EDX = registers.Edx;
}

AnsiString FormatHexGroups(const AnsiString& S) {
    AnsiString result = S.substr(0, 4) + "-";
    if (S.size() > 4)
        result += S.substr(4, 4);
    return result;
}

namespace {
AnsiString EightHexDigits(std::uint32_t value) {
    return Format("%08X", static_cast<unsigned>(value));
}
} // namespace

AnsiString GetCPUIDString() {
    TCPUIDRegs regs{};
    CPUIDLeaf = CPUIDFunctionSignature;
    ReadCPUID(regs);
    AnsiString result = FormatHexGroups(EightHexDigits(regs.EAX)) + "-";
    CPUIDLeaf = CPUIDFunctionSignature;
    ReadCPUID(regs);
    return result + FormatHexGroups(EightHexDigits(regs.EDX)) + "-" +
           FormatHexGroups(EightHexDigits(regs.ECX));
}
