// The application binary beside a sound server of the test's own that hangs (SIGSTOP) or goes away: its windows keep
// answering, a press fails within seconds and says why, and a recording that loses its server is told as stopped,
// without taking the focus from the window the user is typing in (a window manager hands the focus as a desktop does).

#include "AppProcess.h"
#include "ModelWriter.h"
#include "WindowManager.h"
#include "engine/Model.h"
#include "platform/InstanceChannel.h"
#include "duvidu/IngestServer.h"
#include "platform/SettingsStore.h"
#include "support/PrivateSoundServer.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <QLineEdit>

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <iostream>

namespace fs = std::filesystem;
using shelltest::AppProcess;
using shelltest::run;
using shelltest::waitFor;

namespace {

class SoundServerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the audio layer needs an X server: run under scripts/test";
        for (const char* program : {"xdotool", "openbox"})
            ASSERT_TRUE(shelltest::installed(program)) << program << " is missing";
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        // A tiny model under the default model's file name: a press gets as far as the recording.
        fs::create_directories(modelsFolderURL());
        const auto hp = recognizer::ModelWriter::preset("syn-a", true);
        ASSERT_TRUE(recognizer::ModelWriter(hp).write((modelsFolderURL() / modelFileName("small", "en")).string()));

        ASSERT_TRUE(windowManager.start()) << "openbox did not start";
        typing.show();
        // Asked for until the window manager has taken the window in.
        ASSERT_TRUE(waitFor(
            [&] { return typing.hasFocus() || (run("xdotool", {"windowactivate", typingWindow()}), false); }, 10000));

        server.start();
        app.setEnvironment("PULSE_SERVER", QString::fromStdString(server.address()));
        app.setEnvironment("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
        prepare();
        ASSERT_TRUE(app.start());
        // The device check (every 5 s) has reached the server once.
        ASSERT_TRUE(waitFor([this] { return app.log.contains("Updating to default device vc_restart"); }, 20000))
            << app.log.toStdString();
    }
    // What a test sets up before the application starts.
    virtual void prepare() {}
    void TearDown() override {
        server.resume();
        // An application that has ended has no process id: a signal to 0 would reach the whole process group.
        if (app.process.state() == QProcess::NotRunning) return;
        ::kill(pid_t(app.process.processId()), SIGTERM);
        EXPECT_TRUE(app.endsWithStatusZero(30000)) << app.log.toStdString();
    }

    // The shown windows of the application with this title.
    QStringList windows(const QString& title) const {
        const QString pid = QString::number(app.process.processId());
        return run("xdotool", {"search", "--all", "--onlyvisible", "--pid", pid, "--name", "^" + title + "$"})
            .split('\n', Qt::SkipEmptyParts);
    }
    bool shown(const QString& title) const { return !windows(title).isEmpty(); }
    void pressHotKey() { run("xdotool", {"key", "--clearmodifiers", "alt+space"}); }
    QString typingWindow() const { return QString::number(typing.winId()); }

    vctest::TempHome home;
    shelltest::WindowManager windowManager;
    // What the user is typing in.
    QLineEdit typing;
    fs::path runtime = home.path() / "runtime";
    vctest::PrivateSoundServer server{home.path() / "sound-server"};
    AppProcess app;
};

TEST_F(SoundServerTest, AHangingServerLeavesTheWindowsAnsweringAndAPressFailsWithinSeconds) {
    server.suspend();
    // The GUI thread answers on the instance socket; over three device checks, and a press of the hot key, it is
    // timed once every 100 ms or so.
    const fs::path socket = runtime / "vellumcaster.socket";
    QElapsedTimer clock;
    clock.start();
    qint64 slowest = 0, pressedAt = -1, failedAt = -1;
    int answered = 0, asked = 0;
    while (clock.elapsed() < 16000) {
        QElapsedTimer answer;
        answer.start();
        answered += InstanceChannel::ask(socket, "ping", 10000) == "unknown";
        ++asked;
        slowest = std::max(slowest, answer.elapsed());
        if (pressedAt < 0 && clock.elapsed() > 2000) {
            pressHotKey();
            pressedAt = clock.elapsed();
        }
        if (pressedAt >= 0 && failedAt < 0 && shown("Could not start recording")) failedAt = clock.elapsed();
        waitFor([] { return false; }, 100);
    }
    std::cout << "GUI thread answers while the sound server is stopped: " << answered << " of " << asked
              << ", the slowest in " << slowest << " ms; a press failed after " << failedAt - pressedAt << " ms"
              << std::endl;
    RecordProperty("slowestAnswerMilliseconds", int(slowest));
    RecordProperty("pressToFailureMilliseconds", int(failedAt - pressedAt));
    EXPECT_EQ(answered, asked);
    EXPECT_LT(slowest, 500);
    ASSERT_GE(failedAt, 0) << app.log.toStdString();
    EXPECT_LT(failedAt - pressedAt, 6000);
    EXPECT_TRUE(app.log.contains("did not answer within 1000 ms")) << app.log.toStdString();
}

TEST_F(SoundServerTest, AServerLostDuringARecordingIsToldAsAStoppedRecording) {
    // The recording window, untitled as the menu window, shows once the recording runs.
    const QStringList menu = windows("Vellumcaster");
    QStringList recording;
    pressHotKey();
    ASSERT_TRUE(waitFor(
        [&] {
            recording = windows("Vellumcaster");
            for (const QString& id : menu) recording.removeAll(id);
            return !recording.isEmpty();
        },
        20000))
        << app.log.toStdString();
    server.stop();
    QStringList notice;
    ASSERT_TRUE(waitFor([&] { return !(notice = windows("Recording stopped")).isEmpty(); }, 10000))
        << app.log.toStdString();
    // The notice comes between the press and the paste, which goes to the focused window: it leaves the focus there.
    waitFor([this] { return shelltest::WindowManager::focusedWindow() != typingWindow(); }, 1000);
    EXPECT_EQ(shelltest::WindowManager::focusedWindow(), typingWindow()) << "the notice took the focus";
    // The recording window, still shown, does not hide the notice.
    const QStringList stacking = shelltest::WindowManager::stacking();
    ASSERT_TRUE(stacking.contains(recording.front()) && stacking.contains(notice.front()));
    EXPECT_GT(stacking.indexOf(notice.front()), stacking.indexOf(recording.front()))
        << "the notice is under the recording window";
    EXPECT_FALSE(shown("Could not start recording"));
    EXPECT_TRUE(app.log.contains("Audio capture stopped: the connection to the sound server broke"))
        << app.log.toStdString();
}

// With error reporting on and a reporting service that takes the requests and never answers.
class SoundServerQuitTest : public SoundServerTest {
protected:
    void prepare() override {
        collector.answer(duvidutest::IngestServer::Answer::NeverAnswer);
        SettingsStore(SettingsStore::standardFile()).setBool("errorLoggingEnabled", true);
        app.setEnvironment("DUVIDU_DSN", QString::fromStdString(collector.dsn()));
    }

    duvidutest::IngestServer collector;
};

TEST_F(SoundServerQuitTest, SigtermDuringAPressOnAHungServerEndsWithinTwoSecondsThoughTheServiceNeverAnswers) {
    // The start's session is on its way to the service, which holds it.
    ASSERT_TRUE(waitFor([this] { return collector.requestCount() > 0; }, 20000)) << app.log.toStdString();
    server.suspend();
    pressHotKey();
    // The press's task waits for the server.
    ASSERT_TRUE(waitFor([this] { return app.log.contains("status image IconLoading"); }, 10000))
        << app.log.toStdString();
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(app.process.processId()), SIGTERM);
    const bool ended = app.endsWithStatusZero(5000);
    std::cout << "SIGTERM ended the application after " << clock.elapsed() << " ms" << std::endl;
    RecordProperty("sigtermToEndMilliseconds", int(clock.elapsed()));
    ASSERT_TRUE(ended) << app.log.toStdString();
    EXPECT_LT(clock.elapsed(), 2000) << app.log.toStdString();
}

}  // namespace
