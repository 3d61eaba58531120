// What the forms share in their look: the Chinese fonts they ask for, with a CJK font of the
// machine behind them so that every text renders, their colours, and opening centred on the
// screen.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

#include <initializer_list>

class QWidget;

// The base font set to the families in order (each given by its Chinese and its Latin name),
// then the machine's CJK fonts, at the pixel size.
QFont ChineseFont(QFont base, std::initializer_list<const char*> families, int pixelSize);

// Sets one colour of the widget's palette. Colours go through palettes: a style sheet would
// keep the window's font from its widget.
void SetColor(QWidget* widget, QPalette::ColorRole role, const QColor& color);

// Moves the window, at its present size, to the middle of the primary screen.
void CenterOnScreen(QWidget* window);
