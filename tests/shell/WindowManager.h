#pragma once

// openbox on the test's X server, for tests in which the desktop decides about the keyboard focus as a user's does.

#include "AppProcess.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWidget>

namespace shelltest {

class WindowManager {
public:
    // Starts it and waits until it manages the screen; false when it could not. Of its key bindings only Alt+F4
    // (close the focused window) is kept, so that it leaves the application's Alt+Space alone.
    bool start() {
        const QString config = folder_.filePath("rc.xml");
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)) return false;
        file.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <keyboard><keybind key="A-F4"><action name="Close"/></keybind></keyboard>
</openbox_config>
)");
        file.close();
        process_.start(hostProgram("openbox"), {"--sm-disable", "--config-file", config});
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

    // Shows `window` and gives it the focus, asked for until the window manager has taken it in; whether it has it.
    static bool showFocused(QWidget& window) {
        window.show();
        const QString id = QString::number(window.winId());
        return waitFor([&] { return window.hasFocus() || (run("xdotool", {"windowactivate", id}), false); }, 10000);
    }

    // The windows it manages, from the bottom of the stack to the top, in decimal as xdotool gives window ids.
    static QStringList stacking() {
        QStringList ids;
        const QString list = run("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"}).section('#', 1);
        for (const QString& id : list.split(',', Qt::SkipEmptyParts))
            ids << QString::number(id.trimmed().toULongLong(nullptr, 16));
        return ids;
    }

    // Returns once the window manager has handled what the X server had for it before the call (a window mapped, a
    // click): it handles its events in order, and a window mapped now, which takes no focus, reaches its list of
    // clients after them. Whether that happened in time.
    static bool settle() {
        QWidget probe;
        probe.setAttribute(Qt::WA_ShowWithoutActivating);
        probe.setWindowFlag(Qt::WindowDoesNotAcceptFocus);
        probe.setGeometry(0, 0, 1, 1);
        probe.show();
        const QString id = QString::number(probe.winId());
        return waitFor([&] { return stacking().contains(id); }, 10000);
    }

    // Clicks the close button of the frame put around `window`: the last one of the title bar, at its right end.
    static void clickClose(const QString& window) {
        static const QRegularExpression parent(R"re(Parent window id: (0x[0-9a-f]+))re");
        const QString frame = QString::number(
            parent.match(run("xwininfo", {"-tree", "-id", window})).captured(1).toULongLong(nullptr, 16));
        click(frame, {windowGeometry(frame).width() - 11, 9});
    }

private:
    QTemporaryDir folder_;
    QProcess process_;
};

}  // namespace shelltest
