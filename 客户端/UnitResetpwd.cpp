#include "UnitResetpwd.h"

TFormResetpwd::TFormResetpwd(QWidget* parent) : QDialog(parent) {
    setupUi(this);
}
