// What the forms share in their look: the Chinese fonts they ask for, with a CJK font of the
// machine behind them so that every text renders, and their colours.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

#include <initializer_list>

class QWidget;

// The first installed of the families (each given by its Chinese and its Latin name), else of
// the machine's CJK fonts. Fonts get this one family only: a font that lists families the machine
// lacks sends every resolution of it through the font system's search for each missing one.
QString InstalledFamily(std::initializer_list<const char*> families);

// The base font in the first installed of the families, at the pixel size.
QFont ChineseFont(QFont base, std::initializer_list<const char*> families, int pixelSize);

// Sets one colour of the widget's palette. Colours go through palettes: a style sheet would
// keep the window's font from its widget.
void SetColor(QWidget* widget, QPalette::ColorRole role, const QColor& color);
