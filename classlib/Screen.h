// The screen's share of the class library: where a window opens on it.
#pragma once

class QWidget;

// Moves the window, at its present size, to the middle of the primary screen.
void CenterOnScreen(QWidget* window);
