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

// Screens every change of a box, typed, pasted, dropped or composed alike: characters that the
// filter refuses or that GBK cannot hold (they would reach the wire as "?") are left out, and
// a change that would take the text past the limit in GBK bytes is cut back at the cursor, so
// that what was there stays and the new text ends where it fits. A typed key that is refused
// has no effect at all: it does not replace the selection either.
class TScreenedInput : public QValidator {
public:
    static constexpr int NoLimit = -1;
    TScreenedInput(TKeyFilter filter, int maxBytes, QObject* parent);
    State validate(QString& input, int& pos) const override;

protected:
    // Installed on the box: swallows a key press whose every typed character is refused.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One character (one or two UTF-16 units): whether the filter and GBK let it in.
    bool Takes(const QString& character) const;

    TKeyFilter FFilter;
    int FMaxBytes;
};

// Puts a TScreenedInput on the box.
void ScreenInput(QLineEdit* box, TKeyFilter filter, int maxBytes);

// The password repeat rule: the first text as typed when both are equal once trimmed, byte for
// byte; otherwise empty.
AnsiString PasswordByRepeatRule(const AnsiString& first, const AnsiString& second);

// The e-mail rule: the trimmed text when something of at least 4 bytes holding a "." follows
// its first "@"; otherwise empty.
AnsiString EmailAddressByRule(const AnsiString& text);
