#include "Codec.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <unordered_map>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// The double-byte half of code page 936, read once from the C library's converter. The program
// converts its window title before anything is shown, so the table is read a lead byte at a
// time; the reverse table is only needed once a widget's text is read, and waits until then.
struct GbkTables {
    std::array<char16_t, 0x10000> decode{}; // lead << 8 | trail -> character, 0 when unmapped
    char16_t euro = 0;                      // the single byte 0x80

    GbkTables() {
        iconv_t converter = iconv_open("UTF-16LE", "CP936");
        if (converter == reinterpret_cast<iconv_t>(-1))
            return;
        const char euroByte = static_cast<char>(0x80);
        euro = ConvertOne(converter, &euroByte, 1);
        for (int lead = 0x81; lead <= 0xFE; ++lead)
            ReadLead(converter, lead);
        iconv_close(converter);
    }

private:
    static bool IsTrail(int trail) { return trail >= 0x40 && trail <= 0xFE && trail != 0x7F; }

    // One character of one or two bytes; 0 when the converter has none.
    static char16_t ConvertOne(iconv_t converter, const char* bytes, size_t length) {
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
    }

    // Every pair of the lead byte in one conversion, stepping over the pairs the converter
    // refuses. Should a pair come out as anything but one character, the pairs are read one by
    // one instead.
    void ReadLead(iconv_t converter, int lead) {
        std::array<char, 2 * 256> pairs;
        std::array<int, 256> trails;
        size_t count = 0;
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (!IsTrail(trail))
                continue;
            pairs[2 * count] = static_cast<char>(lead);
            pairs[2 * count + 1] = static_cast<char>(trail);
            trails[count++] = trail;
        }
        std::array<char16_t, 256> characters{};
        size_t done = 0;
        while (done < count) {
            char* inPtr = pairs.data() + 2 * done;
            size_t inLeft = 2 * (count - done);
            char* outPtr = reinterpret_cast<char*>(characters.data() + done);
            size_t outLeft = 2 * (count - done);
            iconv(converter, nullptr, nullptr, nullptr, nullptr);
            const size_t result = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
            const size_t consumed = 2 * (count - done) - inLeft;
            const size_t produced = 2 * (count - done) - outLeft;
            if (consumed != produced || consumed % 2 != 0)
                return ReadLeadPairByPair(converter, lead);
            done += consumed / 2;
            if (result == static_cast<size_t>(-1)) {
                if (errno != EILSEQ && errno != EINVAL)
                    return ReadLeadPairByPair(converter, lead);
                characters[done++] = 0; // refused: unmapped
            }
        }
        for (size_t i = 0; i < count; ++i)
            decode[lead << 8 | trails[i]] = characters[i];
    }

    void ReadLeadPairByPair(iconv_t converter, int lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (!IsTrail(trail))
                continue;
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            decode[lead << 8 | trail] = ConvertOne(converter, pair, 2);
        }
    }
};

const GbkTables& Tables() {
    static const GbkTables tables;
    return tables;
}

// Character -> pair; the first pair in code order wins where two map to one character.
const std::unordered_map<char16_t, uint16_t>& EncodeTable() {
    static const std::unordered_map<char16_t, uint16_t> encode = [] {
        std::unordered_map<char16_t, uint16_t> table;
        const GbkTables& tables = Tables();
        for (size_t code = 0; code < tables.decode.size(); ++code)
            if (tables.decode[code] != 0)
                table.emplace(tables.decode[code], static_cast<uint16_t>(code));
        return table;
    }();
    return encode;
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
        } else if (const auto found = EncodeTable().find(c); found != EncodeTable().end()) {
            result += static_cast<char>(found->second >> 8);
            result += static_cast<char>(found->second & 0xFF);
            continue;
        }
        result += '?';
    }
    return result;
}
