// The change-password dialog: collects the account, the old and the new password twice.
#pragma once

#include "ui_UnitResetpwd.h"

#include <QDialog>

class TFormResetpwd : public QDialog, public Ui::TFormResetpwd {
    Q_OBJECT

public:
    explicit TFormResetpwd(QWidget* parent = nullptr);
};
