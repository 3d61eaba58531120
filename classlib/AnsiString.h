// Text as the system keeps it: bytes in the ANSI code page (GBK), never converted
// except where it meets a widget (see Codec.h).
#pragma once

#include <string>

using AnsiString = std::string;

// True for the first byte of a double-byte GBK character.
constexpr bool IsGbkLeadByte(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

// Whether trimming removes the byte: blanks and control characters, 0x00 to 0x20.
constexpr bool IsTrimmedByte(char byte) {
    return static_cast<unsigned char>(byte) <= 0x20;
}

// Removes every byte from 0x00 to 0x20 from both ends; bytes above 0x20 stay.
AnsiString Trim(const AnsiString& text);
// The bytes of text from first up to last, trimmed as Trim does.
AnsiString TrimRange(const AnsiString& text, size_t first, size_t last);

// ASCII letters A-Z fold to a-z; both bytes of a double-byte character compare as they are.
int AnsiCompareText(const AnsiString& a, const AnsiString& b);
bool AnsiSameText(const AnsiString& a, const AnsiString& b);

// ASCII letters only; double-byte characters pass unchanged.
AnsiString AnsiUpperCase(const AnsiString& text);

// printf-style formatting into an AnsiString ("%3d", "%4s", "%d", "%s", ...).
AnsiString Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

AnsiString IntToStr(long long value);
