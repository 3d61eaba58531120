// What the account dialogs let into their boxes and the rules their getters apply; nothing
// here needs a window.
#pragma once

#include "AnsiString.h"

#include <QValidator>

#include <functional>

class QLineEdit;

// A key filter leaves the character or turns it into 0, which keeps it out of the box.
using TKeyFilter = std::function<void(char32_t& key)>;

// The account and password boxes: "-", ".", the digits, the letters and "_" pass.
void AccountKeyFilter(char32_t& key);

// Refuses the field separator "?" of the wire messages alone; no box takes control characters.
void FieldSeparatorFilter(char32_t& key);

// Screens every change of a box, typed, pasted, dropped or composed alike: control characters,
// characters that GBK cannot hold (they would reach the wire as "?") and those that the box's
// filter refuses are left out, and a change that would take the text past the limit in GBK bytes
// is cut back at the cursor, so that what was there stays and the new text ends where it fits.
// A key press is also held to the typed filter, and is typed whole or not at all: a refused key
// has no effect, and does not replace the selection either.
class TScreenedInput : public QValidator {
public:
    static constexpr int NoLimit = -1;
    TScreenedInput(TKeyFilter typed, TKeyFilter filter, int maxBytes, QObject* parent);
    State validate(QString& input, int& pos) const override;

protected:
    // Installed on the box: swallows a key press that types a character the typed filter refuses.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One character (one or two UTF-16 units): whether it is none of the control characters and
    // the filter and GBK let it in.
    static bool Takes(const TKeyFilter& filter, const QString& character);

    TKeyFilter FTyped;
    TKeyFilter FFilter;
    int FMaxBytes;
};

// Puts a TScreenedInput on the box that holds typed keys and every other change to one filter.
void ScreenInput(QLineEdit* box, TKeyFilter filter, int maxBytes);
// A password box: typed keys keep the filter, while a pasted or dropped password keeps every
// character the wire can carry, blanks among them.
void ScreenPasswordInput(QLineEdit* box, TKeyFilter typed, int maxBytes);

// The password repeat rule: the first text as typed when both are equal once trimmed, byte for
// byte; otherwise empty.
AnsiString PasswordByRepeatRule(const AnsiString& first, const AnsiString& second);

// The e-mail rule: the trimmed text when something of at least 4 bytes holding a "." follows
// its first "@"; otherwise empty.
AnsiString EmailAddressByRule(const AnsiString& text);
