// What the main window needs from the machine identity: the machine identifier and the lines
// of the log's "ID" command, both taken from an activated TDISKSN.
#pragma once

#include "AnsiString.h"
#include "DiskSN.h"

#include <vector>

// CardAddr0 when not empty, else CardAddr1 when not empty, else GetCPUIDString().
AnsiString MachineIdFrom(const TDISKSN& info);

// "ID1:" and CardAddr0 (empty when there is none), then "ID2:" and CardAddr1 when CardAddr1
// holds more than blanks and control characters.
std::vector<AnsiString> AdapterIdLines(const TDISKSN& info);
