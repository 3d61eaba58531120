#include "Application.h"

#include "Codec.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>

#include <algorithm>

static AnsiString gTitle;
static bool gTitleSet = false;

AnsiString ApplicationTitle() {
    if (!gTitleSet) // the class library's default: the executable's name without extension
        return FromQString(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
    return gTitle;
}

void SetApplicationTitle(const AnsiString& title) {
    gTitle = title;
    gTitleSet = true;
}

// The window that was active before the box, and its focus, are active again afterwards; the
// box has no parent, so that destroying a window while it is open cannot free it.
static QMessageBox::StandardButton RunModalBox(const AnsiString& caption, const AnsiString& text,
                                               QMessageBox::StandardButtons buttons) {
    const QPointer<QWidget> activeWindow = QApplication::activeWindow();
    const QPointer<QWidget> focus = QApplication::focusWidget();
    QMessageBox box(QMessageBox::NoIcon, ToQString(caption), ToQString(text), buttons);
    const auto answer = static_cast<QMessageBox::StandardButton>(box.exec());
    if (activeWindow && activeWindow->isVisible())
        activeWindow->activateWindow();
    if (focus && focus->isVisible())
        focus->setFocus();
    return answer;
}

void ShowModalBox(const AnsiString& caption, const AnsiString& text) {
    RunModalBox(caption, text, QMessageBox::Ok);
}

bool AskModalBox(const AnsiString& caption, const AnsiString& text, TQuestionButtons buttons) {
    if (buttons == TQuestionButtons::OkCancel)
        return RunModalBox(caption, text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    return RunModalBox(caption, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void ShowMessage(const AnsiString& text) {
    ShowModalBox(ApplicationTitle(), text);
}

void HandleException(const std::exception& error) {
    ShowMessage(error.what());
}

// Set while the box of a network event's error is open.
static bool gEventErrorBoxOpen = false;

void ShowEventErrorBox(const AnsiString& caption, const AnsiString& text,
                       const TEventErrorLog& log) {
    if (gEventErrorBoxOpen) {
        if (log) {
            AnsiString line = text;
            std::replace_if(
                line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
            log(line);
        }
        return;
    }
    gEventErrorBoxOpen = true;
    struct TBoxClosed {
        ~TBoxClosed() { gEventErrorBoxOpen = false; }
    } boxClosed;
    ShowModalBox(caption, text);
}
