#include "AnsiString.h"

#include <cstdarg>
#include <cstdio>

AnsiString Trim(const AnsiString& text) {
    return TrimRange(text, 0, text.size());
}

AnsiString TrimRange(const AnsiString& text, size_t first, size_t last) {
    while (first < last && IsTrimmedByte(text[first]))
        ++first;
    while (last > first && IsTrimmedByte(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

static unsigned char FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

int AnsiCompareText(const AnsiString& a, const AnsiString& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size()) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (IsGbkLeadByte(ca) && ca == cb && i + 1 < a.size() && i + 1 < b.size()) {
            // The trail byte of a double-byte character is never folded.
            const auto ta = static_cast<unsigned char>(a[i + 1]);
            const auto tb = static_cast<unsigned char>(b[i + 1]);
            if (ta != tb)
                return ta < tb ? -1 : 1;
            i += 2;
            continue;
        }
        const unsigned char fa = FoldAscii(ca);
        const unsigned char fb = FoldAscii(cb);
        if (fa != fb)
            return fa < fb ? -1 : 1;
        ++i;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool AnsiSameText(const AnsiString& a, const AnsiString& b) {
    return a.size() == b.size() && AnsiCompareText(a, b) == 0;
}

AnsiString AnsiUpperCase(const AnsiString& text) {
    AnsiString result = text;
    for (size_t i = 0; i < result.size(); ++i) {
        const auto c = static_cast<unsigned char>(result[i]);
        if (IsGbkLeadByte(c))
            ++i;
        else if (c >= 'a' && c <= 'z')
            result[i] = static_cast<char>(c - 32);
    }
    return result;
}

AnsiString Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    AnsiString result(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(result.data(), result.size() + 1, format, args);
    va_end(args);
    return result;
}

AnsiString IntToStr(long long value) {
    return std::to_string(value);
}
