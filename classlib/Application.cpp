#include "Application.h"

#include "Codec.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

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

void ShowModalBox(const AnsiString& caption, const AnsiString& text) {
    QMessageBox box(QMessageBox::NoIcon, ToQString(caption), ToQString(text), QMessageBox::Ok);
    box.exec();
}

void ShowMessage(const AnsiString& text) {
    ShowModalBox(ApplicationTitle(), text);
}

void HandleException(const std::exception& error) {
    ShowMessage(error.what());
}
