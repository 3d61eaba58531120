// Shared test helpers: a private program folder, waiting on the event loop, closing the modal
// boxes and driving the dialogs that the code under test opens.
#pragma once

#include "AnsiString.h"
#include "UnitCommon.h"

#include <QMessageBox>
#include <QString>
#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <vector>

// A fresh folder, removed with its files when the object goes.
class TestFolder {
public:
    TestFolder();
    AnsiString Path() const; // ends with "/"
    AnsiString File(const AnsiString& name) const { return Path() + name; }
    AnsiString Read(const AnsiString& name) const; // "" when missing
    // Returns the file's path.
    AnsiString Write(const AnsiString& name, const AnsiString& bytes) const;
    bool Exists(const AnsiString& name) const;

private:
    QTemporaryDir FDir;
};

// A fresh folder that GetExePath reports for the life of the object.
class ProgramFolder : public TestFolder {
public:
    ProgramFolder() : FExePath(Path()) {}

private:
    ScopedExePath FExePath;
};

// Makes a file or folder unchangeable, even for root, while it lives (where the file system can).
class ImmutableFile {
public:
    explicit ImmutableFile(const AnsiString& path);
    ~ImmutableFile();
    ImmutableFile(const ImmutableFile&) = delete;
    ImmutableFile& operator=(const ImmutableFile&) = delete;
    bool IsSet() const { return FSet; }

private:
    bool SetFlag(bool on) const;
    AnsiString FPath;
    bool FSet = false;
};

// Sends a key press to the widget, as the keyboard would: the key, the text it types and the
// modifiers held.
void PressKey(class QWidget* widget, int key, const QString& text = QString(),
              Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Runs the event loop until the predicate holds or the time is up; returns the predicate.
bool WaitUntil(const std::function<bool()>& predicate, int timeoutMs = 5000);
// Runs the event loop for the given time.
void PumpEvents(int ms);

// Closes every modal message box that opens while it lives, recording caption and text.
// Boxes are answered with the queued buttons in turn, then with the default answer.
class ModalBoxCloser {
public:
    struct Box {
        QString caption;
        QString text;
    };
    explicit ModalBoxCloser(QMessageBox::StandardButton defaultAnswer = QMessageBox::Ok);
    ~ModalBoxCloser();
    void QueueAnswer(QMessageBox::StandardButton answer) { FAnswers.push_back(answer); }
    const std::vector<Box>& Boxes() const { return FBoxes; }
    // Runs while a box is open, before it is answered: what else happens in that moment.
    std::function<void()> WhileOpen;

private:
    void CloseOpenBox();
    QMessageBox::StandardButton FDefaultAnswer;
    std::deque<QMessageBox::StandardButton> FAnswers;
    std::vector<Box> FBoxes;
    class QTimer* FTimer;
};

// Runs the action on every modal dialog other than a message box that opens while it lives,
// as a user would act on it; the action fills the dialog in and closes it. A dialog the action
// leaves open is cancelled.
class ModalDialogDriver {
public:
    explicit ModalDialogDriver(std::function<void(QDialog& dialog)> action);
    ~ModalDialogDriver();
    int Count() const { return FCount; } // dialogs driven so far

private:
    void DriveOpenDialog();
    std::function<void(QDialog&)> FAction;
    int FCount = 0;
    bool FDriving = false;
    class QTimer* FTimer;
};

// Bytes of the given length for a file: every byte value, NUL and 0xFF among them, and no
// 1024-byte block like the one before it, so that a block sent twice or out of turn shows.
AnsiString FileBytes(std::size_t count, unsigned seed = 7);

// The text after a leading time stamp "hh:mm:ss" (of a log line) or "yyyy-mm-dd hh:mm:ss" (of
// a diagnostic line); a line without it is returned marked.
AnsiString AfterTimeStamp(const AnsiString& line);
AnsiString AfterDateTimeStamp(const AnsiString& line);

// The moment tests stop the clock at: each field of "2026-03-07 08:05:09" needs its leading zero.
inline const QDateTime TestMoment(QDate(2026, 3, 7), QTime(8, 5, 9));

// Whether the line is a time stamp "hh:mm:ss" followed by the text.
inline bool IsStamped(const AnsiString& line, const AnsiString& text) {
    return AfterTimeStamp(line) == text;
}

// Runs the action once, as the first message box that opens is shown. The box is not modal yet,
// so a ModalBoxCloser leaves it alone while the action runs, and closes boxes it opens.
class OnBoxShown : public QObject {
public:
    explicit OnBoxShown(std::function<void()> action);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> FAction;
};

// The text of a log widget's lines, each converted back to the system's bytes.
std::vector<AnsiString> LogLines(const class QPlainTextEdit* log);
