#include "Codec.h"

#include <iconv.h>

#include <array>
#include <unordered_map>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// The double-byte half of code page 936, read once from the C library's converter.
struct GbkTables {
    std::array<char16_t, 0x10000> decode{}; // lead << 8 | trail -> character, 0 when unmapped
    std::unordered_map<char16_t, uint16_t> encode;
    char16_t euro = 0; // the single byte 0x80

    GbkTables() {
        iconv_t converter = iconv_open("UTF-16LE", "CP936");
        if (converter == reinterpret_cast<iconv_t>(-1))
            return;
        const auto convert = [&](const char* bytes, size_t length) -> char16_t {
            char in[2] = {bytes[0], length > 1 ? bytes[1] : '\0'};
            char out[8];
            char* inPtr = in;
            char* outPtr = out;
            size_t inLeft = length;
            size_t outLeft = sizeof out;
            iconv(converter, nullptr, nullptr, nullptr, nullptr);
            if (iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) ||
                inLeft != 0 || sizeof out - outLeft != 2)
                return 0;
            return static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                         static_cast<unsigned char>(out[1]) << 8);
        };
        const char euroByte = static_cast<char>(0x80);
        euro = convert(&euroByte, 1);
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                if (trail == 0x7F)
                    continue;
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                const char16_t c = convert(pair, 2);
                if (c == 0)
                    continue;
                const auto code = static_cast<uint16_t>(lead << 8 | trail);
                decode[code] = c;
                encode.emplace(c, code);
            }
        }
        iconv_close(converter);
    }
};

const GbkTables& Tables() {
    static const GbkTables tables;
    return tables;
}

} // namespace

QString ToQString(const AnsiString& text) {
    const GbkTables& tables = Tables();
    QString result;
    result.reserve(static_cast<qsizetype>(text.size()));
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            result += QChar(byte);
        } else if (byte == 0x80) {
            result += QChar(tables.euro ? tables.euro : kReplacement);
        } else if (IsGbkLeadByte(byte) && i + 1 < text.size()) {
            const auto trail = static_cast<unsigned char>(text[i + 1]);
            const char16_t c = tables.decode[byte << 8 | trail];
            if (c != 0) {
                result += QChar(c);
                ++i;
            } else {
                // A trail byte outside the pair's range may start the next character.
                result += QChar(kReplacement);
                if (trail >= 0x40 && trail != 0x7F && trail != 0xFF)
                    ++i;
            }
        } else {
            result += QChar(kReplacement);
        }
    }
    return result;
}

AnsiString FromQString(const QString& text) {
    const GbkTables& tables = Tables();
    AnsiString result;
    result.reserve(static_cast<size_t>(text.size()) * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            result += static_cast<char>(c);
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i; // outside GBK: one "?" for the whole character
        else if (c == tables.euro) {
            result += static_cast<char>(0x80);
            continue;
        } else if (const auto found = tables.encode.find(c); found != tables.encode.end()) {
            result += static_cast<char>(found->second >> 8);
            result += static_cast<char>(found->second & 0xFF);
            continue;
        }
        result += '?';
    }
    return result;
}
