// The application object's share of the class library: its title, its plain message box,
// the default handler that shows every error no event handler caught, and the one-box rule
// for errors of network events.
#pragma once

#include "AnsiString.h"

#include <exception>
#include <functional>
#include <stdexcept>
#include <utility>

AnsiString ApplicationTitle();
void SetApplicationTitle(const AnsiString& title);

// Modal box: caption, text, one OK button, no icon. Events go on being delivered while open.
void ShowModalBox(const AnsiString& caption, const AnsiString& text);
// A question in a modal box like the one above: true only for OK or Yes; Cancel, No and closing
// the box give false.
enum class TQuestionButtons { OkCancel, YesNo };
bool AskModalBox(const AnsiString& caption, const AnsiString& text, TQuestionButtons buttons);
// The class library's plain box: the application's title as caption.
void ShowMessage(const AnsiString& text);

// Shows the error's text in a box captioned with the application's title.
void HandleException(const std::exception& error);

// Runs the handler to its end and passes an error that escapes it to report.
template <class Handler, class Report>
void RunReporting(Handler&& handler, Report&& report) noexcept {
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& error) {
        report(error);
    } catch (...) {
        report(std::runtime_error("Unknown exception"));
    }
}

// Runs one event handler to its end; an error that escapes it reaches HandleException and
// the program goes on. Every entry point the event loop calls goes through this.
template <class Handler> void Guarded(Handler&& handler) noexcept {
    RunReporting(std::forward<Handler>(handler),
                 [](const std::exception& error) { HandleException(error); });
}

// Writes the line, after a time stamp and a blank, into the log of the component that raised an
// error; empty for a component without a log.
using TEventErrorLog = std::function<void(const AnsiString& line)>;

// The box of an error raised while a network event is handled. Any peer can raise such errors
// faster than the student closes boxes, and an open box's own loop delivers the next event: so
// at most one of these boxes is open, and an error meanwhile becomes one line in the log, its
// CR and LF turned into blanks.
void ShowEventErrorBox(const AnsiString& caption, const AnsiString& text,
                       const TEventErrorLog& log);

// Guarded for the entry points of network events: an error that escapes is shown as
// HandleException shows it, under the rule of ShowEventErrorBox.
template <class Handler>
void GuardedEvent(Handler&& handler, const TEventErrorLog& log = {}) noexcept {
    RunReporting(std::forward<Handler>(handler), [&log](const std::exception& error) {
        ShowEventErrorBox(ApplicationTitle(), error.what(), log);
    });
}

// Wraps a handler so that a Qt connection can call it under the guard.
template <class Handler> auto GuardedSlot(Handler handler) {
    return [handler = std::move(handler)](auto&&... args) mutable {
        Guarded([&] { handler(std::forward<decltype(args)>(args)...); });
    };
}
