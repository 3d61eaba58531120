#include "UnitTrain.h"

#include "Application.h"
#include "Codec.h"
#include "LogView.h"
#include "Screen.h"
#include "UnitCommon.h"
#include "UnitPracDataMan.h"
#include "UnitStartFile.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QScopeGuard>

static const char kSetIndexFile[] = "dbsettrain.txt";
static const int kTitleColumnWidth = 553;

TFormTrain::TFormTrain(QWidget* parent) : QWidget(parent, Qt::Window) {
    setupUi(this);

    // Three note lines. The second was written with a lone CR after "1. ", which shows as
    // nothing inside a line; a text area here would break the line at it, so it is left out.
    Memo1->setPlainText(
        ToQString("注意：\r\n"
                  "1. 这里显示的题目不一定是当前正在测试的问题；\r\n"
                  "2. 仅当在主界面完成下载题目之后，这里打“开”看到的测试题才是当前的测试题。"));
    Image1->setContentsMargins(1, 1, 0, 0);
    // The title column keeps its width when the window grows; the notes take the rest.
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({kTitleColumnWidth, width() - kTitleColumnWidth});
    CenterOnScreen(this);
    setWindowState(Qt::WindowMaximized);

    BindHandlers();
    Guarded([this] { FormCreate(); });
}

TFormTrain::~TFormTrain() = default;

void TFormTrain::BindHandlers() {
    connect(btnOpenDb, &QPushButton::clicked, this,
            GuardedSlot([this](bool) { btnOpenDbClick(); }));
    connect(BitBtn3, &QPushButton::clicked, this, GuardedSlot([this](bool) { BitBtn3Click(); }));
    connect(BitBtn4, &QPushButton::clicked, this, GuardedSlot([this](bool) { BitBtn4Click(); }));
    connect(BitBtn2, &QPushButton::clicked, this, GuardedSlot([this](bool) { BitBtn2Click(); }));
    connect(BitBtn5, &QPushButton::clicked, this, GuardedSlot([this](bool) { BitBtn5Click(); }));
    connect(ListBox1, &QListWidget::itemClicked, this,
            GuardedSlot([this](QListWidgetItem*) { ListBox1Click(); }));
    connect(cbxTrain, &QComboBox::currentIndexChanged, this,
            GuardedSlot([this](int) { cbxTrainChange(); }));
    ListBox1->installEventFilter(this);
}

void TFormTrain::FormCreate() {
    FreeDataOnClose = true;
    DbSetLines = std::make_unique<TStringList>();
    SetNames = std::make_unique<TStringList>();
    SetFiles = std::make_unique<TStringList>();
    PracDataManage = std::make_unique<TPracDataManage>();
    ReadSetIndex();
    cbxTrain->clear();
    for (const AnsiString& name : *SetNames)
        cbxTrain->addItem(ToQString(name));
    if (cbxTrain->count() > 0)
        cbxTrain->setCurrentIndex(0);
    FitPicture();
    ListBox1->setEnabled(false);
}

// Every line is an entry; its file is the value of the first line with the same name, so
// two lines with one name (letter case ignored) open the same file.
void TFormTrain::ReadSetIndex() {
    const AnsiString path = GetExePath() + kSetIndexFile;
    if (!FileExists(path))
        return;
    LoadStartFile(path, *DbSetLines);
    for (int i = 0; i < DbSetLines->Count(); ++i) {
        const AnsiString name = DbSetLines->Names(i);
        SetNames->Add(name);
        SetFiles->Add(DbSetLines->Values(name));
    }
}

void TFormTrain::FormShow() {
    FitPicture();
}

void TFormTrain::FitPicture() {
    ScrollBox1->setWidgetResizable(false);
    Image1->adjustSize();
}

void TFormTrain::btnOpenDbClick() {
    ListBox1->setEnabled(true);
    btnOpenDb->setEnabled(false);
    // "开" comes back also when a step fails; the failure then reaches the error box.
    const auto enableOpen = qScopeGuard([this] { btnOpenDb->setEnabled(true); });
    OpenProblemSet();
    ShowFirst();
    UpdateCaption();
}

void TFormTrain::OpenProblemSet() {
    const AnsiString path = GetExePath() + SetFiles->Strings(cbxTrain->currentIndex());
    if (!FileExists(path)) {
        ShowMsg("操作失败", "未找到题目文件:\r\n" + path + "\r\n请确保已经下载了题库文件.");
        return;
    }
    PracDataManage->Clear();
    PracDataManage->LoadFromFile(path);
    ListBox1->clear();
    for (int i = 0; i < PracDataManage->Count(); ++i)
        ListBox1->addItem(ShownText(PracDataManage->Items(i).Title, TitleShownMax));
    if (ListBox1->count() > 0)
        ListBox1->setCurrentRow(0);
}

void TFormTrain::ShowFirst() {
    if (ListBox1->count() == 0)
        return;
    SelectLine(0);
    ShowRecord(0);
}

void TFormTrain::ShowLast() {
    if (ListBox1->count() == 0)
        return;
    const int last = ListBox1->count() - 1;
    SelectLine(last);
    ShowRecord(last);
}

void TFormTrain::ShowNext() {
    const int selected = ListBox1->currentRow();
    if (selected >= ListBox1->count() - 1)
        return;
    SelectLine(selected + 1);
    ShowRecord(selected + 1);
}

void TFormTrain::ShowPrev() {
    const int selected = ListBox1->currentRow();
    if (selected <= 0)
        return;
    SelectLine(selected - 1);
    ShowRecord(selected - 1);
}

void TFormTrain::ShowSelected() {
    const int selected = ListBox1->currentRow();
    if (selected == -1)
        return;
    ShowRecord(selected);
}

void TFormTrain::UpdateCaption() {
    const int selected = ListBox1->currentRow();
    if (selected == -1)
        return;
    setWindowTitle(ToQString("浏览--测试题 第" + IntToStr(selected + 1) + "题"));
}

// Leaves empty lists and an empty container behind instead of none, so that a browser
// shown or closed again after its data was released never reaches released data.
void TFormTrain::FreeData() {
    DbSetLines = std::make_unique<TStringList>();
    SetNames = std::make_unique<TStringList>();
    SetFiles = std::make_unique<TStringList>();
    PracDataManage = std::make_unique<TPracDataManage>();
}

void TFormTrain::BitBtn3Click() {
    ShowFirst();
    UpdateCaption();
}

void TFormTrain::BitBtn4Click() {
    ShowPrev();
    UpdateCaption();
}

void TFormTrain::BitBtn2Click() {
    ShowNext();
    UpdateCaption();
}

void TFormTrain::BitBtn5Click() {
    ShowLast();
    UpdateCaption();
}

void TFormTrain::ListBox1Click() {
    ShowSelected();
    UpdateCaption();
}

// Arrow keys move the selection; the picture follows on release, the caption does not.
void TFormTrain::ListBox1KeyUp(int key) {
    if (key == Qt::Key_Up || key == Qt::Key_Down)
        ShowSelected();
}

// Picking another set opens nothing; only "开" does.
void TFormTrain::cbxTrainChange() {}

void TFormTrain::FormClose() {
    if (FreeDataOnClose)
        FreeData();
}

void TFormTrain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Guarded([this] { FormShow(); });
}

void TFormTrain::closeEvent(QCloseEvent* event) {
    Guarded([this] { FormClose(); });
    event->accept();
}

bool TFormTrain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListBox1 && event->type() == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat())
            Guarded([this, key] { ListBox1KeyUp(key->key()); });
    }
    return QWidget::eventFilter(watched, event);
}

// The record's picture is copied, so the container may drop the record while it is shown.
// Reading the record first leaves the picture as it was when the index is out of range.
void TFormTrain::ShowRecord(int index) {
    const QPixmap picture = QPixmap::fromImage(PracDataManage->Items(index).Bitmap);
    Image1->setPixmap(picture);
    Image1->adjustSize();
    Image1->repaint();
}

void TFormTrain::SelectLine(int line) {
    ListBox1->setCurrentRow(line);
    ListBox1->repaint();
}
