// The problem set browser: lists the sets named in "dbsettrain.txt", opens the one picked
// with "开", lists its titles and shows the picture of the selected record.
#pragma once

#include "Classes.h"
#include "ui_UnitTrain.h"

#include <QWidget>

#include <cstddef>
#include <memory>

class TPracDataManage;

// The longest title listed whole: a title is one line of a problem file, which comes from the
// server, and a list of megabyte lines would hold the window.
inline constexpr size_t TitleShownMax = 1024;

// The controls are those of UnitTrain.ui, under their names there.
class TFormTrain : public QWidget, public Ui::TFormTrain {
    Q_OBJECT

public:
    // A window of its own also when given an owner. Runs FormCreate under the error guard: an
    // error ends the creation steps, not the window.
    explicit TFormTrain(QWidget* parent = nullptr);
    ~TFormTrain() override;

    // The lines of "dbsettrain.txt", their display names and the parallel file names.
    std::unique_ptr<TStringList> DbSetLines;
    std::unique_ptr<TStringList> SetNames;
    std::unique_ptr<TStringList> SetFiles;
    // The records of the open set; the title list's line i is record i.
    std::unique_ptr<TPracDataManage> PracDataManage;
    // When set, closing the browser releases its data; the main window clears it.
    bool FreeDataOnClose = true;

    void OpenProblemSet();
    void ShowFirst();
    void ShowLast();
    void ShowNext();
    void ShowPrev();
    void ShowSelected();
    void UpdateCaption();
    void FreeData();

    // Handlers, bound by the window to its own events and controls under the error guard.
    void FormCreate();
    void FormShow();
    void btnOpenDbClick();
    void BitBtn3Click();
    void BitBtn4Click();
    void BitBtn2Click();
    void BitBtn5Click();
    void ListBox1Click();
    void ListBox1KeyUp(int key);
    void cbxTrainChange();
    void FormClose();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BindHandlers();
    void ReadSetIndex();
    void SelectLine(int line);
    void ShowRecord(int index);
    void FitPicture();
};
