// The About box's look and its version number.
#include "UnitAbout.h"

#include "UnitFormLook.h"

TdlgAbout::TdlgAbout(QWidget* parent) : QDialog(parent) {
    setupUi(this);
    setFixedSize(size());
    // Its owner, the main window, may have been moved; the box opens in the screen's middle.
    CenterOnScreen(this);
    QPalette palette = Panel1->palette();
    palette.setColor(QPalette::WindowText, Qt::darkBlue);
    palette.setColor(QPalette::Text, Qt::darkBlue);
    // The credit line sits on the dialog's own background, like a label.
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    Panel1->setPalette(palette);
    setFont(ChineseFont(font(), {"仿宋", "FangSong"}, 17));
    Label1->setFont(ChineseFont(font(), {"楷体", "KaiTi"}, 21));
    FormCreate();
}

void TdlgAbout::FormCreate() {
    lblVerNo->setText(QStringLiteral("2.3 "));
}
