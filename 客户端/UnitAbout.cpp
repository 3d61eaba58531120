// The About box's look and its version number.
#include "UnitAbout.h"

#include "Screen.h"
#include "UnitFormLook.h"

TdlgAbout::TdlgAbout(QWidget* parent) : QDialog(parent) {
    setupUi(this);
    setFixedSize(size());
    // Its owner, the main window, may have been moved; the box opens in the screen's middle.
    CenterOnScreen(this);
    SetColor(Panel1, QPalette::WindowText, Qt::darkBlue);
    SetColor(Panel1, QPalette::Text, Qt::darkBlue);
    // The credit line sits on the dialog's own background, like a label.
    SetColor(Panel1, QPalette::Base, Panel1->palette().color(QPalette::Window));
    setFont(ChineseFont(font(), {"仿宋", "FangSong"}, 17));
    Label1->setFont(ChineseFont(font(), {"楷体", "KaiTi"}, 21));
    FormCreate();
}

void TdlgAbout::FormCreate() {
    lblVerNo->setText(QStringLiteral("2.3 "));
}
