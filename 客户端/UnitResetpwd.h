// The change-password dialog: collects the account, the old password and the new one twice.
#pragma once

#include "AnsiString.h"
#include "ui_UnitResetpwd.h"

#include <QDialog>

// Every box takes AccountKeyFilter, so no "?" reaches a value sent.
class TFormResetpwd : public QDialog, public Ui::TFormResetpwd {
    Q_OBJECT

public:
    explicit TFormResetpwd(QWidget* parent = nullptr);

    // The boxes' texts as typed, but for the rule of GetPwd.
    AnsiString GetUserAccount() const;
    AnsiString GetOldPwd() const;
    AnsiString GetPwd() const;
};
