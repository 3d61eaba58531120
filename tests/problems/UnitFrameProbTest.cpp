// The picture view standing alone in a holder widget: navigation, the problem number and the
// two height rules, with real problem files and real error boxes.
#include "UnitFrameProb.h"
#include "Codec.h"
#include "ProblemFileWriter.h"
#include "TestSupport.h"
#include "UnitPracDataMan.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace ProblemFileWriter;

namespace {

// Record i's picture is 4 pixels wide and heights[i] high, so the height tells which is shown.
void LoadProblems(TPracDataManage& data, const ProgramFolder& folder,
                  const std::vector<int>& heights) {
    std::vector<ProblemRecord> records;
    for (const int height : heights) {
        ProblemRecord record;
        record.Picture = SolidBmp24(4, height, qRgb(0, 0, 255));
        records.push_back(record);
    }
    const AnsiString path = folder.File("train.db");
    WriteProblemFile(path, records);
    data.Clear();
    data.LoadFromFile(path);
}

class FrameProbListTest : public ::testing::Test {
protected:
    FrameProbListTest() : frame(new TFrameProbList(&holder)) { holder.resize(829, 265); }

    int Shown() const { return frame->Image1->pixmap().height(); }
    QString Number() const { return frame->lblIndexProb->text(); }

    ProgramFolder folder;
    TPracDataManage data;
    QWidget holder;
    TFrameProbList* frame;
};

TEST_F(FrameProbListTest, StartsWithoutPictureNumberOrContainer) {
    EXPECT_EQ(frame->CurIndex, 0);
    EXPECT_EQ(frame->PracDataManage, nullptr);
    EXPECT_EQ(Number(), QStringLiteral("-"));
    EXPECT_TRUE(frame->Image1->pixmap().isNull());
    EXPECT_FALSE(frame->cbAutoHeight->isChecked());
    EXPECT_EQ(frame->btnFirst->toolTip(), ToQString("第一题"));
    EXPECT_EQ(frame->btnLast->text(), QStringLiteral(">|"));
    EXPECT_EQ(frame->BitBtn1->text(), ToQString("调整高度"));
}

TEST_F(FrameProbListTest, WithoutContainerEveryButtonOnlySetsTheNumberToDash) {
    frame->Image1->setPixmap(QPixmap(5, 40));
    frame->lblIndexProb->setText(QStringLiteral("7"));
    for (QPushButton* button : {frame->btnFirst, frame->btnPrev, frame->btnNext, frame->btnLast}) {
        button->click();
        EXPECT_EQ(Number(), QStringLiteral("-"));
        EXPECT_EQ(Shown(), 40) << "the picture stays";
        EXPECT_EQ(frame->CurIndex, 0);
    }
}

TEST_F(FrameProbListTest, ButtonsWalkTheRecordsAndStopAtBothEnds) {
    LoadProblems(data, folder, {10, 20, 30});
    frame->PracDataManage = &data;

    frame->btnNext->click(); // from the created index 0
    EXPECT_EQ(Shown(), 20);
    EXPECT_EQ(Number(), QStringLiteral("2"));
    frame->btnLast->click();
    EXPECT_EQ(frame->CurIndex, 2);
    EXPECT_EQ(Shown(), 30);
    EXPECT_EQ(Number(), QStringLiteral("3"));
    frame->btnNext->click();
    EXPECT_EQ(frame->CurIndex, 2);
    EXPECT_EQ(Number(), QStringLiteral("3"));
    frame->btnFirst->click();
    EXPECT_EQ(Shown(), 10);
    EXPECT_EQ(Number(), QStringLiteral("1"));
    frame->btnPrev->click();
    EXPECT_EQ(frame->CurIndex, 0);
    EXPECT_EQ(Shown(), 10);
}

TEST_F(FrameProbListTest, GotoLastAloneLeavesTheNumberAndGotoFirstAloneSetsItToOne) {
    LoadProblems(data, folder, {10, 20, 30});
    frame->PracDataManage = &data;
    frame->GotoLast();
    EXPECT_EQ(Shown(), 30);
    EXPECT_EQ(Number(), QStringLiteral("-"));
    frame->GotoFirst();
    EXPECT_EQ(Shown(), 10);
    EXPECT_EQ(Number(), QStringLiteral("1"));
}

TEST_F(FrameProbListTest, EmptyContainerGivesNoCurrentProblemAndKeepsThePicture) {
    LoadProblems(data, folder, {10, 20});
    frame->PracDataManage = &data;
    frame->btnLast->click();
    LoadProblems(data, folder, {});

    frame->btnFirst->click();
    EXPECT_EQ(frame->CurIndex, -1);
    EXPECT_EQ(Number(), QStringLiteral("-"));
    EXPECT_EQ(Shown(), 20) << "the shown picture is a copy that outlives its record";

    frame->ClearImage();
    frame->btnLast->click();
    EXPECT_EQ(frame->CurIndex, -1);
    EXPECT_EQ(Number(), QStringLiteral("-"));
    EXPECT_TRUE(frame->Image1->pixmap().isNull());
}

TEST_F(FrameProbListTest, ClearImageKeepsIndexNumberAndContainer) {
    LoadProblems(data, folder, {10, 20});
    frame->PracDataManage = &data;
    frame->btnLast->click();
    frame->ClearImage();
    EXPECT_TRUE(frame->Image1->pixmap().isNull());
    EXPECT_EQ(frame->CurIndex, 1);
    EXPECT_EQ(Number(), QStringLiteral("2"));
    EXPECT_EQ(frame->PracDataManage, &data);
}

TEST_F(FrameProbListTest, ShrunkContainerShowsTheIndexErrorAndKeepsThePicture) {
    ModalBoxCloser boxes;
    LoadProblems(data, folder, {10, 20, 30});
    frame->PracDataManage = &data;
    frame->btnLast->click();
    LoadProblems(data, folder, {40});

    frame->btnNext->click();
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral("List index out of bounds (2)"));
    EXPECT_EQ(Number(), QStringLiteral("3")) << "the number is set before the record is read";
    EXPECT_EQ(Shown(), 30);
    EXPECT_EQ(frame->CurIndex, 2);
}

TEST_F(FrameProbListTest, AdjustHeightTogglesBetween220AndThePicture) {
    LoadProblems(data, folder, {300});
    frame->PracDataManage = &data;
    frame->GotoFirst();
    holder.resize(829, 265);

    frame->BitBtn1->click();
    EXPECT_EQ(holder.height(), 220);
    frame->BitBtn1->click();
    EXPECT_EQ(holder.height(), 385);
    frame->BitBtn1->click();
    EXPECT_EQ(holder.height(), 220);
}

TEST_F(FrameProbListTest, AdjustHeightAt220WithoutPictureGives85) {
    holder.resize(829, 220);
    frame->BitBtn1->click();
    EXPECT_EQ(holder.height(), 85);
}

TEST_F(FrameProbListTest, AutoHeightFitsOnCheckAndOnEveryButtonButNotOnGotoFirstAlone) {
    LoadProblems(data, folder, {150, 60, 90});
    frame->PracDataManage = &data;
    frame->GotoFirst();

    frame->cbAutoHeight->click();
    EXPECT_EQ(holder.height(), 235);
    frame->btnNext->click();
    EXPECT_EQ(holder.height(), 145);
    frame->btnLast->click();
    EXPECT_EQ(holder.height(), 175);

    holder.resize(829, 500);
    frame->btnNext->click(); // already on the last record: shown and fitted again
    EXPECT_EQ(holder.height(), 175);
    frame->btnFirst->click();
    holder.resize(829, 500);
    frame->btnPrev->click(); // already on the first record
    EXPECT_EQ(holder.height(), 235);

    holder.resize(829, 500);
    frame->GotoLast();
    frame->GotoFirst();
    EXPECT_EQ(holder.height(), 500);

    frame->cbAutoHeight->click();
    EXPECT_EQ(holder.height(), 500) << "unchecking keeps the height";
    frame->btnNext->click();
    EXPECT_EQ(holder.height(), 500);
}

// The main window binds its own forwarders in place of the frame's bindings; disconnecting the
// controls from the frame must leave no binding behind, or every click would act twice.
TEST_F(FrameProbListTest, DisconnectingTheControlsFromTheFrameRemovesItsBindings) {
    for (QObject* control :
         std::initializer_list<QObject*>{frame->btnFirst, frame->btnPrev, frame->btnNext,
                                         frame->btnLast, frame->BitBtn1, frame->cbAutoHeight})
        QObject::disconnect(control, nullptr, frame, nullptr);
    int forwarded = 0;
    QObject::connect(frame->BitBtn1, &QPushButton::clicked, [&] {
        ++forwarded;
        frame->BitBtn1Click();
    });
    holder.resize(829, 265);
    frame->BitBtn1->click();
    EXPECT_EQ(forwarded, 1);
    EXPECT_EQ(holder.height(), 220) << "toggled once, not twice";
    frame->cbAutoHeight->click();
    EXPECT_EQ(holder.height(), 220);
}

TEST(FrameProbListInSplitter, HeightRulesMoveTheSplitter) {
    ProgramFolder folder;
    TPracDataManage data;
    LoadProblems(data, folder, {300});
    QSplitter window(Qt::Vertical);
    auto* holder = new QWidget; // holds the frame in a layout, as the main window's group box
    auto* frame = new TFrameProbList(holder);
    (new QVBoxLayout(holder))->addWidget(frame);
    window.addWidget(holder);
    window.addWidget(new QWidget);
    window.resize(900, 800);
    window.setSizes({265, 535});
    window.show();
    frame->PracDataManage = &data;
    frame->GotoFirst();

    frame->BitBtn1->click();
    EXPECT_EQ(holder->height(), 220);
    frame->BitBtn1->click();
    EXPECT_EQ(holder->height(), 385);
    EXPECT_EQ(window.sizes()[0] + window.sizes()[1], 800 - window.handleWidth());
    frame->BitBtn1->click();
    frame->ClearImage();
    frame->BitBtn1->click();
    EXPECT_EQ(holder->height(), 85) << "the frame lets its holder shrink to the strip";
}

} // namespace
