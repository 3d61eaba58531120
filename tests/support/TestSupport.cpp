#include "TestSupport.h"

#include "Codec.h"
#include "Files.h"
#include "LogView.h"
#include "UnitCommon.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTimer>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <stdexcept>
#include <utility>

TestFolder::TestFolder() {
    if (!FDir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

AnsiString TestFolder::Path() const {
    return platform::AnsiFileName(FDir.path()) + "/";
}

AnsiString TestFolder::Read(const AnsiString& name) const {
    const platform::TFileHandle file(platform::OpenFile(File(name), "rb"));
    AnsiString bytes;
    char block[4096];
    for (size_t count; file && (count = std::fread(block, 1, sizeof block, file.get())) > 0;)
        bytes.append(block, count);
    return bytes;
}

AnsiString TestFolder::Write(const AnsiString& name, const AnsiString& bytes) const {
    const platform::TFileHandle file(platform::OpenFile(File(name), "wb"));
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        throw std::runtime_error("cannot write " + File(name));
    return File(name);
}

bool TestFolder::Exists(const AnsiString& name) const {
    struct stat info {};
    return platform::FileStatus(File(name), info) == 0;
}

ImmutableFile::ImmutableFile(const AnsiString& path) : FPath(path) {
    FSet = SetFlag(true);
}

ImmutableFile::~ImmutableFile() {
    if (FSet)
        SetFlag(false);
}

bool ImmutableFile::SetFlag(bool on) const {
    const int fd = ::open(FPath.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return done;
}

void PressKey(QWidget* widget, int key, const QString& text, Qt::KeyboardModifiers modifiers) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(widget, &press);
}

// Handles events as they come, sleeping between them; the ticking timer bounds each sleep so
// that deadlines and predicates are looked at every few milliseconds without spinning.
static void WaitForEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

bool WaitUntil(const std::function<bool()>& predicate, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QTimer wake;
    wake.start(5);
    while (!predicate()) {
        if (deadline.hasExpired())
            return false;
        WaitForEvents();
    }
    return true;
}

void PumpEvents(int ms) {
    QDeadlineTimer deadline(ms);
    QTimer wake;
    wake.start(5);
    while (!deadline.hasExpired())
        WaitForEvents();
}

ModalBoxCloser::ModalBoxCloser(QMessageBox::StandardButton defaultAnswer)
    : FDefaultAnswer(defaultAnswer), FTimer(new QTimer) {
    QObject::connect(FTimer, &QTimer::timeout, [this] { CloseOpenBox(); });
    FTimer->start(5);
}

ModalBoxCloser::~ModalBoxCloser() {
    delete FTimer;
}

void ModalBoxCloser::CloseOpenBox() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    FBoxes.push_back({box->windowTitle(), box->text()});
    if (WhileOpen)
        WhileOpen();
    QMessageBox::StandardButton answer = FDefaultAnswer;
    if (!FAnswers.empty()) {
        answer = FAnswers.front();
        FAnswers.pop_front();
    }
    if (QAbstractButton* button = box->button(answer))
        button->click();
    else
        box->reject();
}

ModalDialogDriver::ModalDialogDriver(std::function<void(QDialog& dialog)> action)
    : FAction(std::move(action)), FTimer(new QTimer) {
    QObject::connect(FTimer, &QTimer::timeout, [this] { DriveOpenDialog(); });
    FTimer->start(5);
}

ModalDialogDriver::~ModalDialogDriver() {
    delete FTimer;
}

void ModalDialogDriver::DriveOpenDialog() {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    // An action that waits on the event loop must not be entered again by the next tick.
    if (FDriving || !dialog || qobject_cast<QMessageBox*>(dialog) || !dialog->isVisible())
        return;
    FDriving = true;
    ++FCount;
    FAction(*dialog);
    if (dialog->isVisible())
        dialog->reject();
    FDriving = false;
}

AnsiString FileBytes(std::size_t count, unsigned seed) {
    AnsiString bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char>((i * 31 + i / 1024 + seed) % 256);
    return bytes;
}

// The text after a leading stamp of the given shape, in which '9' stands for any digit.
static AnsiString AfterStamp(const AnsiString& line, const AnsiString& shape) {
    bool stamped = line.size() >= shape.size();
    for (std::size_t i = 0; stamped && i < shape.size(); ++i)
        stamped = shape[i] == '9' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                                  : line[i] == shape[i];
    return stamped ? line.substr(shape.size()) : "<no time stamp>" + line;
}

AnsiString AfterTimeStamp(const AnsiString& line) {
    return AfterStamp(line, "99:99:99");
}

AnsiString AfterDateTimeStamp(const AnsiString& line) {
    return AfterStamp(line, "9999-99-99 99:99:99");
}

OnBoxShown::OnBoxShown(std::function<void()> action) : FAction(std::move(action)) {
    qApp->installEventFilter(this);
}

bool OnBoxShown::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && qobject_cast<QMessageBox*>(watched) && FAction)
        std::exchange(FAction, nullptr)();
    return false;
}

std::vector<AnsiString> LogLines(const QPlainTextEdit* log) {
    std::vector<AnsiString> lines;
    const QStringList texts = log->toPlainText().split(u'\n');
    for (const QString& text : texts)
        lines.push_back(FromQString(text));
    if (!LogHasLines(log))
        lines.clear();
    return lines;
}
