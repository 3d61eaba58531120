// The account dialogs' key filter, input screening and getter rules.
#include "UnitAccountInput.h"

#include "Codec.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace {

constexpr size_t kMinDomainBytes = 4;

// One character of a box's text: its UTF-16 units and its size in GBK bytes.
struct TScreenedChar {
    QString Units;
    int Bytes;
    bool Dropped = false;
};

// The characters of a text, a surrogate pair kept together.
QStringList Characters(const QString& text) {
    QStringList characters;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype units =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2
                                                                                             : 1;
        characters << text.mid(i, units);
        i += units;
    }
    return characters;
}

bool IsAsciiLetterOrDigit(char32_t c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The first "@" that is a character of its own, not the trail byte of a double-byte character.
size_t FindAtSign(const AnsiString& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '@')
            return i;
        if (IsGbkLeadByte(static_cast<unsigned char>(text[i])))
            ++i;
    }
    return AnsiString::npos;
}

} // namespace

void AccountKeyFilter(char32_t& key) {
    if (!IsAsciiLetterOrDigit(key) && key != '-' && key != '.' && key != '_')
        key = 0;
}

void FieldSeparatorFilter(char32_t& key) {
    if (key == '?')
        key = 0;
}

TScreenedInput::TScreenedInput(TKeyFilter typed, TKeyFilter filter, int maxBytes, QObject* parent)
    : QValidator(parent), FTyped(std::move(typed)), FFilter(std::move(filter)),
      FMaxBytes(maxBytes) {}

bool TScreenedInput::Takes(const TKeyFilter& filter, const QString& character) {
    char32_t key = character.toUcs4().value(0);
    if (QChar::category(key) == QChar::Other_Control)
        return false;
    filter(key);
    // The codec gives "?" for a character GBK has no room for.
    return key != 0 && (FromQString(character) != "?" || character == QStringLiteral("?"));
}

bool TScreenedInput::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QValidator::eventFilter(watched, event);
    const QString typed = static_cast<const QKeyEvent*>(event)->text();
    // Control keys (Backspace among them) and shortcuts are the box's own business.
    const bool printable = !typed.isEmpty() && std::all_of(typed.begin(), typed.end(), [](QChar c) {
        return c.isPrint() || c.isSurrogate();
    });
    const QStringList characters = Characters(typed);
    return printable && !std::all_of(characters.begin(), characters.end(),
                                     [this](const QString& c) { return Takes(FTyped, c); });
}

QValidator::State TScreenedInput::validate(QString& input, int& pos) const {
    std::vector<TScreenedChar> kept;
    size_t keptBeforeCursor = 0;
    int bytes = 0;
    qsizetype at = 0;
    for (const QString& character : Characters(input)) {
        if (Takes(FFilter, character)) {
            kept.push_back({character, static_cast<int>(FromQString(character).size())});
            bytes += kept.back().Bytes;
            if (at < pos)
                ++keptBeforeCursor;
        }
        at += character.size();
    }
    // Too long: what was just typed or pasted ends at the cursor, so it gives way first, from
    // the cursor backwards; only then the end of the text.
    const auto drop = [&](size_t i) {
        kept[i].Dropped = true;
        bytes -= kept[i].Bytes;
    };
    if (FMaxBytes != NoLimit) {
        for (size_t i = keptBeforeCursor; bytes > FMaxBytes && i-- > 0;)
            drop(i);
        for (size_t i = kept.size(); bytes > FMaxBytes && i-- > keptBeforeCursor;)
            drop(i);
    }
    QString screened;
    int cursor = 0;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (!kept[i].Dropped)
            screened += kept[i].Units;
        if (i + 1 == keptBeforeCursor)
            cursor = static_cast<int>(screened.size());
    }
    input = screened;
    pos = cursor;
    return Acceptable;
}

static void InstallScreen(QLineEdit* box, TScreenedInput* screen) {
    box->setValidator(screen);
    box->installEventFilter(screen);
}

void ScreenInput(QLineEdit* box, TKeyFilter filter, int maxBytes) {
    InstallScreen(box, new TScreenedInput(filter, filter, maxBytes, box));
}

void ScreenPasswordInput(QLineEdit* box, TKeyFilter typed, int maxBytes) {
    InstallScreen(box, new TScreenedInput(std::move(typed), FieldSeparatorFilter, maxBytes, box));
    // Text composed by an input method arrives as no key press, so it would pass by the typed
    // filter.
    box->setAttribute(Qt::WA_InputMethodEnabled, false);
}

AnsiString PasswordByRepeatRule(const AnsiString& first, const AnsiString& second) {
    return Trim(first) == Trim(second) ? first : AnsiString();
}

AnsiString EmailAddressByRule(const AnsiString& text) {
    const AnsiString address = Trim(text);
    const size_t at = FindAtSign(address);
    if (at == AnsiString::npos)
        return AnsiString();
    const AnsiString domain = address.substr(at + 1);
    if (domain.size() < kMinDomainBytes || domain.find('.') == AnsiString::npos)
        return AnsiString();
    return address;
}
