#pragma once

// openbox on the test's X server, for tests in which the desktop decides about the keyboard focus as a user's does.

#include "AppProcess.h"

#include <QProcess>

namespace shelltest {

class WindowManager {
public:
    // Starts it and waits until it manages the screen; false when it could not.
    bool start() {
        process_.start("openbox", {"--sm-disable"});
        if (!process_.waitForStarted()) return false;
        return waitFor([] { return run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id"); },
                       10000);
    }
    ~WindowManager() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
    }

    // The window that has the keyboard focus, in decimal as xdotool gives window ids.
    static QString focusedWindow() { return run("xdotool", {"getwindowfocus"}).trimmed(); }

private:
    QProcess process_;
};

}  // namespace shelltest
