// The change-password dialog: collects the account, the old password and the new one twice.
#pragma once

#include "AnsiString.h"
#include "UnitAccountInput.h"
#include "ui_UnitResetpwd.h"

#include <QDialog>

class TFormResetpwd : public QDialog, public Ui::TFormResetpwd {
    Q_OBJECT

public:
    explicit TFormResetpwd(QWidget* parent = nullptr);

    // The key filter of every box, so no "?" reaches a value sent; a refused character
    // becomes 0.
    static constexpr void (&Edit_UserAccountKeyPress)(char32_t& key) = AccountKeyFilter;

    // The boxes' texts as typed, but for the rule of GetPwd.
    AnsiString GetUserAccount() const;
    AnsiString GetOldPwd() const;
    AnsiString GetPwd() const;
};
