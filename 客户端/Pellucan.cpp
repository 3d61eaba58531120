#include "Pellucan.h"

#include "Application.h"
#include "UnitCommon.h"
#include "UnitDlgHelpSend.h"
#include "UnitMain.h"
#include "UnitRegist.h"
#include "UnitResetpwd.h"
#include "UnitSingleInstance.h"
#include "UnitTrain.h"

#include <QApplication>

#include <memory>

TFormMain* FormMain = nullptr;
TFormTrain* FormTrain = nullptr;
TdllgHelpSend* dllgHelpSend = nullptr;
TFormRegist* FormRegist = nullptr;
TFormResetpwd* FormResetpwd = nullptr;

bool ReportRunningInstance() {
    if (!FindWindowByTitle(MainWindowTitle))
        return false;
    ShowMsg("提示",
            "已经运行了一个客户端程序实例！\r\n不能超过1个客户端实例。本次运行的程序将退出。");
    return true;
}

int ProgramMain(int argc, char** argv) {
    QApplication application(argc, argv);
    if (ReportRunningInstance())
        return 0;
    // The main window alone decides when the program ends, whatever else is open.
    application.setQuitOnLastWindowClosed(false);
    auto mainWindow = std::make_unique<TFormMain>();
    FormMain = mainWindow.get();
    QObject::connect(FormMain, &TFormMain::Closed, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    auto train = std::make_unique<TFormTrain>();
    FormTrain = train.get();
    auto helpSend = std::make_unique<TdllgHelpSend>();
    dllgHelpSend = helpSend.get();
    auto regist = std::make_unique<TFormRegist>();
    FormRegist = regist.get();
    auto resetpwd = std::make_unique<TFormResetpwd>();
    FormResetpwd = resetpwd.get();

    FormMain->show();
    const int exitCode = application.exec();

    FormMain = nullptr;
    FormTrain = nullptr;
    dllgHelpSend = nullptr;
    FormRegist = nullptr;
    FormResetpwd = nullptr;
    return exitCode;
}
