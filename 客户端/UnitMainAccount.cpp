// The main window's account commands (sign-up, password change), the answer-format help and
// the About box.
#include "UnitMain.h"

#include "Application.h"
#include "Codec.h"
#include "Pellucan.h"
#include "SysUtils.h"
#include "UnitAbout.h"
#include "UnitCommon.h"
#include "UnitDlgHelpSend.h"
#include "UnitRegist.h"
#include "UnitResetpwd.h"
#include "UnitSocketClient.h"

#include <QLineEdit>
#include <QPushButton>

namespace {

// The dialogs are created at start-up; a window without them cannot run the command.
template <class Dialog> Dialog& StartUpDialog(Dialog* dialog, const char* command) {
    if (!dialog)
        throw Exception(AnsiString("TFormMain.") + command + ": its dialog was not created");
    return *dialog;
}

} // namespace

void TFormMain::BindAccountHandlers() {
    connect(N5, &QAction::triggered, this, GuardedSlot([this](bool) { N5Click(); }));
    connect(N7, &QAction::triggered, this, GuardedSlot([this](bool) { N7Click(); }));
    connect(btnHelp, &QPushButton::clicked, this, GuardedSlot([this](bool) { btnHelpClick(); }));
    connect(N8, &QAction::triggered, this, GuardedSlot([this](bool) { N8Click(); }));
}

// The connection is looked at once the dialog has closed: it may have opened or closed
// meanwhile.
void TFormMain::N5Click() {
    TFormRegist& dialog = StartUpDialog(FormRegist, "N5Click");
    dialog.Edit_UserAccount->setFocus(); // each showing starts at the first box
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!CheckCourseName())
        return;
    if (!ClientConnected()) {
        ShowMsg("操作提示", "请先“链接”服务器！");
        return;
    }
    const AnsiString account = dialog.GetUserAccount();
    if (account.empty()) {
        ShowMsg("操作提示", "账号不能为空");
        return;
    }
    if (dialog.GetUserName().empty()) {
        ShowMsg("操作提示", "用户名不能为空");
        return;
    }
    const AnsiString password = dialog.GetPwd();
    if (password.empty()) {
        ShowMsg("操作提示", "密码不能为空");
        return;
    }
    IdentifyAs(account); // until the next "链接"
    FClient->RegisterAccount(dialog.GetUserName() + "?" + password + "?" + dialog.GetEmailAdress());
}

// Neither the course nor the connection is checked: without a connection the request is
// dropped, while the account has still taken the student number's place.
void TFormMain::N7Click() {
    TFormResetpwd& dialog = StartUpDialog(FormResetpwd, "N7Click");
    dialog.Edit_UserAccount->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return;
    const AnsiString account = dialog.GetUserAccount();
    if (account.empty()) {
        ShowMsg("操作提示", "账号不能为空");
        return;
    }
    const AnsiString password = dialog.GetPwd();
    if (password.empty()) {
        ShowMsg("操作提示", "密码不能为空");
        return;
    }
    if (!FClient)
        return;
    IdentifyAs(account); // until the next "链接"
    FClient->ChangePassword(dialog.GetOldPwd() + "?" + password);
}

void TFormMain::btnHelpClick() {
    StartUpDialog(dllgHelpSend, "btnHelpClick").exec();
}

void TFormMain::N8Click() {
    TdlgAbout about(this);
    about.exec();
}
