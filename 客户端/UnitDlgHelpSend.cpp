// The answer-format help's font and heading colour.
#include "UnitDlgHelpSend.h"

#include "UnitFormLook.h"

TdllgHelpSend::TdllgHelpSend(QWidget* parent) : QDialog(parent) {
    setupUi(this);
    setFont(ChineseFont(font(), {"仿宋", "FangSong"}, 19));
    for (QLabel* heading : {Label1, Label2, Label3})
        SetColor(heading, QPalette::WindowText, Qt::darkBlue);
}
