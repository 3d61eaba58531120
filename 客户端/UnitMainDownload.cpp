// The main window's downloads and problem view: "下载题目", "下载共享", setting a channel up on
// its announced port, reloading "train.db", "查看题目" and the forwarders of the picture view.
#include "UnitMain.h"

#include "Application.h"
#include "Codec.h"
#include "Pellucan.h"
#include "Sockets.h"
#include "SysUtils.h"
#include "UnitCommon.h"
#include "UnitFrameProb.h"
#include "UnitPracDataMan.h"
#include "UnitSocketClient.h"
#include "UnitThreadReceiverNew.h"
#include "UnitTrain.h"

#include <QCheckBox>
#include <QPushButton>

namespace {

// Channel 0 always stores the problem file under this name in the program folder.
const char* const kProblemFile = "train.db";

bool IsConnected(const TSocketFileReceiverNew& channel) {
    return channel.FClientSocket->Active();
}

} // namespace

// The download buttons, "查看题目" and the picture view's controls. The view's own bindings
// go, so that each click runs the view's handler once, through the window's forwarder.
void TFormMain::BindDownloadHandlers() {
    TFrameProbList* view = FrameProbList1;
    for (QObject* control :
         std::initializer_list<QObject*>{view->btnFirst, view->btnPrev, view->btnNext,
                                         view->btnLast, view->BitBtn1, view->cbAutoHeight})
        control->disconnect(view);
    connect(view->btnFirst, &QPushButton::clicked, this,
            GuardedSlot([this](bool) { FrameProbList1BitBtn3Click(); }));
    connect(view->btnPrev, &QPushButton::clicked, this,
            GuardedSlot([this](bool) { FrameProbList1BitBtn4Click(); }));
    connect(view->btnNext, &QPushButton::clicked, this,
            GuardedSlot([this](bool) { FrameProbList1BitBtn2Click(); }));
    connect(view->btnLast, &QPushButton::clicked, this,
            GuardedSlot([this](bool) { FrameProbList1BitBtn5Click(); }));
    connect(view->BitBtn1, &QPushButton::clicked, this,
            GuardedSlot([this](bool) { FrameProbList1BitBtn1Click(); }));
    // Toggled, as the view binds it: a change of the box's state by code counts as a click.
    connect(view->cbAutoHeight, &QCheckBox::toggled, this,
            GuardedSlot([this](bool) { FrameProbList1cbAutoHeightClick(); }));
    connect(btnDownNew, &QPushButton::clicked, this,
            GuardedSlot([this](bool) { btnDownNewClick(); }));
    connect(btnDownShare, &QPushButton::clicked, this,
            GuardedSlot([this](bool) { btnDownShareClick(); }));
    connect(N6, &QAction::triggered, this, GuardedSlot([this](bool) { N6Click(); }));
}

TSocketFileReceiverNew* TFormMain::Downloader(int index) const {
    if (!FClient || index < 0 || index >= static_cast<int>(FDownloaders.size()))
        return nullptr;
    return FDownloaders[static_cast<size_t>(index)].get();
}

// A box lets events in, the window's closing among them, so the channel is looked up again
// after one.
void TFormMain::btnDownNewClick() {
    const TSocketFileReceiverNew* channel = Downloader(0);
    if (!channel)
        return;
    if (channel->FDownloading) {
        ShowMsg("操作提示", "正在下载！请等待。");
        return;
    }
    ClearProblemImage();
    RequestDownload(0);
    channel = Downloader(0);
    if (channel && !IsConnected(*channel))
        ShowMsg("操作提示", "服务端繁忙，请稍后再下载！");
}

void TFormMain::btnDownShareClick() {
    if (FDownloaders.empty())
        return;
    const int index = ShareIndex();
    const TSocketFileReceiverNew* channel = Downloader(index);
    if (!channel)
        return;
    if (channel->FDownloading) {
        ShowMsg("操作提示", "正在下载！请等待。");
        return;
    }
    if (RequestDownload(index) != 1)
        return;
    channel = Downloader(index);
    if (channel && !IsConnected(*channel))
        ShowMsg("操作提示", "服务端繁忙，请稍后再下载！");
}

// 1 started, -1 no port for the channel, -2 no main connection, -3 the channel is only now
// connecting: the next click starts the download.
int TFormMain::RequestDownload(int index) {
    if (StrToIntDef(FClient->FPorts[index], -1) < 0) { // no port announced for the channel
        ShowMsg("系统提示", "还没链接服务。");
        return -1;
    }
    if (!ClientConnected()) {
        ShowMsg("系统提示", "未链接服务端，请重新链接。");
        return -2;
    }
    SetupDownloader(index);
    TSocketFileReceiverNew& channel = *Downloader(index);
    if (index == 0)
        channel.FOnDone = [this] { LoadPracticeProblems(); };
    else
        channel.FOnDone = nullptr;
    if (!IsConnected(channel))
        return -3;
    channel.StartDownload();
    return 1;
}

void TFormMain::SetupDownloader(int index) {
    TSocketFileReceiverNew* channel = Downloader(index);
    if (!channel)
        return;
    channel->FButton = index == 0 ? btnDownNew : btnDownShare;
    channel->FStudentNo = FromQString(EditStudNo->text());
    const int port = StrToInt(FClient->FPorts[index]);
    channel->Connect(ServerAddress(), port);
}

// Whatever name the file arrived under, "train.db" is what is loaded. A failed load keeps the
// records read before the error and leaves the view where it was.
void TFormMain::LoadPracticeProblems() {
    if (!FPracData)
        return;
    FPracData->Clear();
    FPracData->LoadFromFile(GetExePath() + kProblemFile);
    FrameProbList1->PracDataManage = FPracData.get();
    FrameProbList1->GotoFirst();
}

int TFormMain::ShareIndex() const {
    return StrToInt(FromQString(cbxFileIndex->currentText()));
}

// The browser keeps the set it has loaded when closed; the main window's close releases it.
void TFormMain::N6Click() {
    if (!FormTrain)
        return;
    FormTrain->FreeDataOnClose = false;
    FormTrain->setWindowState(FormTrain->windowState() & ~Qt::WindowMinimized);
    FormTrain->show();
    FormTrain->raise();
    FormTrain->activateWindow();
}

void TFormMain::FrameProbList1BitBtn3Click() {
    FrameProbList1->btnFirstClick();
}

void TFormMain::FrameProbList1BitBtn4Click() {
    FrameProbList1->btnPrevClick();
}

void TFormMain::FrameProbList1BitBtn2Click() {
    FrameProbList1->btnNextClick();
}

void TFormMain::FrameProbList1BitBtn5Click() {
    FrameProbList1->btnLastClick();
}

void TFormMain::FrameProbList1BitBtn1Click() {
    FrameProbList1->BitBtn1Click();
}

void TFormMain::FrameProbList1cbAutoHeightClick() {
    FrameProbList1->cbAutoHeightClick();
}
