// The problem set browser on the offscreen platform: the set index, opening with "开",
// navigation, the caption, the failure boxes and what closing keeps.
#include "UnitTrain.h"
#include "Application.h"
#include "Codec.h"
#include "ProblemFileWriter.h"
#include "TestSupport.h"
#include "UnitPracDataMan.h"
#include "UnitStartFile.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <memory>

using namespace ProblemFileWriter;

namespace {

// Records titled prefix + number from 1; record i's picture is 10 + i pixels high.
void WriteSet(const ProgramFolder& folder, const AnsiString& name, const AnsiString& prefix,
              int count) {
    std::vector<ProblemRecord> records;
    for (int i = 0; i < count; ++i) {
        ProblemRecord record;
        record.Title = prefix + IntToStr(i + 1);
        record.Picture = SolidBmp24(5, 10 + i, qRgb(0, 128, 0));
        records.push_back(record);
    }
    WriteProblemFile(folder.File(name), records);
}

QString Caption(int number) {
    return ToQString("浏览--测试题 第" + IntToStr(number) + "题");
}

class FormTrainTest : public ::testing::Test {
protected:
    // The index file must be in place before the browser is created.
    void Create(const AnsiString& index) {
        folder.Write("dbsettrain.txt", index);
        Create();
    }
    void Create() { form = std::make_unique<TFormTrain>(); }

    void Open(int set) {
        form->cbxTrain->setCurrentIndex(set);
        form->btnOpenDb->click();
    }
    std::vector<AnsiString> Titles() const {
        std::vector<AnsiString> titles;
        for (int i = 0; i < form->ListBox1->count(); ++i)
            titles.push_back(FromQString(form->ListBox1->item(i)->text()));
        return titles;
    }
    int Selected() const { return form->ListBox1->currentRow(); }
    int Shown() const { return form->Image1->pixmap().height(); }
    QString Title() const { return form->windowTitle(); }

    void ClickTitle(int row) {
        form->show();
        QWidget* viewport = form->ListBox1->viewport();
        const QPoint at = form->ListBox1->visualItemRect(form->ListBox1->item(row)).center();
        QMouseEvent press(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, viewport->mapToGlobal(at),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &press);
        QApplication::sendEvent(viewport, &release);
    }
    void PressAndRelease(int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(form->ListBox1, &press);
        QApplication::sendEvent(form->ListBox1, &release);
    }

    ProgramFolder folder;
    std::unique_ptr<TFormTrain> form;
};

TEST_F(FormTrainTest, CreationListsEveryLineAndLooksUpItsFileByName) {
    Create("期中=mid.db\r\n期末=final.db\r\nMID=other.db\r\n期中=second.db\r\n");
    ASSERT_EQ(form->SetNames->Count(), 4);
    EXPECT_EQ(form->SetNames->Strings(0), "期中");
    EXPECT_EQ(form->SetNames->Strings(2), "MID");
    EXPECT_EQ(form->SetFiles->Strings(0), "mid.db");
    EXPECT_EQ(form->SetFiles->Strings(1), "final.db");
    EXPECT_EQ(form->SetFiles->Strings(2), "other.db");
    EXPECT_EQ(form->SetFiles->Strings(3), "mid.db") << "the first line with the name wins";
    EXPECT_EQ(form->DbSetLines->Count(), 4);

    ASSERT_EQ(form->cbxTrain->count(), 4);
    EXPECT_EQ(form->cbxTrain->currentIndex(), 0);
    EXPECT_EQ(form->cbxTrain->itemText(1), ToQString("期末"));
    EXPECT_FALSE(form->cbxTrain->isEditable());
    EXPECT_FALSE(form->ListBox1->isEnabled());
    EXPECT_TRUE(form->FreeDataOnClose);
    EXPECT_EQ(Title(), ToQString("测试题浏览窗口"));
    EXPECT_EQ(form->btnOpenDb->text(), ToQString("开"));
    EXPECT_EQ(form->btnOpenDb->toolTip(), ToQString("打开题集"));
}

// The index is read at every start from the folder pushes land in: only as far as a real one
// reaches.
TEST_F(FormTrainTest, AnIndexPastTheStartFileBoundListsOnlyItsFirstLines) {
    AnsiString index;
    for (int line = 0; line <= kStartFileMaxLines; ++line)
        index += "set=a.db\r\n";
    Create(index);
    EXPECT_EQ(form->cbxTrain->count(), kStartFileMaxLines);
}

TEST_F(FormTrainTest, NotesHoldThreeLines) {
    Create();
    const QTextDocument* notes = form->Memo1->document();
    ASSERT_EQ(notes->blockCount(), 3);
    EXPECT_EQ(notes->findBlockByNumber(0).text(), ToQString("注意："));
    EXPECT_EQ(notes->findBlockByNumber(1).text(),
              ToQString("1. 这里显示的题目不一定是当前正在测试的问题；"));
    EXPECT_EQ(
        notes->findBlockByNumber(2).text(),
        ToQString("2. 仅当在主界面完成下载题目之后，这里打“开”看到的测试题才是当前的测试题。"));
}

// Shown: the title column keeps its designed width with its controls side by side, the row
// below the picture takes the window's height and the status bar stays a strip at the bottom.
TEST_F(FormTrainTest, ShownWindowFillsItsHeightAndKeepsTheSetControlsApart) {
    Create("第一套练习=a.db\r\n");
    form->show();
    QApplication::processEvents();

    EXPECT_EQ(form->StatusBar1->height(), form->StatusBar1->sizeHint().height());
    EXPECT_EQ(form->StatusBar1->geometry().bottom(), form->height() - 1);
    EXPECT_EQ(form->Splitter1->geometry().bottom() + 1, form->StatusBar1->y());

    EXPECT_EQ(form->GroupBox3->width(), 553);
    const std::vector<QWidget*> strip = {form->Label1,  form->cbxTrain, form->btnOpenDb,
                                         form->BitBtn3, form->BitBtn4,  form->BitBtn2,
                                         form->BitBtn5};
    for (std::size_t i = 1; i < strip.size(); ++i)
        EXPECT_LT(strip[i - 1]->geometry().right(), strip[i]->x()) << "control " << i;
    EXPECT_LT(form->BitBtn5->geometry().right(), form->Panel1->width());
    EXPECT_GE(form->cbxTrain->width(), form->cbxTrain->minimumWidth());
}

TEST_F(FormTrainTest, NamesDifferingOnlyInLetterCaseOpenTheFirstLinesFile) {
    WriteSet(folder, "a.db", "A", 2);
    WriteSet(folder, "b.db", "B", 3);
    Create("Set=a.db\r\nSET=b.db\r\n");
    Open(1);
    EXPECT_EQ(Titles(), (std::vector<AnsiString>{"A1", "A2"}));
}

TEST_F(FormTrainTest, WithoutIndexFileOpenReportsIndexMinusOneAndComesBack) {
    Create();
    EXPECT_EQ(form->cbxTrain->count(), 0);
    ModalBoxCloser boxes;
    form->btnOpenDb->click();
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, ToQString(ApplicationTitle()));
    EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral("List index out of bounds (-1)"));
    EXPECT_TRUE(form->ListBox1->isEnabled());
    EXPECT_EQ(form->ListBox1->count(), 0);
    EXPECT_TRUE(form->btnOpenDb->isEnabled());
}

TEST_F(FormTrainTest, LineWithoutEqualsSignReportsTheProgramFolderAsNotFound) {
    Create("no equals sign\r\n");
    ASSERT_EQ(form->cbxTrain->count(), 1);
    EXPECT_EQ(form->cbxTrain->itemText(0), QString());
    ModalBoxCloser boxes;
    Open(0);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, ToQString("操作失败"));
    EXPECT_EQ(boxes.Boxes()[0].text,
              ToQString("未找到题目文件:\r\n" + folder.Path() + "\r\n请确保已经下载了题库文件."));
    EXPECT_TRUE(form->btnOpenDb->isEnabled());
}

TEST_F(FormTrainTest, LineStartingWithEqualsSignNamesTheFileOfNamelessLines) {
    WriteSet(folder, "x.db", "X", 1);
    Create("no equals sign\r\n=x.db\r\n");
    Open(0);
    EXPECT_EQ(Titles(), std::vector<AnsiString>{"X1"});
}

TEST_F(FormTrainTest, OpeningListsTitlesShowsTheFirstAndSetsTheCaption) {
    WriteSet(folder, "a.db", "题目", 3);
    Create("A=a.db\r\n");
    Open(0);
    EXPECT_EQ(Titles(), (std::vector<AnsiString>{"题目1", "题目2", "题目3"}));
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(Shown(), 10);
    EXPECT_EQ(Title(), Caption(1));
    EXPECT_EQ(form->PracDataManage->Count(), 3);
    EXPECT_TRUE(form->ListBox1->isEnabled());
    EXPECT_TRUE(form->btnOpenDb->isEnabled());
}

TEST_F(FormTrainTest, ALongTitleIsListedCutAtACharactersEnd) {
    WriteSet(folder, "a.db", AnsiString(TitleShownMax, 'x'), 1);
    Create("A=a.db\r\n");
    Open(0);
    EXPECT_EQ(Titles(), (std::vector<AnsiString>{AnsiString(TitleShownMax, 'x') + "…"}));
}

TEST_F(FormTrainTest, ButtonsWalkTheTitlesAndStopAtBothEnds) {
    WriteSet(folder, "a.db", "T", 12);
    Create("A=a.db\r\n");
    Open(0);

    form->BitBtn5->click();
    EXPECT_EQ(Selected(), 11);
    EXPECT_EQ(Shown(), 21);
    EXPECT_EQ(Title(), Caption(12));
    form->BitBtn2->click();
    EXPECT_EQ(Selected(), 11);
    EXPECT_EQ(Title(), Caption(12));
    form->BitBtn4->click();
    EXPECT_EQ(Selected(), 10);
    EXPECT_EQ(Shown(), 20);
    EXPECT_EQ(Title(), Caption(11));
    form->BitBtn3->click();
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(Shown(), 10);
    form->BitBtn4->click();
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(Title(), Caption(1));
    form->BitBtn2->click();
    EXPECT_EQ(Selected(), 1);
    EXPECT_EQ(Shown(), 11);
    EXPECT_EQ(Title(), Caption(2));
}

TEST_F(FormTrainTest, BeforeAnySetIsOpenTheButtonsChangeNothing) {
    WriteSet(folder, "a.db", "T", 2);
    Create("A=a.db\r\n");
    for (QPushButton* button : {form->BitBtn3, form->BitBtn4, form->BitBtn2, form->BitBtn5})
        button->click();
    EXPECT_EQ(Title(), ToQString("测试题浏览窗口"));
    EXPECT_EQ(form->ListBox1->count(), 0);
    EXPECT_TRUE(form->Image1->pixmap().isNull());
}

TEST_F(FormTrainTest, ClickingATitleShowsItAndArrowKeysShowWithoutCaption) {
    WriteSet(folder, "a.db", "T", 5);
    Create("A=a.db\r\n");
    Open(0);
    ClickTitle(2);
    EXPECT_EQ(Selected(), 2);
    EXPECT_EQ(Shown(), 12);
    EXPECT_EQ(Title(), Caption(3));

    PressAndRelease(Qt::Key_Down);
    EXPECT_EQ(Selected(), 3);
    EXPECT_EQ(Shown(), 13);
    EXPECT_EQ(Title(), Caption(3)) << "the keys leave the caption alone";
    PressAndRelease(Qt::Key_Up);
    PressAndRelease(Qt::Key_Up);
    EXPECT_EQ(Selected(), 1);
    EXPECT_EQ(Shown(), 11);
    EXPECT_EQ(Title(), Caption(3));
}

TEST_F(FormTrainTest, MissingSetFileKeepsTheOpenSetAndJumpsToItsFirstRecord) {
    WriteSet(folder, "a.db", "A", 4);
    Create("A=a.db\r\nGone=gone.db\r\n");
    Open(0);
    form->BitBtn5->click();
    ModalBoxCloser boxes;
    Open(1);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, ToQString("操作失败"));
    EXPECT_EQ(boxes.Boxes()[0].text, ToQString("未找到题目文件:\r\n" + folder.File("gone.db") +
                                               "\r\n请确保已经下载了题库文件."));
    EXPECT_EQ(Titles().size(), 4u);
    EXPECT_EQ(form->PracDataManage->Count(), 4);
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(Shown(), 10);
    EXPECT_EQ(Title(), Caption(1));
}

TEST_F(FormTrainTest, SetWithoutRecordsEmptiesTheTitlesAndKeepsPictureAndCaption) {
    WriteSet(folder, "a.db", "A", 4);
    WriteSet(folder, "empty.db", "E", 0);
    Create("A=a.db\r\nEmpty=empty.db\r\n");
    Open(0);
    form->BitBtn5->click();
    Open(1);
    EXPECT_EQ(form->ListBox1->count(), 0);
    EXPECT_EQ(form->PracDataManage->Count(), 0);
    EXPECT_EQ(Shown(), 13);
    EXPECT_EQ(Title(), Caption(4));
}

TEST_F(FormTrainTest, DamagedSetKeepsOldTitlesOverTheRecordsReadBeforeTheError) {
    WriteSet(folder, "a.db", "A", 3);
    ProblemRecord record;
    record.Picture = SolidBmp24(5, 40, qRgb(0, 0, 0));
    // The count promises two records; only one is there.
    WriteBytes(folder.File("bad.db"), Compress(IntegerField(2) + record.Text()));
    Create("A=a.db\r\nBad=bad.db\r\n");
    Open(0);
    form->BitBtn5->click();

    ModalBoxCloser boxes;
    Open(1);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral("'' is not a valid integer value"));
    EXPECT_TRUE(form->btnOpenDb->isEnabled());
    EXPECT_EQ(Titles(), (std::vector<AnsiString>{"A1", "A2", "A3"}));
    EXPECT_EQ(form->PracDataManage->Count(), 1);
    EXPECT_EQ(Title(), Caption(3)) << "the steps after the failure do not run";

    ClickTitle(0);
    EXPECT_EQ(Shown(), 40) << "a title shows the record at its index in the container";
    ClickTitle(2);
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[1].text, QStringLiteral("List index out of bounds (2)"));
    EXPECT_EQ(Shown(), 40);
}

TEST_F(FormTrainTest, PickingAnotherSetOpensNothingUntilOpenIsPressed) {
    WriteSet(folder, "a.db", "A", 2);
    WriteSet(folder, "b.db", "B", 3);
    Create("A=a.db\r\nB=b.db\r\n");
    Open(0);
    form->cbxTrain->setCurrentIndex(1);
    EXPECT_EQ(Titles(), (std::vector<AnsiString>{"A1", "A2"}));
    EXPECT_EQ(form->PracDataManage->Count(), 2);
    form->btnOpenDb->click();
    EXPECT_EQ(Titles(), (std::vector<AnsiString>{"B1", "B2", "B3"}));
}

TEST_F(FormTrainTest, ClosingWithTheFlagClearedOnlyHides) {
    WriteSet(folder, "a.db", "A", 3);
    Create("A=a.db\r\n");
    form->FreeDataOnClose = false;
    form->show();
    Open(0);
    form->BitBtn2->click();
    form->close();
    EXPECT_FALSE(form->isVisible());

    form->show();
    EXPECT_EQ(form->PracDataManage->Count(), 3);
    EXPECT_EQ(Titles().size(), 3u);
    EXPECT_EQ(Selected(), 1);
    EXPECT_EQ(Shown(), 11);
    EXPECT_EQ(Title(), Caption(2));
}

TEST_F(FormTrainTest, ClosingWithTheFlagSetReleasesTheDataSafely) {
    WriteSet(folder, "a.db", "A", 3);
    Create("A=a.db\r\n");
    Open(0);
    form->show();
    form->close();
    EXPECT_EQ(form->PracDataManage->Count(), 0);
    EXPECT_EQ(form->SetNames->Count(), 0);
    EXPECT_EQ(form->SetFiles->Count(), 0);
    EXPECT_EQ(form->DbSetLines->Count(), 0);

    // Shown again after its data went: a title or "开" reports an error, nothing breaks.
    ModalBoxCloser boxes;
    form->FreeData();
    ClickTitle(1);
    form->btnOpenDb->click();
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral("List index out of bounds (1)"));
    EXPECT_EQ(boxes.Boxes()[1].text, QStringLiteral("List index out of bounds (0)"));
}

} // namespace
