// Helpers of the benchmarks that measure in fresh processes: running one child and reading what
// it prints, the process's resident memory, and min/median/max of a series.
#pragma once

#include <string>
#include <vector>

// Runs the program with the arguments in a fresh process and returns what it printed; the
// benchmark stops with a message when the child fails.
std::string RunChild(const std::vector<std::string>& argv);

// This process's resident set ("VmRSS") or its peak ("VmHWM") in KiB.
long ResidentKiB(const char* field = "VmRSS:");

struct TSpread {
    double Min, Median, Max;
};
TSpread Spread(std::vector<double> values);
