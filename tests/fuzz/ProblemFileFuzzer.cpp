// Problem files as downloaded: the input is the compressed file itself, so damaged zlib streams
// and what they inflate to are both reached.
#include "FuzzSupport.h"
#include "ProblemLoading.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    LoadProblemFile(AnsiString(reinterpret_cast<const char*>(data), size));
    return 0;
}
