// The application binary as a user meets it: started beside a tray host or without one, quit from its menu or by a
// signal, started twice, and started without a model or network. scripts/test runs these once more on a build under
// AddressSanitizer.

#include "AppProcess.h"
#include "StalledOutput.h"
#include "WindowManager.h"
#include "platform/InstanceChannel.h"
#include "platform/SettingsStore.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <QLineEdit>

#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

namespace fs = std::filesystem;
using shelltest::AppProcess;
using shelltest::run;
using shelltest::waitFor;

namespace {

// The sockets a process has open: its connections, its listening socket and its X connection.
int openSockets(qint64 pid) {
    std::error_code ec;
    int count = 0;
    for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", ec), end; !ec && it != end; it.increment(ec))
        count += fs::read_symlink(it->path(), ec).string().starts_with("socket:");
    return count;
}

// A local process that opens `count` connections to the socket and holds them: a connection that the listener's
// queue refuses for the moment is tried again, with `meanwhile` run in between. The connections it made.
std::vector<int> flood(const fs::path& socket, int count, const std::function<void()>& meanwhile) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.c_str(), sizeof(address.sun_path) - 1);
    std::vector<int> connections;
    QElapsedTimer clock;
    clock.start();
    while (int(connections.size()) < count && clock.elapsed() < 60000) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) break;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
            connections.push_back(fd);
            continue;
        }
        ::close(fd);
        meanwhile();
    }
    return connections;
}

class AppProcessTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the x11 layer needs an X server: run under scripts/test";
        vctest::requireHostPrograms({"trayer", "xdotool", "xwininfo"});
        ASSERT_TRUE(fs::exists(AppProcess::binary().toStdString()));
        // A runtime folder of its own, for the single-instance lock.
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        ASSERT_TRUE(tray.start()) << "trayer did not take the tray";
    }

    // Starts `app` and waits for its icon in the tray; how long that took in milliseconds, or -1.
    qint64 launch(AppProcess& app) {
        app.setEnvironment("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
        QElapsedTimer clock;
        clock.start();
        if (!app.start()) return -1;
        if (!waitFor([this] { return !tray.applicationIcon().isEmpty(); }, 30000)) return -1;
        return clock.elapsed();
    }

    // Right-clicks the application's icon; whether its menu opened.
    bool openMenu() {
        const QRect icon = tray.applicationIcon();
        run("xdotool",
            {"mousemove", QString::number(icon.center().x()), QString::number(icon.center().y()), "click", "3"});
        const auto menuShown = [] {
            return run("xwininfo", {"-root", "-children"}).contains("(\"vellumcaster\" \"vellumcaster\")");
        };
        if (!waitFor(menuShown, 5000)) return false;
        waitFor([] { return false; }, 300);  // the menu takes the keyboard once it is up
        return true;
    }

    static void signal(AppProcess& app, int number) { ::kill(pid_t(app.process.processId()), number); }

    static QStringList titled(const AppProcess& app, const QString& title) {
        return shelltest::titledWindows(app.process.processId(), title);
    }

    // The first `count` shown windows of the process whose title is `title`, one a line, or empty.
    static QString window(const AppProcess& app, const QString& title, int count = 1) {
        return run("xdotool", {"search", "--onlyvisible", "--pid", QString::number(app.process.processId()),
                               "--name", "^" + title + "$"})
            .section('\n', 0, count - 1)
            .trimmed();
    }

    vctest::TempHome home;
    fs::path runtime = home.path() / "runtime";
    shelltest::TrayHost tray;
};

TEST_F(AppProcessTest, QuitFromTheTrayMenuEndsWithStatusZero) {
    AppProcess app;
    const qint64 toIcon = launch(app);
    ASSERT_GE(toIcon, 0) << app.log.toStdString();
    std::cout << "time from start to tray icon shown: " << toIcon << " ms" << std::endl;
    RecordProperty("startToTrayIconMilliseconds", int(toIcon));

    ASSERT_TRUE(openMenu()) << "the menu did not open";
    run("xdotool", {"key", "Up", "Return"});  // "Quit" is the last item
    EXPECT_TRUE(app.endsWithStatusZero(30000)) << app.log.toStdString();
}

TEST_F(AppProcessTest, MenuShortcutsWorkInTheApplicationsWindows) {
    AppProcess app;
    ASSERT_GE(launch(app), 0) << app.log.toStdString();
    ASSERT_TRUE(openMenu()) << "the menu did not open";
    run("xdotool", {"key", "Down", "Down", "Return"});  // "View dictation history"
    // The tray icon is a window of the application too.
    const auto windows = [&, icon = tray.applicationIconWindow()] {
        QStringList shown = window(app, "Vellumcaster", 10).split('\n', Qt::SkipEmptyParts);
        shown.removeAll(icon);
        return shown;
    };
    ASSERT_TRUE(waitFor([&] { return windows().size() == 1; }, 10000)) << app.log.toStdString();
    const QString history = windows().front();

    run("xdotool", {"windowfocus", "--sync", history, "key", "ctrl+comma"});
    ASSERT_TRUE(waitFor([&] { return windows().size() == 2; }, 10000)) << "Ctrl+, opened no Settings window";
    run("xdotool", {"windowfocus", "--sync", history, "key", "ctrl+q"});
    EXPECT_TRUE(app.endsWithStatusZero(30000)) << app.log.toStdString();
}

TEST_F(AppProcessTest, TerminateAndInterruptSignalsEndItAsQuitDoes) {
    for (const int number : {SIGTERM, SIGINT}) {
        AppProcess app;
        ASSERT_GE(launch(app), 0) << app.log.toStdString();
        signal(app, number);
        EXPECT_TRUE(app.endsWithStatusZero(30000)) << "signal " << number << "\n" << app.log.toStdString();
    }
}

// A settings file within its cap that leaves the application no room for its own settings is moved aside at start,
// like one over the cap: what the run stores (its first launch) is kept for the next.
TEST_F(AppProcessTest, ASettingsFileThatLeavesNoRoomIsMovedAsideAndTheRunsChangesAreKept) {
    const fs::path file = home.config() / "vellumcaster" / "settings.json";
    fs::create_directories(file.parent_path());
    const std::string head = "{\"notes\": \"";
    std::ofstream(file) << head << std::string(1048575 - head.size() - 2, 'x') << "\"}";
    ASSERT_EQ(fs::file_size(file), 1048575u);
    AppProcess app;
    ASSERT_GE(launch(app), 0) << app.log.toStdString();
    signal(app, SIGTERM);
    ASSERT_TRUE(app.endsWithStatusZero(30000)) << app.log.toStdString();
    EXPECT_TRUE(app.log.contains("moved it to " + QString::fromStdString(file.string()) + ".unreadable-"))
        << app.log.toStdString();
    EXPECT_EQ(SettingsStore(file).storedBool("hasLaunchedBefore"), true) << app.log.toStdString();
}

TEST_F(AppProcessTest, SecondStartSaysItIsRunningAndACrashedOneLeavesNoLock) {
    AppProcess first;
    ASSERT_GE(launch(first), 0) << first.log.toStdString();

    AppProcess second;
    second.setEnvironment("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
    ASSERT_TRUE(second.start());
    EXPECT_TRUE(waitFor([&] { return second.log.contains("Vellumcaster is already running"); }, 20000))
        << second.log.toStdString();
    QString dialog;
    ASSERT_TRUE(waitFor([&] { return !(dialog = window(second, "Vellumcaster")).isEmpty(); }, 20000));
    EXPECT_FALSE(second.log.contains("status image")) << "the second instance set up a tray icon";
    run("xdotool", {"windowfocus", "--sync", dialog, "key", "Return"});
    EXPECT_TRUE(second.endsWithStatusZero(20000)) << second.log.toStdString();

    // The first instance dies without cleaning up; the next start runs normally.
    signal(first, SIGKILL);
    ASSERT_TRUE(waitFor([&] { return first.process.state() == QProcess::NotRunning; }, 10000));
    AppProcess third;
    ASSERT_GE(launch(third), 0) << third.log.toStdString();
    EXPECT_FALSE(third.log.contains("already running"));
    signal(third, SIGTERM);
    EXPECT_TRUE(third.endsWithStatusZero(30000)) << third.log.toStdString();
}

// The start's limit is for a start that is stuck, not for a box that waits for the user: under a window manager, the
// second start's box is still there past the limit, and its OK ends the process with status 0.
TEST_F(AppProcessTest, SecondStartsBoxWaitsForTheUserPastTheStartLimit) {
    shelltest::WindowManager windowManager;
    ASSERT_TRUE(windowManager.start()) << "openbox did not start";
    AppProcess first;
    ASSERT_GE(launch(first), 0) << first.log.toStdString();

    AppProcess second;
    second.setEnvironment("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
    constexpr int startLimitMs = 5000;  // short, and still ample for a start under a sanitizer
    second.setEnvironment("VELLUMCASTER_START_LIMIT_MS", QString::number(startLimitMs));
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(second.start());
    QStringList box;
    ASSERT_TRUE(waitFor([&] { return !(box = titled(second, "Vellumcaster")).isEmpty(); }, 20000))
        << second.log.toStdString();
    const auto ended = [&] { return second.process.state() == QProcess::NotRunning; };
    EXPECT_FALSE(waitFor(ended, std::max<qint64>(startLimitMs - clock.elapsed(), 0) + 2000))
        << "the box went by itself\n"
        << second.log.toStdString();
    ASSERT_EQ(titled(second, "Vellumcaster"), box);
    RecordProperty("boxShownMilliseconds", int(clock.elapsed()));

    shelltest::clickOk(box.front());
    EXPECT_TRUE(second.endsWithStatusZero(3000)) << second.log.toStdString();
    EXPECT_FALSE(second.log.contains("could not finish starting")) << second.log.toStdString();
    EXPECT_FALSE(first.log.contains("could not finish starting")) << first.log.toStdString();
}

TEST_F(AppProcessTest, SecondStartsDialogEndsOnTerminateAndInterruptSignals) {
    AppProcess first;
    ASSERT_GE(launch(first), 0) << first.log.toStdString();
    for (const int number : {SIGTERM, SIGINT}) {
        AppProcess second;
        second.setEnvironment("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
        ASSERT_TRUE(second.start());
        ASSERT_TRUE(waitFor([&] { return !window(second, "Vellumcaster").isEmpty(); }, 20000))
            << second.log.toStdString();
        signal(second, number);
        EXPECT_TRUE(second.endsWithStatusZero(5000)) << "signal " << number << "\n" << second.log.toStdString();
    }
}

TEST_F(AppProcessTest, WithoutATrayTheMenuIsAWindowThatLeavesTheFocusAloneAndASecondStartBringsBack) {
    tray.stop();
    shelltest::WindowManager windowManager;
    ASSERT_TRUE(windowManager.start()) << "openbox did not start";
    // What the user is typing in while the application starts at login.
    QLineEdit typing;
    ASSERT_TRUE(shelltest::WindowManager::showFocused(typing));
    const QString typingWindow = QString::number(typing.winId());
    ASSERT_EQ(shelltest::WindowManager::focusedWindow(), typingWindow);

    AppProcess app;
    app.setEnvironment("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
    ASSERT_TRUE(app.start());
    const auto shown = [&] { return titled(app, "Vellumcaster"); };
    ASSERT_TRUE(waitFor([&] { return shown().size() == 1; }, 20000)) << app.log.toStdString();
    QString menu = shown().front();
    EXPECT_TRUE(app.log.contains("No system tray found")) << app.log.toStdString();
    EXPECT_EQ(shelltest::WindowManager::focusedWindow(), typingWindow) << "the menu window took the focus";

    // Each item by mouse, in the order of the menu; the window is not one the keyboard can reach.
    const auto choose = [&](int buttonsAbove, int linesAbove) {
        shelltest::clickMenuWindowItem(menu, buttonsAbove, linesAbove);
    };
    choose(0, 0);  // "Start dictating": there is no model, which a notice tells
    QStringList notice;
    ASSERT_TRUE(waitFor([&] { return !(notice = titled(app, "Speech model missing")).isEmpty(); }, 20000))
        << app.log.toStdString();
    EXPECT_EQ(shelltest::WindowManager::focusedWindow(), typingWindow) << "a click on the menu window took the focus";
    shelltest::clickOk(notice.front());
    EXPECT_TRUE(waitFor([&] { return titled(app, "Speech model missing").isEmpty(); }, 10000));
    choose(1, 0);  // "View dictation history"
    EXPECT_TRUE(waitFor([&] { return shown().size() == 2; }, 10000)) << app.log.toStdString();
    choose(3, 1);  // past the version, "Check for Updates...", whose dialog takes the keyboard
    QStringList dialog;
    ASSERT_TRUE(waitFor([&] { return !(dialog = titled(app, "Check for Updates")).isEmpty(); }, 20000));
    run("xdotool",
        {"windowactivate", "--sync", dialog.front(), "windowfocus", "--sync", dialog.front(), "key", "Return"});
    EXPECT_TRUE(waitFor([&] { return titled(app, "Check for Updates").isEmpty(); }, 10000));
    choose(4, 1);  // "Settings..."
    EXPECT_TRUE(waitFor([&] { return shown().size() == 3; }, 10000)) << app.log.toStdString();

    // Closed, the window goes; the application runs on, and a second start brings the window back.
    shelltest::WindowManager::clickClose(menu);
    ASSERT_TRUE(waitFor([&] { return !shown().contains(menu); }, 10000));
    const QStringList others = shown();
    AppProcess second;
    second.setEnvironment("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
    ASSERT_TRUE(second.start());
    EXPECT_TRUE(second.endsWithStatusZero(10000)) << second.log.toStdString();
    EXPECT_TRUE(second.log.contains("the running instance shows its menu window")) << second.log.toStdString();
    ASSERT_TRUE(waitFor([&] { return shown().size() == 3; }, 10000)) << app.log.toStdString();
    for (const QString& id : shown()) {
        if (!others.contains(id)) menu = id;
    }

    choose(5, 2);  // "Quit"
    EXPECT_TRUE(app.endsWithStatusZero(30000)) << app.log.toStdString();
}

// A tray host that starts after the application, as at login: the icon goes into the tray and the menu window, which
// stood in for it, goes away; it comes back when the tray does.
TEST_F(AppProcessTest, ATrayThatComesLaterTakesTheMenuWindowsPlaceUntilItGoes) {
    tray.stop();
    AppProcess app;
    app.setEnvironment("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
    ASSERT_TRUE(app.start());
    QStringList shown;
    ASSERT_TRUE(waitFor([&] { return (shown = titled(app, "Vellumcaster")).size() == 1; }, 20000))
        << app.log.toStdString();
    const QString menu = shown.front();

    ASSERT_TRUE(tray.start()) << "trayer did not take the tray";
    ASSERT_TRUE(waitFor([this] { return !tray.applicationIcon().isEmpty(); }, 20000)) << app.log.toStdString();
    EXPECT_TRUE(waitFor([&] { return !titled(app, "Vellumcaster").contains(menu); }, 10000))
        << "the menu window stayed beside the tray icon";

    tray.stop();
    EXPECT_TRUE(waitFor([&] { return titled(app, "Vellumcaster").contains(menu); }, 10000))
        << "the menu window did not come back without the tray\n"
        << app.log.toStdString();

    signal(app, SIGTERM);
    EXPECT_TRUE(app.endsWithStatusZero(30000)) << app.log.toStdString();
}

// Standard output and error into a pipe that is full from the start and never read, status lines on: the start
// completes, and the instance answers on its socket as a second start would ask it; SIGTERM ends it within 2 s.
TEST_F(AppProcessTest, AnOutputThatNobodyReadsStopsNeitherTheStartNorTheQuit) {
    AppProcess app;
    shelltest::StalledOutput output(app);
    ASSERT_TRUE(output.stall());
    app.setEnvironment("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(app.start());
    const fs::path socket = runtime / "vellumcaster.socket";
    const auto answers = [&] { return InstanceChannel::ask(socket, "answer?", 1000).has_value(); };
    const auto running = [&] { return app.process.state() != QProcess::NotRunning; };
    ASSERT_TRUE(waitFor([&] { return answers() || !running(); }, 12000))
        << "neither an answer nor an end within 12 s";
    ASSERT_TRUE(running()) << "it ended by itself, with status " << app.process.exitCode();
    RecordProperty("startToAnswerMilliseconds", int(clock.elapsed()));

    clock.restart();
    signal(app, SIGTERM);
    EXPECT_TRUE(app.endsWithStatusZero(2000)) << "SIGTERM did not end it within 2 s";
    RecordProperty("sigtermToEndMilliseconds", int(clock.elapsed()));
}

TEST_F(AppProcessTest, FirstStartWithoutNetworkNamesTheMissingModelFile) {
    AppProcess app;
    ASSERT_GE(launch(app), 0) << app.log.toStdString();
    const QString missing = QString("The speech model file ggml-small.en.bin is not in %1")
                                .arg(QString::fromStdString((home.data() / "vellumcaster").string()));
    const QRegularExpression atStart("The default speech model could not be downloaded \\(.+\\)\\. " +
                                     QRegularExpression::escape(missing));
    EXPECT_TRUE(waitFor([&] { return app.log.contains(atStart); }, 20000)) << app.log.toStdString();

    // The first dictation says the same, in a dialog, instead of blaming the machine's resources.
    run("xdotool", {"key", "--clearmodifiers", "alt+space"});
    EXPECT_TRUE(waitFor([&] { return !window(app, "Speech model missing").isEmpty(); }, 20000))
        << app.log.toStdString();
    EXPECT_EQ(app.log.count(missing), 2) << app.log.toStdString();
    EXPECT_FALSE(app.log.contains("resource intensive"));
    EXPECT_TRUE(waitFor([&] { return app.lastImage() == "Icon"; }, 5000)) << app.log.toStdString();

    signal(app, SIGTERM);
    EXPECT_TRUE(app.endsWithStatusZero(30000)) << app.log.toStdString();
}

TEST_F(AppProcessTest, ABurstOfConnectionsUnderTheUsualDescriptorLimitLeavesItWorkingAndQuittable) {
    tray.stop();  // a second start then asks the running instance
    AppProcess app;
    app.setEnvironment("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
    app.process.setChildProcessModifier([] {
        const rlimit limit{1024, 1024};
        ::setrlimit(RLIMIT_NOFILE, &limit);
    });
    ASSERT_TRUE(app.start());
    // The channel listens once start-up has finished, and with it the hot key's registration, its last step: a press
    // made from then on reaches the application.
    const fs::path socket = runtime / "vellumcaster.socket";
    ASSERT_TRUE(waitFor([&] { return fs::is_socket(socket) && app.log.contains("status image Icon"); }, 20000))
        << app.log.toStdString();
    const qint64 pid = app.process.processId();
    const int before = openSockets(pid);

    // This process holds more connections than the application may open files.
    rlimit own{};
    ::getrlimit(RLIMIT_NOFILE, &own);
    own.rlim_cur = std::max<rlim_t>(own.rlim_cur, 4096);
    own.rlim_max = std::max(own.rlim_max, own.rlim_cur);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &own), 0);
    int most = before;
    const auto watch = [&] { most = std::max(most, openSockets(pid)); };
    std::vector<int> connections = flood(socket, 600, watch);
    // A dictation pressed during the burst gets as far as it can without a model, and says why it stops.
    run("xdotool", {"key", "--clearmodifiers", "alt+space"});
    const std::vector<int> more = flood(socket, 600, watch);
    connections.insert(connections.end(), more.begin(), more.end());
    const auto missing = [&] { return !window(app, "Speech model missing").isEmpty(); };
    EXPECT_TRUE(waitFor([&] { return watch(), missing(); }, 20000)) << app.log.toStdString();
    std::cout << connections.size() << " connections made by the peer; the application's sockets: " << before
              << " before, at most " << most << " during the burst" << std::endl;
    RecordProperty("connectionsHeldAtMost", most - before);
    EXPECT_EQ(connections.size(), 1200u);
    EXPECT_LE(most - before, InstanceChannel::maxHeldConnections + 1)  // and the one being closed
        << "the application held more connections than its cap";
    EXPECT_TRUE(app.log.contains("the ones that waited longest for their request are closed unanswered"))
        << app.log.toStdString();

    // The socket stays, and once the held connections have timed out a second start reaches the running instance.
    EXPECT_TRUE(fs::is_socket(socket));
    ASSERT_TRUE(waitFor([&] { return openSockets(pid) <= before; }, 15000))
        << run("ls", {"-l", QString("/proc/%1/fd").arg(pid)}).toStdString();
    AppProcess second;
    second.setEnvironment("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
    ASSERT_TRUE(second.start());
    EXPECT_TRUE(second.endsWithStatusZero(10000)) << second.log.toStdString();
    EXPECT_TRUE(second.log.contains("the running instance shows its menu window")) << second.log.toStdString();
    for (const int fd : connections) ::close(fd);

    signal(app, SIGTERM);
    EXPECT_TRUE(app.endsWithStatusZero(30000)) << app.log.toStdString();
}

}  // namespace
