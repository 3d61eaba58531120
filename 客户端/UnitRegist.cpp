#include "UnitRegist.h"

TFormRegist::TFormRegist(QWidget* parent) : QDialog(parent) {
    setupUi(this);
}
