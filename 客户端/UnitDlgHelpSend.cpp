#include "UnitDlgHelpSend.h"

TdllgHelpSend::TdllgHelpSend(QWidget* parent) : QDialog(parent) {
    setupUi(this);
}
