// The change-password dialog's boxes and getters.
#include "UnitResetpwd.h"

#include "Codec.h"
#include "UnitAccountInput.h"
#include "UnitFormLook.h"

namespace {

constexpr int kAccountBytes = 25;
constexpr int kPasswordBytes = 8;

} // namespace

TFormResetpwd::TFormResetpwd(QWidget* parent) : QDialog(parent) {
    setupUi(this);
    setFont(ChineseFont(font(), {"仿宋", "FangSong"}, 19));
    ScreenInput(Edit_UserAccount, Edit_UserAccountKeyPress, kAccountBytes);
    // A masked box's style sheet (for its "*") would otherwise keep the default font.
    for (QLineEdit* box : {Edit_OldPwd, Edit_pwd1, Edit_pwd2}) {
        box->setFont(font());
        ScreenPasswordInput(box, Edit_UserAccountKeyPress, kPasswordBytes);
    }
}

AnsiString TFormResetpwd::GetUserAccount() const {
    return FromQString(Edit_UserAccount->text());
}

AnsiString TFormResetpwd::GetOldPwd() const {
    return FromQString(Edit_OldPwd->text());
}

AnsiString TFormResetpwd::GetPwd() const {
    return PasswordByRepeatRule(FromQString(Edit_pwd1->text()), FromQString(Edit_pwd2->text()));
}
