// The class library's spin edit: a whole-number box between two bounds whose typed text is
// checked only when the box is left.
#pragma once

#include <QSpinBox>

class TSpinEdit : public QSpinBox {
    Q_OBJECT

public:
    using QSpinBox::QSpinBox;

protected:
    // Typing takes digits, "+", "-" and the decimal separator, whatever number they make.
    QValidator::State validate(QString& input, int& position) const override;
    // A text that is not a whole number reads as the lower bound.
    int valueFromText(const QString& text) const override;
    // On leaving the box: a value outside the bounds is brought to the nearer bound.
    void fixup(QString& input) const override;
};
