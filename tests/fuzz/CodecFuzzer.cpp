// The codec between the system's GBK bytes and widget text: any bytes show as at most as many
// characters, and what shows without a replacement character survives the way back.
#include "Codec.h"
#include "FuzzSupport.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const AnsiString bytes(reinterpret_cast<const char*>(data), size);
    const QString shown = ToQString(bytes);
    FuzzCheck(static_cast<std::size_t>(shown.size()) <= bytes.size(),
              "no byte shows as more than one character");
    const AnsiString back = FromQString(shown);
    if (!shown.contains(QChar(0xFFFD)))
        FuzzCheck(ToQString(back) == shown, "valid GBK shows the same after the way back");

    // The other way: any UTF-16 text, surrogates unpaired or not.
    QString typed(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    std::memcpy(typed.data(), data, size / 2 * 2);
    const AnsiString stored = FromQString(typed);
    FuzzCheck(stored.size() <= 2 * static_cast<std::size_t>(typed.size()),
              "no character takes more than two bytes");
    return 0;
}
