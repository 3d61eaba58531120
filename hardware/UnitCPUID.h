// The processor identifier: CPUID function 1 as six groups of four hexadecimal digits.
#pragma once

#include "AnsiString.h"

#include <cstdint>

// The registers CPUID fills, in this order.
struct TCPUIDRegs {
    std::uint32_t EAX;
    std::uint32_t EBX;
    std::uint32_t ECX;
    std::uint32_t EDX;
};

// The function number that ReadCPUID asks for; GetCPUIDString sets it before each read.
extern std::uint32_t CPUIDLeaf;
// Processor type, family, model and feature flags.
constexpr std::uint32_t CPUIDFunctionSignature = 1;

// CPUID of the function in CPUIDLeaf, through the current hardware access.
void ReadCPUID(TCPUIDRegs& Regs);

// The first four characters of S, "-", then characters 5 to 8; characters S lacks are absent.
AnsiString FormatHexGroups(const AnsiString& S);

// EAX, EDX and ECX of function 1, each as two groups: 29 characters such as
// "0003-06A9-BFEB-FBFF-7FBA-E3FF".
AnsiString GetCPUIDString();
