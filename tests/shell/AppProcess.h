#pragma once

// The real application binary under the test's X server, beside a tray host, for tests that drive it as a user would.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPoint>
#include <QRect>
#include <QRegularExpression>
#include <QThread>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "support/HostProgram.h"
#include "support/WaitFor.h"

#include <ostream>

// Failures show a QString (a window id, a title) as its text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace shelltest {

using vctest::waitFor;

// Whether a pipe source has taken everything written into its pipe.
inline bool pipeDrained(const std::string& fifo) {
    int unread = -1;
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    ::ioctl(fd, FIONREAD, &unread);
    ::close(fd);
    return unread == 0;
}

// Where a host program is (see vctest::hostProgram: one that is not installed fails the test at once).
inline QString hostProgram(const char* name) { return QString::fromStdString(vctest::hostProgram(name)); }

// Runs a host program to its end while this process keeps serving its own windows; its standard output. On the
// test's X server, or on `display` when one is given.
inline QString run(const QString& program, const QStringList& arguments, const QString& display = {}) {
    QProcess process;
    if (!display.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", display);
        process.setProcessEnvironment(environment);
    }
    process.start(QString::fromStdString(vctest::hostProgram(program.toStdString())), arguments);
    waitFor([&] { return process.state() == QProcess::NotRunning; }, 15000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Where a window is on the screen, as the X server has it.
inline QRect windowGeometry(const QString& window) {
    const QString info = run("xwininfo", {"-id", window});
    const auto value = [&](const char* name) {
        return QRegularExpression(QString(R"re(%1:\s+(-?\d+))re").arg(name)).match(info).captured(1).toInt();
    };
    return {value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"), value("Height")};
}

// The shown windows of a process titled exactly `title` (in WM_NAME or _NET_WM_NAME; an untitled window of the
// application's is titled "Vellumcaster"). A search by name alone also finds titles that only end in it, and misses a
// window whose WM_NAME is empty.
inline QStringList titledWindows(qint64 pid, const QString& title) {
    const QRegularExpression exact(
        QString(R"re(^(_NET_)?WM_NAME\(\w+\) = "%1"$)re").arg(QRegularExpression::escape(title)),
        QRegularExpression::MultilineOption);
    QStringList found;
    const QString ids = run("xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid)});
    for (const QString& id : ids.split('\n', Qt::SkipEmptyParts)) {
        if (run("xprop", {"-id", id, "WM_NAME", "_NET_WM_NAME"}).contains(exact)) found << id;
    }
    return found;
}

// A click with the left button at this place of a window (from its top left corner), as a user's.
inline void click(const QString& window, const QPoint& at) {
    run("xdotool", {"mousemove", "--window", window, QString::number(at.x()), QString::number(at.y()), "click", "1"});
}

// A click on an item of the application's menu window, found by its place as the window lays it out with the test X
// server's fonts: the first button's middle 80 px below the top, a button every 30 px, a separator line 9 px more.
inline void clickMenuWindowItem(const QString& window, int buttonsAbove, int linesAbove) {
    click(window, {60, 80 + 30 * buttonsAbove + 9 * linesAbove});
}

// A click on the "OK" button of one of the application's notices, at its bottom right.
inline void clickOk(const QString& notice) {
    const QSize size = windowGeometry(notice).size();
    click(notice, {size.width() - 50, size.height() - 24});
}

// trayer at the top right of the screen: the system tray the application's icon goes into.
class TrayHost {
public:
    // Starts it and waits until it owns the screen's tray; false when it could not.
    bool start() {
        process_.start(hostProgram("trayer"), {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"});
        if (!process_.waitForStarted()) return false;
        return waitFor([] { return !panelId().isEmpty(); }, 10000);
    }
    ~TrayHost() { stop(); }
    // Takes the tray away, as on a desktop that has none.
    void stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
    }

    // Where the application's icon sits in the tray, on the screen; empty while it has none there.
    QRect applicationIcon() const {
        const auto match = iconLine();
        if (!match.hasMatch()) return {};
        return {match.captured(4).toInt(), match.captured(5).toInt(), match.captured(2).toInt(),
                match.captured(3).toInt()};
    }
    // The icon's window, in decimal as xdotool gives window ids; empty while there is none.
    QString applicationIconWindow() const {
        const auto match = iconLine();
        return match.hasMatch() ? QString::number(match.captured(1).toULongLong(nullptr, 16)) : QString();
    }

private:
    QRegularExpressionMatch iconLine() const {
        const QString panel = panelId();
        if (panel.isEmpty()) return {};
        static const QRegularExpression icon(
            R"re((0x[0-9a-f]+) .*\("vellumcaster" "vellumcaster"\))re"
            R"re(\s+(\d+)x(\d+)[+-]\d+[+-]\d+\s+\+(-?\d+)\+(-?\d+))re");
        return icon.match(run("xwininfo", {"-tree", "-id", panel}));
    }

    static QString panelId() {
        static const QRegularExpression panel(R"re(^\s*(0x[0-9a-f]+) "panel")re", QRegularExpression::MultilineOption);
        return panel.match(run("xwininfo", {"-root", "-tree"})).captured(1);
    }

    QProcess process_;
};

// One run of the application binary with its output (stdout and stderr) collected in `log`. Models are looked for
// in the HOME of the moment and fetched from a port where nothing listens, as on a machine without network.
class AppProcess {
public:
    AppProcess() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VELLUMCASTER_MODEL_BASE_URL", "http://127.0.0.1:9/");
        environment.insert("QT_LOGGING_RULES", "vellumcaster.status.info=true");
        environment.remove("QT_QPA_PLATFORM");
        // A build under AddressSanitizer ends the process on any memory error; leaks of the libraries do not count.
        if (!environment.contains("ASAN_OPTIONS")) environment.insert("ASAN_OPTIONS", "detect_leaks=0");
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&process, &QProcess::readyRead, [this] { log += QString::fromUtf8(process.readAll()); });
    }
    ~AppProcess() {
        if (process.state() == QProcess::NotRunning) return;
        process.terminate();
        if (!process.waitForFinished(10000)) process.kill();
        process.waitForFinished(5000);
    }

    static QString binary() { return QString(VC_BINARY_DIR) + "/app/vellumcaster"; }

    void setEnvironment(const QString& name, const QString& value) {
        QProcessEnvironment environment = process.processEnvironment();
        environment.insert(name, value);
        process.setProcessEnvironment(environment);
    }

    bool start() {
        process.start(binary());
        return process.waitForStarted();
    }

    // Waits for the process to end by itself; whether it ended in time with status 0 (and not by a signal).
    bool endsWithStatusZero(int milliseconds) {
        if (!waitFor([this] { return process.state() == QProcess::NotRunning; }, milliseconds)) return false;
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    // The status image set last.
    QString lastImage() const {
        const int at = log.lastIndexOf("status image ");
        if (at < 0) return {};
        return log.mid(at + 13).section('\n', 0, 0).trimmed();
    }

    QProcess process;
    QString log;
};

}  // namespace shelltest
