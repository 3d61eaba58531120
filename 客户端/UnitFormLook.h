// What the forms share in their look: the Chinese fonts they ask for, with a CJK font of the
// machine behind them so that every text renders, and opening centred on the screen.
#pragma once

#include <QFont>

#include <initializer_list>

class QWidget;

// The base font set to the families in order (each given by its Chinese and its Latin name),
// then the machine's CJK fonts, at the pixel size.
QFont ChineseFont(QFont base, std::initializer_list<const char*> families, int pixelSize);

// Moves the window, at its present size, to the middle of the primary screen.
void CenterOnScreen(QWidget* window);
