// Our stand-in for finding a top-level window by its exact title: a window registers its title
// with a per-user local server, and the start-up check asks whether such a server answers.
#pragma once

#include "AnsiString.h"

#include <memory>

class QLocalServer;

// True when a window of this user registered exactly this title and still answers. A name
// left behind by a program that crashed answers nobody and so is no window.
bool FindWindowByTitle(const AnsiString& title);

// Keeps a window's title registered while it lives.
class TWindowTitleRegistration {
public:
    // A registration that cannot be made (a live window already holds the title) leaves the
    // title to that window; nothing is raised, as the title itself is still set.
    explicit TWindowTitleRegistration(const AnsiString& title);
    ~TWindowTitleRegistration();
    TWindowTitleRegistration(const TWindowTitleRegistration&) = delete;
    TWindowTitleRegistration& operator=(const TWindowTitleRegistration&) = delete;

    bool Registered() const;

private:
    std::unique_ptr<QLocalServer> FServer;
};
