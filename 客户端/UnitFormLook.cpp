// The Chinese fonts of the forms and their fall-backs, and their colours.
#include "UnitFormLook.h"

#include "Codec.h"

#include <QFontDatabase>
#include <QStringList>
#include <QWidget>

QString InstalledFamily(std::initializer_list<const char*> families) {
    QStringList names;
    for (const char* family : families)
        names << ToQString(family);
    names << QStringLiteral("Noto Serif CJK SC") << QStringLiteral("Noto Sans CJK SC")
          << QStringLiteral("WenQuanYi Zen Hei");
    for (const QString& name : names)
        if (QFontDatabase::hasFamily(name))
            return name;
    return names.first();
}

QFont ChineseFont(QFont base, std::initializer_list<const char*> families, int pixelSize) {
    base.setFamily(InstalledFamily(families));
    base.setPixelSize(pixelSize);
    return base;
}

void SetColor(QWidget* widget, QPalette::ColorRole role, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(role, color);
    widget->setPalette(palette);
}
