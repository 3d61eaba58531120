#include "Application.h"
#include "Codec.h"
#include "LogView.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

TEST(DefaultErrorHandler, AnErrorInAnEventHandlerIsShownAndTheProgramGoesOn) {
    SetApplicationTitle("Quorvane-客户端 2.3 RC");
    ModalBoxCloser boxes;
    QPushButton button;
    int handled = 0;
    QObject::connect(&button, &QPushButton::clicked, GuardedSlot([&](bool) {
        ++handled;
        throw EListError(7);
    }));
    button.click();
    button.click();
    EXPECT_EQ(handled, 2) << "the handler runs again after the first error";
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].caption, ToQString("Quorvane-客户端 2.3 RC"));
    EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral(u"List index out of bounds (7)"));
}

TEST(DefaultErrorHandler, TimersTickWhileABoxIsOpen) {
    ModalBoxCloser boxes;
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(1);
    Guarded([&] {
        const int before = ticks;
        ShowModalBox("提示", "文本");
        EXPECT_GT(ticks, before) << "the event loop went on while the box was open";
    });
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, QStringLiteral(u"提示"));
    EXPECT_EQ(boxes.Boxes()[0].text, QStringLiteral(u"文本"));
}

TEST(MessageBox, TheActiveWindowAndItsFocusComeBackAfterTheBox) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* first = new QLineEdit;
    auto* answer = new QLineEdit;
    layout->addWidget(first);
    layout->addWidget(answer);
    window.show();
    window.activateWindow();
    answer->setFocus();
    ASSERT_TRUE(WaitUntil([&] { return QApplication::focusWidget() == answer; }));
    ModalBoxCloser boxes;
    ShowModalBox("提示", "已保存");
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_TRUE(WaitUntil([&] {
        return QApplication::activeWindow() == &window && QApplication::focusWidget() == answer;
    }));
}

TEST(LogView, EveryCrLfStartsALine) {
    QPlainTextEdit log;
    AppendLogEntry(&log, "12:00:00 报到");
    AppendLogEntry(&log, "\r\n第1题:\r\n运行结果正确！\r\n");
    EXPECT_EQ(LogLines(&log),
              (std::vector<AnsiString>{"12:00:00 报到", "", "第1题:", "运行结果正确！", ""}));
}

TEST(LogView, AnEmptyFirstLineCountsOnAnEmptyLog) {
    QPlainTextEdit log;
    EXPECT_FALSE(LogHasLines(&log));
    AppendLogEntry(&log, "\r\n08:00:00 广播");
    EXPECT_EQ(LogLines(&log), (std::vector<AnsiString>{"", "08:00:00 广播"}));
    log.clear();
    AppendLogEntry(&log, "x");
    EXPECT_EQ(LogLines(&log), (std::vector<AnsiString>{"x"})) << "a cleared log starts afresh";
}

TEST(LogView, ALongEntryIsShownCutAtACharactersEnd) {
    const size_t max = LogEntryShownMax;
    AnsiString wide;
    for (int i = 0; i < 40000; ++i)
        wide += "中";
    const struct {
        AnsiString entry;
        std::vector<AnsiString> lines;
    } cases[] = {
        {AnsiString(max, 'a'), {AnsiString(max, 'a')}},
        {AnsiString(max + 1, 'a'), {AnsiString(max, 'a') + "…"}},
        // The last whole character ends one byte short of the bound.
        {"a" + wide, {"a" + wide.substr(0, max - 2) + "…"}},
        {"x\r\n" + AnsiString(1 << 20, 'b'), {"x", AnsiString(max - 3, 'b') + "…"}},
    };
    for (const auto& sample : cases) {
        QPlainTextEdit log;
        AppendLogEntry(&log, sample.entry);
        EXPECT_EQ(LogLines(&log), sample.lines) << sample.entry.size();
    }
}

} // namespace
