// The one conversion between the system's GBK bytes and the text a widget shows.
#pragma once

#include "AnsiString.h"

#include <QString>

// Bytes that are not valid GBK come out as U+FFFD, one per bad byte (or per unmapped pair).
QString ToQString(const AnsiString& text);
// Characters GBK cannot hold become "?", as the system's conversion does.
AnsiString FromQString(const QString& text);
