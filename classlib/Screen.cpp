// Placing windows on the primary screen.
#include "Screen.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void CenterOnScreen(QWidget* window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
}
