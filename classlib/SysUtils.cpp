#include "SysUtils.h"

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cstring>
#include <optional>

EListError::EListError(int index) : Exception(Format("List index out of bounds (%d)", index)) {}

EFOpenError::EFOpenError(const AnsiString& fileName, int error)
    : Exception(Format("Cannot open file \"%s\". %s", fileName.c_str(), std::strerror(error))) {}

EFCreateError::EFCreateError(const AnsiString& fileName, int error)
    : Exception(Format("Cannot create file \"%s\". %s", fileName.c_str(), std::strerror(error))) {}

EFReadError::EFReadError(const AnsiString& fileName, int error)
    : Exception(Format("Cannot read file \"%s\". %s", fileName.c_str(), std::strerror(error))) {}

EInOutError EInOutError::FromErrno(int error) {
    switch (error) {
    case ENOENT:
        return EInOutError(error, "File not found");
    case EACCES:
    case EPERM:
    case EROFS:
        return EInOutError(error, "File access denied");
    case ENOSPC:
    case EDQUOT:
        return EInOutError(error, "Disk full");
    default:
        return EInOutError(error, Format("I/O error %d", error));
    }
}

EAssertionFailed::EAssertionFailed(const AnsiString& sourcePath, int line)
    : Exception(Format("%s (%s, line %d)", "Assertion failure", sourcePath.c_str(), line)) {}

EReadError::EReadError() : Exception("Stream read error") {}
EWriteError::EWriteError() : Exception("Stream write error") {}
EInvalidGraphic::EInvalidGraphic() : Exception("Bitmap image is not valid") {}
EZDecompressionError::EZDecompressionError() : Exception("Error") {}

AnsiString SocketErrorText(int errorCode) {
    switch (errorCode) {
    case 10004:
        return "Interrupted function call";
    case 10013:
        return "Permission denied";
    case 10022:
        return "Invalid argument";
    case 10035:
        return "Resource temporarily unavailable";
    case 10040:
        return "Message too long";
    case 10045:
        return "Operation not supported";
    case 10048:
        return "Address already in use";
    case 10049:
        return "Cannot assign requested address";
    case 10050:
        return "Network is down";
    case 10051:
        return "Network is unreachable";
    case 10053:
        return "Software caused connection abort";
    case 10054:
        return "Connection reset by peer";
    case 10055:
        return "No buffer space available";
    case 10057:
        return "Socket is not connected";
    case 10060:
        return "Connection timed out";
    case 10061:
        return "Connection refused";
    case 10064:
        return "Host is down";
    case 10065:
        return "No route to host";
    default:
        return "Unknown error";
    }
}

ESocketError ESocketError::FromCall(int errorCode, const AnsiString& api) {
    return ESocketError(Format("Windows socket error: %s (%d), on API '%s'",
                               SocketErrorText(errorCode).c_str(), errorCode, api.c_str()));
}

ESocketError ESocketError::ActiveChange() {
    return ESocketError("Can't change value while socket is active");
}

// The characters read, as the error quotes them: the text up to a NUL byte.
static AnsiString Quoted(const AnsiString& text) {
    return AnsiString(text.c_str());
}

static std::optional<int> ParseInt(const AnsiString& field) {
    const AnsiString text = Quoted(field);
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return std::nullopt;
    unsigned long long magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (base == 16) {
        const auto pattern = static_cast<int>(static_cast<unsigned>(magnitude));
        return negative ? static_cast<int>(0u - static_cast<unsigned>(pattern)) : pattern;
    }
    const long long value =
        negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    if (value < -2147483648LL || value > 2147483647LL)
        return std::nullopt;
    return static_cast<int>(value);
}

int StrToInt(const AnsiString& text) {
    if (const auto value = ParseInt(text))
        return *value;
    throw EConvertError(Format("'%s' is not a valid integer value", Quoted(text).c_str()));
}

int StrToIntDef(const AnsiString& text, int defaultValue) {
    return ParseInt(text).value_or(defaultValue);
}

static char gDecimalSeparator = 0;

char DecimalSeparator() {
    if (gDecimalSeparator == 0) {
        const lconv* conventions = std::localeconv();
        const char* point = conventions ? conventions->decimal_point : nullptr;
        gDecimalSeparator = (point && point[0] != 0) ? point[0] : '.';
    }
    return gDecimalSeparator;
}

void SetDecimalSeparator(char separator) {
    gDecimalSeparator = separator;
}

static std::optional<double> ParseFloat(const AnsiString& field) {
    const AnsiString text = Quoted(field);
    const char separator = DecimalSeparator();
    size_t i = 0;
    const auto digitsAt = [&](AnsiString& out) {
        size_t count = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            out += text[i++];
            ++count;
        }
        return count;
    };
    while (i < text.size() && text[i] == ' ')
        ++i;
    AnsiString normalised; // what from_chars reads: "." as separator, no "+"
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            normalised += '-';
        ++i;
    }
    size_t mantissaDigits = digitsAt(normalised);
    if (i < text.size() && text[i] == separator) {
        ++i;
        normalised += '.';
        mantissaDigits += digitsAt(normalised);
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        normalised += 'e';
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            normalised += text[i++];
        if (digitsAt(normalised) == 0)
            return std::nullopt;
    }
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i != text.size())
        return std::nullopt;
    double value = 0;
    const auto [end, error] =
        std::from_chars(normalised.data(), normalised.data() + normalised.size(), value);
    if (error != std::errc() || end != normalised.data() + normalised.size())
        return std::nullopt;
    return value;
}

double StrToFloat(const AnsiString& text) {
    if (const auto value = ParseFloat(text))
        return *value;
    throw EConvertError(Format("'%s' is not a valid floating point value", Quoted(text).c_str()));
}

AnsiString FormatFloatTwoDecimals(double value) {
    // to_chars ignores the C library's locale, so the separator is ours alone to choose.
    char digits[64];
    const auto [end, error] =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 2);
    AnsiString text(digits, error == std::errc() ? end : digits);
    for (char& c : text)
        if (c == '.')
            c = DecimalSeparator();
    return text;
}
