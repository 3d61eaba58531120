// The sign-up dialog: collects the account, the name, the password twice and the e-mail
// address; its key filters keep the field separator "?" out of every value sent.
#pragma once

#include "AnsiString.h"
#include "UnitAccountInput.h"
#include "ui_UnitRegist.h"

#include <QDialog>

class TFormRegist : public QDialog, public Ui::TFormRegist {
    Q_OBJECT

public:
    explicit TFormRegist(QWidget* parent = nullptr);

    // The boxes' texts as typed, but for the rules of GetPwd and GetEmailAdress.
    AnsiString GetUserAccount() const;
    AnsiString GetUserName() const;
    AnsiString GetPwd() const;
    AnsiString GetEmailAdress() const;

    // Key filters of the boxes; a refused character becomes 0. The account and password boxes
    // share the change-password dialog's filter.
    static constexpr void (&Edit_UserAccountKeyPress)(char32_t& key) = AccountKeyFilter;
    static void Edit_UserNameKeyPress(char32_t& key);
    static void Edit_EMailAddressKeyPress(char32_t& key);
};
