#include "UnitFrameProb.h"

#include "Application.h"
#include "Codec.h"
#include "UnitPracDataMan.h"

#include <QSplitter>

#include <algorithm>

// The holder's height when the picture fits, and the height "调整高度" toggles against.
static const int kHeightAbovePicture = 85;
static const int kToggledHeight = 220;

TFrameProbList::TFrameProbList(QWidget* parent) : QFrame(parent) {
    setupUi(this);

    // The picture sits at 8, 8 in the scroll box at its natural size; the box scrolls the rest.
    Image1->setContentsMargins(8, 8, 0, 0);
    Image1->adjustSize();
    BindHandlers();
}

void TFrameProbList::BindHandlers() {
    connect(btnFirst, &QPushButton::clicked, this, GuardedSlot([this](bool) { btnFirstClick(); }));
    connect(btnPrev, &QPushButton::clicked, this, GuardedSlot([this](bool) { btnPrevClick(); }));
    connect(btnNext, &QPushButton::clicked, this, GuardedSlot([this](bool) { btnNextClick(); }));
    connect(btnLast, &QPushButton::clicked, this, GuardedSlot([this](bool) { btnLastClick(); }));
    connect(BitBtn1, &QPushButton::clicked, this, GuardedSlot([this](bool) { BitBtn1Click(); }));
    // Toggled, not clicked: a change of the box's state by code counts as a click too.
    connect(cbAutoHeight, &QCheckBox::toggled, this,
            GuardedSlot([this](bool) { cbAutoHeightClick(); }));
}

void TFrameProbList::GotoFirst() {
    if (!PracDataManage)
        return;
    if (PracDataManage->Count() == 0) {
        CurIndex = -1;
        return;
    }
    CurIndex = 0;
    ShowRecord(0);
    lblIndexProb->setText(ToQString("1"));
}

void TFrameProbList::GotoLast() {
    if (!PracDataManage)
        return;
    if (PracDataManage->Count() == 0) {
        CurIndex = -1;
        return;
    }
    CurIndex = PracDataManage->Count() - 1;
    ShowRecord(CurIndex);
}

void TFrameProbList::GotoNext() {
    if (!PracDataManage || CurIndex >= PracDataManage->Count() - 1)
        return;
    ++CurIndex;
    ShowRecord(CurIndex);
}

void TFrameProbList::GotoPrev() {
    if (!PracDataManage || CurIndex <= 0)
        return;
    --CurIndex;
    ShowRecord(CurIndex);
}

void TFrameProbList::ShowCurrent() {
    if (!PracDataManage || CurIndex == -1 || PracDataManage->Count() == 0) {
        lblIndexProb->setText(ToQString("-"));
        return;
    }
    lblIndexProb->setText(ToQString(IntToStr(CurIndex + 1)));
    ShowRecord(CurIndex);
    if (cbAutoHeight->isChecked())
        SetParentHeight(PictureHeight() + kHeightAbovePicture);
}

void TFrameProbList::ClearImage() {
    Image1->setPixmap(QPixmap());
    Image1->adjustSize();
    Image1->repaint();
}

void TFrameProbList::btnFirstClick() {
    GotoFirst();
    ShowCurrent();
}

void TFrameProbList::btnPrevClick() {
    GotoPrev();
    ShowCurrent();
}

void TFrameProbList::btnNextClick() {
    GotoNext();
    ShowCurrent();
}

void TFrameProbList::btnLastClick() {
    GotoLast();
    ShowCurrent();
}

void TFrameProbList::BitBtn1Click() {
    if (ParentHeight() == kToggledHeight)
        SetParentHeight(PictureHeight() + kHeightAbovePicture);
    else
        SetParentHeight(kToggledHeight);
}

void TFrameProbList::cbAutoHeightClick() {
    if (cbAutoHeight->isChecked())
        SetParentHeight(PictureHeight() + kHeightAbovePicture);
}

// The record's picture is copied, so the container may drop the record while it is shown.
// Reading the record first leaves the picture as it was when the index is out of range.
void TFrameProbList::ShowRecord(int index) {
    const QPixmap picture = QPixmap::fromImage(PracDataManage->Items(index).Bitmap);
    Image1->setPixmap(picture);
    Image1->adjustSize();
    Image1->repaint();
}

int TFrameProbList::PictureHeight() const {
    return Image1->pixmap().height();
}

int TFrameProbList::ParentHeight() const {
    return parentWidget() ? parentWidget()->height() : 0;
}

// A holder in a vertical splitter gets its height from the splitter, which hands the
// difference to the neighbouring pane; any other holder is resized directly.
void TFrameProbList::SetParentHeight(int height) {
    QWidget* holder = parentWidget();
    if (!holder)
        return;
    auto* splitter = qobject_cast<QSplitter*>(holder->parentWidget());
    if (splitter && splitter->orientation() == Qt::Vertical && splitter->count() > 1) {
        QList<int> sizes = splitter->sizes();
        const int index = splitter->indexOf(holder);
        const int neighbour = index + 1 < splitter->count() ? index + 1 : index - 1;
        sizes[neighbour] = std::max(0, sizes[neighbour] + sizes[index] - height);
        sizes[index] = height;
        splitter->setSizes(sizes);
        return;
    }
    holder->resize(holder->width(), height);
}
