// The sign-up dialog: collects the account, the password twice and the e-mail address.
#pragma once

#include "ui_UnitRegist.h"

#include <QDialog>

class TFormRegist : public QDialog, public Ui::TFormRegist {
    Q_OBJECT

public:
    explicit TFormRegist(QWidget* parent = nullptr);
};
