// The sign-up dialog's boxes, filters and getters.
#include "UnitRegist.h"

#include "Codec.h"
#include "UnitAccountInput.h"
#include "UnitFormLook.h"

namespace {

constexpr int kAccountBytes = 25;
constexpr int kUserNameBytes = 26;
constexpr int kPasswordBytes = 8;

} // namespace

TFormRegist::TFormRegist(QWidget* parent) : QDialog(parent) {
    setupUi(this);
    setFont(ChineseFont(font(), {"仿宋", "FangSong"}, 19));
    // A masked box's style sheet (for its "*") would otherwise keep the default font.
    Edit_pwd1->setFont(font());
    Edit_pwd2->setFont(font());
    ScreenInput(Edit_UserAccount, Edit_UserAccountKeyPress, kAccountBytes);
    ScreenInput(Edit_UserName, Edit_UserNameKeyPress, kUserNameBytes);
    ScreenPasswordInput(Edit_pwd1, Edit_UserAccountKeyPress, kPasswordBytes);
    ScreenPasswordInput(Edit_pwd2, Edit_UserAccountKeyPress, kPasswordBytes);
    ScreenInput(Edit_EMailAddress, Edit_EMailAddressKeyPress, TScreenedInput::NoLimit);
}

AnsiString TFormRegist::GetUserAccount() const {
    return FromQString(Edit_UserAccount->text());
}

AnsiString TFormRegist::GetUserName() const {
    return FromQString(Edit_UserName->text());
}

AnsiString TFormRegist::GetPwd() const {
    return PasswordByRepeatRule(FromQString(Edit_pwd1->text()), FromQString(Edit_pwd2->text()));
}

AnsiString TFormRegist::GetEmailAdress() const {
    return EmailAddressByRule(FromQString(Edit_EMailAddress->text()));
}

void TFormRegist::Edit_UserNameKeyPress(char32_t& key) {
    if (key == '?')
        key = 0;
}

void TFormRegist::Edit_EMailAddressKeyPress(char32_t& key) {
    if (key == '*' || key == '/' || key == ':' || key == '?' || key == '\\')
        key = 0;
}
