// Problem files by their inflated text: the input is the text of count, records and pictures,
// compressed here, so every mutation reaches the field reader instead of zlib's checks.
#include "FuzzSupport.h"
#include "ProblemLoading.h"

#include <zlib.h>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    uLongf compressedSize = compressBound(static_cast<uLong>(size));
    AnsiString compressed(compressedSize, '\0');
    FuzzCheck(compress2(reinterpret_cast<Bytef*>(compressed.data()), &compressedSize, data,
                        static_cast<uLong>(size), 1) == Z_OK,
              "the text compresses");
    compressed.resize(compressedSize);
    FuzzCheck(LoadProblemFile(compressed) == AnsiString(reinterpret_cast<const char*>(data), size),
              "the problem file inflates to the text compressed");
    return 0;
}
