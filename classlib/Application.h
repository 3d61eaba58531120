// The application object's share of the class library: its title, its plain message box
// and the default handler that shows every error no event handler caught.
#pragma once

#include "AnsiString.h"

#include <exception>
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

// Runs one event handler to its end; an error that escapes it reaches HandleException and
// the program goes on. Every entry point the event loop calls goes through this.
template <class Handler> void Guarded(Handler&& handler) noexcept {
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& error) {
        HandleException(error);
    } catch (...) {
        HandleException(std::runtime_error("Unknown exception"));
    }
}

// Wraps a handler so that a Qt connection can call it under the guard.
template <class Handler> auto GuardedSlot(Handler handler) {
    return [handler = std::move(handler)](auto&&... args) mutable {
        Guarded([&] { handler(std::forward<decltype(args)>(args)...); });
    };
}
