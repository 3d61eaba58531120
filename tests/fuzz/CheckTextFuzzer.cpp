// Any payload of the server's check results gives text that opens with a problem heading.
#include "FuzzSupport.h"
#include "UnitCheckText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const AnsiString payload(reinterpret_cast<const char*>(data), size);
    const AnsiString text = FormatCheckResults(payload);
    FuzzCheck(text.rfind("第", 0) == 0, "the check results open with a problem heading");
    FuzzCheck(!text.ends_with("\r\n"), "the check results end without a line end");
    CheckCodeToText(payload);
    return 0;
}
