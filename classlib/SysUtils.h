// The error classes the system raises and the class library's number conversions.
#pragma once

#include "AnsiString.h"

#include <exception>
#include <utility>

// Root of every error the system raises; the text is bytes like all other text.
class Exception : public std::exception {
public:
    explicit Exception(AnsiString message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }
    AnsiString Message;
};

// "List index out of bounds (%d)"
class EListError : public Exception {
public:
    explicit EListError(int index);
};

// Names the file and the system's reason for errno.
class EFOpenError : public Exception {
public:
    EFOpenError(const AnsiString& fileName, int error);
};
class EFCreateError : public Exception {
public:
    EFCreateError(const AnsiString& fileName, int error);
};
class EFReadError : public Exception {
public:
    EFReadError(const AnsiString& fileName, int error);
};

// The run-time I/O error: "File access denied", "File not found", "Disk full" or "I/O error %d".
class EInOutError : public Exception {
public:
    EInOutError(int errorCode, AnsiString message)
        : Exception(std::move(message)), ErrorCode(errorCode) {}
    // The error for a failed file call; ErrorCode keeps the system's errno.
    static EInOutError FromErrno(int error);
    int ErrorCode;
};

// "'%s' is not a valid integer value" / "'%s' is not a valid floating point value"
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// "%s (%s, line %d)" with "Assertion failure", the source path and the line.
class EAssertionFailed : public Exception {
public:
    EAssertionFailed(const AnsiString& sourcePath, int line);
};

// "Stream read error"
class EReadError : public Exception {
public:
    EReadError();
};

// "Stream write error"
class EWriteError : public Exception {
public:
    EWriteError();
};

// "Bitmap image is not valid"
class EInvalidGraphic : public Exception {
public:
    EInvalidGraphic();
};

// "Error": the deflate data could not be inflated.
class EZDecompressionError : public Exception {
public:
    EZDecompressionError();
};

// "Windows socket error: %s (%d), on API '%s'" or "Can't change value while socket is active".
class ESocketError : public Exception {
public:
    using Exception::Exception;
    static ESocketError FromCall(int errorCode, const AnsiString& api);
    static ESocketError ActiveChange();
};

// The system's text for a Windows Sockets error number (10048 "Address already in use", ...).
AnsiString SocketErrorText(int errorCode);

// Signed 32-bit integer from text: leading blanks, optional sign, decimal digits, or
// hexadecimal after "$", "x", "X", "0x", "0X" (32-bit signed pattern); a NUL byte ends the
// number. Anything else raises EConvertError quoting the text.
int StrToInt(const AnsiString& text);
// The number StrToInt reads, or the default where StrToInt would raise.
int StrToIntDef(const AnsiString& text, int defaultValue);

// Real number with the user's decimal separator; raises EConvertError quoting the text.
double StrToFloat(const AnsiString& text);

// The user's decimal separator ("." when the locale sets none); settable as the class
// library's global is.
char DecimalSeparator();
void SetDecimalSeparator(char separator);

// The pattern "0.00": two decimals, the user's decimal separator.
AnsiString FormatFloatTwoDecimals(double value);
