// The problem picture view: a frame that shows the pictures of a borrowed problem container
// one at a time, with first/previous/next/last buttons and two ways to fit its holder's height.
#pragma once

#include "ui_UnitFrameProb.h"

#include <QFrame>

class TPracDataManage;

// The controls are those of UnitFrameProb.ui, under their names there.
class TFrameProbList : public QFrame, public Ui::TFrameProbList {
    Q_OBJECT

public:
    explicit TFrameProbList(QWidget* parent = nullptr);

    // Index of the record shown, from 0; -1 after GotoFirst or GotoLast met an empty container.
    int CurIndex = 0;
    // Borrowed: the owner loads, clears and frees it; none until the owner sets it.
    TPracDataManage* PracDataManage = nullptr;

    void GotoFirst();
    void GotoLast();
    void GotoNext();
    void GotoPrev();
    void ShowCurrent();
    void ClearImage();

    // Handlers of the controls; the frame binds them to its own controls under the error guard.
    void btnFirstClick();
    void btnPrevClick();
    void btnNextClick();
    void btnLastClick();
    void BitBtn1Click();
    void cbAutoHeightClick();

private:
    void ShowRecord(int index);
    int PictureHeight() const;
    int ParentHeight() const;
    void SetParentHeight(int height);
    void BindHandlers();
};
