#include "SpinEdit.h"

#include "Codec.h"
#include "SysUtils.h"

#include <algorithm>

QValidator::State TSpinEdit::validate(QString& input, int&) const {
    const QChar separator = QChar::fromLatin1(DecimalSeparator());
    for (const QChar c : input)
        if (!(c >= u'0' && c <= u'9') && c != u'+' && c != u'-' && c != separator)
            return QValidator::Invalid;
    // A number outside the bounds stays in the box until it is left.
    try {
        const int value = StrToInt(FromQString(input));
        if (value >= minimum() && value <= maximum())
            return QValidator::Acceptable;
    } catch (const EConvertError&) {
    }
    return QValidator::Intermediate;
}

int TSpinEdit::valueFromText(const QString& text) const {
    return StrToIntDef(FromQString(text), minimum());
}

void TSpinEdit::fixup(QString& input) const {
    input = QString::number(std::clamp(valueFromText(input), minimum(), maximum()));
}
