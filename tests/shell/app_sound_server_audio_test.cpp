// The application binary beside a sound server of the test's own that hangs (SIGSTOP) or goes away: its windows keep
// answering (at the start, during a recording, after a stopping press that plays the completion sound, during Play in
// History), a press fails within seconds and says why, and a recording that loses its server is told as stopped,
// without taking the focus from the window the user is typing in (a window manager hands the focus as a desktop does).
// Also Play in History with the threads the system refuses.

#include "AppProcess.h"
#include "ModelWriter.h"
#include "WindowManager.h"
#include "engine/Model.h"
#include "engine/Recording.h"
#include "engine/RecordingMetadata.h"
#include "engine/WavFile.h"
#include "platform/InstanceChannel.h"
#include "duvidu/IngestServer.h"
#include "platform/SettingsStore.h"
#include "support/PidsCgroup.h"
#include "support/PrivateSoundServer.h"
#include "support/PrivateXServer.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QtEndian>

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace fs = std::filesystem;
using shelltest::AppProcess;
using shelltest::run;
using shelltest::waitFor;

namespace {

// How the GUI thread answered on the instance socket while a test asked it, once every 100 ms or so.
struct Answers {
    int asked = 0;
    int answered = 0;
    qint64 slowest = 0;  // milliseconds

    // Asks once; whether the answer came.
    bool ask(const fs::path& socket) {
        QElapsedTimer answer;
        answer.start();
        const bool came = InstanceChannel::ask(socket, "ping", 10000) == "unknown";
        ++asked;
        answered += came;
        slowest = std::max(slowest, answer.elapsed());
        return came;
    }
    // Asks until `done` holds or `milliseconds` have passed; whether it held.
    bool askUntil(const fs::path& socket, const std::function<bool()>& done, int milliseconds) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < milliseconds) {
            ask(socket);
            if (done()) return true;
            waitFor([] { return false; }, 100);
        }
        return false;
    }
};

class SoundServerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the audio layer needs an X server: run under scripts/test";
        vctest::requireHostPrograms({"xdotool", "openbox", "xwd", "espeak-ng", "sox", "pactl"});
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
        app.setEnvironment("VELLUMCASTER_DEVICE_CHECK_MS", QString::number(deviceCheckMs));
        app.setEnvironment("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
        ASSERT_NO_FATAL_FAILURE(prepare());
        if (startsWithTheServerStopped) return;
        ASSERT_TRUE(app.start());
        // The device check has reached the server once.
        ASSERT_TRUE(waitFor([this] { return app.log.contains("Updating to default device vc_restart"); }, 20000))
            << app.log.toStdString();
    }
    // What a test sets up before the application starts.
    virtual void prepare() {}
    void TearDown() override {
        server.resume();
        // A process that has ended has no id: a signal to id 0 would go to the test's own process group.
        if (app.process.state() == QProcess::NotRunning) return;
        ::kill(pid_t(app.process.processId()), SIGTERM);
        EXPECT_TRUE(app.endsWithStatusZero(30000)) << app.log.toStdString();
    }

    // The shown windows of the application with this title.
    QStringList windows(const QString& title) const { return shelltest::titledWindows(app.process.processId(), title); }
    bool shown(const QString& title) const { return !windows(title).isEmpty(); }
    void pressHotKey() { run("xdotool", {"key", "--clearmodifiers", "alt+space"}, appDisplay); }
    QString typingWindow() const { return QString::number(typing.winId()); }

    // Presses the hot key and waits for the recording window, untitled as the menu window, which shows once the
    // recording runs; the recording window.
    QString startRecording() {
        const QStringList menu = windows("Vellumcaster");
        QStringList recording;
        pressHotKey();
        waitFor(
            [&] {
                recording = windows("Vellumcaster");
                for (const QString& id : menu) recording.removeAll(id);
                return !recording.isEmpty();
            },
            20000);
        return recording.value(0);
    }

    // Speech into the server's microphone: less than its pipe holds, so that the write never waits for the server.
    void speak() {
        const QString folder = QString::fromStdString(home.path().string());
        ASSERT_EQ(QProcess::execute(shelltest::hostProgram("sh"), {"-c", QString("espeak-ng -w '%1/speech.wav' 'hello world this is a test' && "
                                                         "sox '%1/speech.wav' -r 16000 -c 1 -b 16 -e signed -t raw "
                                                         "'%1/speech.raw' trim 0 1.5 && cat '%1/speech.raw' > '%2'")
                                                     .arg(folder, QString::fromStdString(server.fifo()))}),
                  0);
    }

    // Waits until the speech written by speak() has reached the application: the server has taken it out of its pipe,
    // and then answered a command, which it does after passing on to its clients what it read before.
    void awaitSpeechReceived() {
        ASSERT_TRUE(waitFor([this] { return shelltest::pipeDrained(server.fifo()); }, 10000))
            << "the server did not take the speech\n"
            << app.log.toStdString();
        ASSERT_EQ(QProcess::execute(shelltest::hostProgram("pactl"),
                                    {"--server", QString::fromStdString(server.address()), "info"}),
                  0);
    }

    // The dictation of a stored three-second tone, for History.
    static void storeDictation() {
        RecordingMetadata record = RecordingMetadata::defaultRecord();
        record.datetime = "2023-11-14T22:13:20";
        record.duration = 3000;
        record.result = "hello world";
        const fs::path folder = makeRecordingFolder(1700000000);
        std::ofstream(folder / "meta.json", std::ios::binary) << record.encode();
        std::vector<float> tone(48000);
        for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = 0.3f * std::sin(float(i) * 0.17f);
        writeWavFile(tone, folder / "output.wav", 16000);
    }

    // Opens History from the menu window; the history window.
    QString openHistory() {
        const QStringList before = windows("Vellumcaster");
        if (before.isEmpty()) return {};
        shelltest::clickMenuWindowItem(before.front(), 1, 0);  // "View dictation history"
        QString history;
        waitFor(
            [&] {
                for (const QString& id : windows("Vellumcaster"))
                    if (!before.contains(id) && shelltest::windowGeometry(id).width() == 800) history = id;
                return !history.isEmpty();
            },
            10000);
        return history;
    }

    // Clicks Play in the detail of the newest dictation. The list loads off the GUI thread, and the detail shows once
    // it has; the play button is the first dark thing in the row of the RECORDING panel (the list column before it is
    // as wide as its cards' texts make it).
    static void clickPlay(const QString& history) {
        int playAt = -1;
        ASSERT_TRUE(waitFor([&] { return (playAt = firstDarkPixel(history, 85)) >= 0; }, 10000));
        shelltest::click(history, {playAt + 12, 85});
    }

    // The first x from the left at which a pixel of `window`'s row `y` is nearly black; -1 for none.
    static int firstDarkPixel(const QString& window, int y) {
        QProcess xwd;
        xwd.start(shelltest::hostProgram("xwd"), {"-id", window, "-silent"});
        xwd.waitForFinished(10000);
        const QByteArray image = xwd.readAllStandardOutput();
        // The dump's header: 25 big-endian 32-bit fields, then the window's name and the colour map; a pixel takes 4
        // bytes on the test's screen.
        const auto field = [&](int i) { return qFromBigEndian<quint32>(image.constData() + 4 * i); };
        if (image.size() < 100 || field(12) < 4 * field(4)) return -1;
        const qint64 start = qint64(field(0)) + 12 * qint64(field(19)) + qint64(field(12)) * y;
        for (quint32 x = 0; x < field(4) && start + 4 * x + 3 < image.size(); ++x) {
            const auto* pixel = reinterpret_cast<const uchar*>(image.constData() + start + 4 * x);
            if (pixel[0] < 60 && pixel[1] < 60 && pixel[2] < 60) return int(x);
        }
        return -1;
    }

    fs::path socket() const { return runtime / "vellumcaster.socket"; }

    // Prints and records how the GUI thread answered `when`, and expects it to have answered every time within a
    // second.
    static void expectAnswered(const Answers& answers, const std::string& when) {
        std::cout << answers.answered << " of " << answers.asked << " answered " << when << ", the slowest in "
                  << answers.slowest << " ms" << std::endl;
        RecordProperty("slowestAnswerMilliseconds", int(answers.slowest));
        EXPECT_EQ(answers.answered, answers.asked) << when;
        EXPECT_LT(answers.slowest, 1000) << when;
    }

    // The device check runs this often here, instead of every 5 s, so that the tests need not wait one out.
    static constexpr int deviceCheckMs = 500;

    bool startsWithTheServerStopped = false;
    // The X server the application is on, when not the test's (see pressHotKey).
    QString appDisplay;

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
    // The GUI thread answers on the instance socket; over a press of the hot key, its failure and at least three
    // device checks, it is timed once every 100 ms or so.
    const fs::path socket = runtime / "vellumcaster.socket";
    QElapsedTimer clock;
    clock.start();
    qint64 slowest = 0, pressedAt = -1, failedAt = -1;
    int answered = 0, asked = 0;
    while (clock.elapsed() < 16000 &&
           !(failedAt >= 0 && clock.elapsed() > std::max<qint64>(failedAt + 1000, 3 * deviceCheckMs))) {
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

// With error reporting on and a reporting service that takes the requests and never answers, the application on an
// X server of the test's own. A quit has two bounds, each checked on its own: error reporting's close gets what is left
// of the quit's deadline but a margin, so that the quit ends by itself in time; and whatever still holds the quit at
// the deadline (1.8 s) is ended there, with a log line that only that end writes.
class SoundServerQuitTest : public SoundServerTest {
protected:
    void prepare() override {
        collector.answer(duvidutest::IngestServer::Answer::NeverAnswer);
        SettingsStore(SettingsStore::standardFile()).setBool("errorLoggingEnabled", true);
        app.setEnvironment("DUVIDU_DSN", QString::fromStdString(collector.dsn()));
        appDisplay = QString::fromStdString(xServer.start());
        ASSERT_FALSE(appDisplay.isEmpty()) << "the application's X server did not start";
        app.setEnvironment("DISPLAY", appDisplay);
    }

    // Sends SIGTERM and waits up to 5 s for the end; how long it took in milliseconds, -1 when it did not end.
    qint64 sigtermToEnd() {
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(app.process.processId()), SIGTERM);
        const bool ended = waitFor([this] { return app.process.state() == QProcess::NotRunning; }, 5000);
        const qint64 elapsed = clock.elapsed();
        std::cout << "SIGTERM ended the application after " << (ended ? elapsed : -1) << " ms" << std::endl;
        RecordProperty("sigtermToEndMilliseconds", int(ended ? elapsed : -1));
        return ended ? elapsed : -1;
    }
    bool endedWithStatusZero() const {
        return app.process.exitStatus() == QProcess::NormalExit && app.process.exitCode() == 0;
    }
    // Written only by the end at the quit's deadline.
    bool forcedEnd() const { return app.log.contains("had not ended 1800 ms after the quit began"); }

    duvidutest::IngestServer collector;
    vctest::PrivateXServer xServer;
};

// The close's share: the press's task waits for the hung sound server and the service never answers, yet the quit
// ends by itself before its deadline.
TEST_F(SoundServerQuitTest, SigtermDuringAPressOnAHungServerEndsWithinTwoSecondsThoughTheServiceNeverAnswers) {
    // The start's session is on its way to the service, which holds it.
    ASSERT_TRUE(waitFor([this] { return collector.requestCount() > 0; }, 20000)) << app.log.toStdString();
    server.suspend();
    pressHotKey();
    // The press's task waits for the server.
    ASSERT_TRUE(waitFor([this] { return app.log.contains("status image IconLoading"); }, 10000))
        << app.log.toStdString();
    const qint64 elapsed = sigtermToEnd();
    ASSERT_GE(elapsed, 0) << app.log.toStdString();
    EXPECT_TRUE(endedWithStatusZero()) << app.log.toStdString();
    EXPECT_LT(elapsed, 2000) << app.log.toStdString();
    EXPECT_FALSE(forcedEnd()) << "the quit did not end by itself before its deadline\n" << app.log.toStdString();
}

// The forced end: with its X server stopped, the application's quit waits for the server in the windows' teardown,
// and only the deadline ends it.
TEST_F(SoundServerQuitTest, SigtermWithTheXServerStoppedEndsAtTheQuitDeadline) {
    xServer.suspend();
    const qint64 elapsed = sigtermToEnd();
    xServer.resume();
    ASSERT_GE(elapsed, 0) << "the quit's deadline did not end the application\n" << app.log.toStdString();
    EXPECT_TRUE(forcedEnd()) << app.log.toStdString();
    EXPECT_TRUE(endedWithStatusZero()) << app.log.toStdString();
    EXPECT_LT(elapsed, 2000) << app.log.toStdString();
}

class StoppedServerAtStartTest : public SoundServerTest {
protected:
    StoppedServerAtStartTest() { startsWithTheServerStopped = true; }
};

// A server stopped before the start: the start completes at once, the GUI thread answers throughout, and the device
// check logs the outage once instead of taking it for an unplugged microphone.
TEST_F(StoppedServerAtStartTest, TheStartCompletesAndTheWindowsKeepAnswering) {
    // Up, then stopped: connections are taken and never answered.
    const QStringList info{"--server", QString::fromStdString(server.address()), "info"};
    ASSERT_TRUE(waitFor([&] { return QProcess::execute(shelltest::hostProgram("pactl"), info) == 0; }, 10000));
    server.suspend();
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(app.start());
    Answers answers;
    const bool up = answers.askUntil(socket(), [&] { return answers.answered > 0; }, 15000);
    const qint64 firstAnswer = clock.elapsed();
    answers = {};
    answers.askUntil(socket(), [] { return false; }, 4 * deviceCheckMs);  // over a few device checks
    std::cout << "first answer " << firstAnswer << " ms after the launch" << std::endl;
    RecordProperty("firstAnswerMilliseconds", int(firstAnswer));
    ASSERT_TRUE(up) << app.log.toStdString();
    EXPECT_LT(firstAnswer, 5000);
    expectAnswered(answers, "after the first answer");
    EXPECT_EQ(app.log.count("The audio input devices cannot be looked up"), 1) << app.log.toStdString();
    EXPECT_FALSE(app.log.contains("selectedDevice not available")) << app.log.toStdString();
}

// A server that hangs during a recording is told within about 2 s, as one that goes away; what was recorded until
// then is stored by the stopping press, and the completion sound that cannot play is skipped.
TEST_F(SoundServerTest, AServerThatHangsDuringARecordingIsToldAsAStoppedRecording) {
    ASSERT_FALSE(startRecording().isEmpty()) << app.log.toStdString();
    ASSERT_NO_FATAL_FAILURE(speak());
    ASSERT_NO_FATAL_FAILURE(awaitSpeechReceived());
    server.suspend();
    QElapsedTimer clock;
    clock.start();
    Answers answers;
    qint64 toldAt = -1;
    answers.askUntil(
        socket(),
        [&] {
            if (toldAt < 0 && shown("Recording stopped")) toldAt = clock.elapsed();
            return toldAt >= 0 && clock.elapsed() > toldAt + 1000;
        },
        15000);
    std::cout << "told " << toldAt << " ms after the server stopped" << std::endl;
    RecordProperty("stopToNoticeMilliseconds", int(toldAt));
    expectAnswered(answers, "after the server stopped");
    ASSERT_GE(toldAt, 0) << app.log.toStdString();
    EXPECT_LT(toldAt, 4000);
    EXPECT_TRUE(app.log.contains("Audio capture stopped: the sound server sent no samples and did not answer"))
        << app.log.toStdString();

    pressHotKey();
    fs::path stored;
    ASSERT_TRUE(waitFor(
        [&] {
            std::error_code ec;
            for (fs::directory_iterator it(recordingsDirectory(), ec), end; !ec && it != end; it.increment(ec))
                if (fs::exists(it->path() / "meta.json")) stored = it->path();
            return !stored.empty() && app.log.contains("Could not play the sound recording-complete");
        },
        60000))
        << app.log.toStdString();
    EXPECT_GT(fs::file_size(stored / "output.wav"), 44u + 2u * 16000u) << "the speech before the hang was not kept";
}

// The completion sound after a stopping press, with the server stopped meanwhile: skipped with a log line while the
// GUI thread answers.
TEST_F(SoundServerTest, ACompletionSoundThatCannotPlayIsSkippedWhileTheWindowsKeepAnswering) {
    ASSERT_FALSE(startRecording().isEmpty()) << app.log.toStdString();
    ASSERT_NO_FATAL_FAILURE(speak());
    ASSERT_NO_FATAL_FAILURE(awaitSpeechReceived());
    pressHotKey();
    server.suspend();
    Answers answers;
    const bool skipped = answers.askUntil(
        socket(), [this] { return app.log.contains("Could not play the sound recording-complete"); }, 30000);
    answers.askUntil(socket(), [] { return false; }, 2000);
    expectAnswered(answers, "after the stopping press");
    EXPECT_TRUE(app.log.contains("status image IconComplete")) << app.log.toStdString();
    EXPECT_TRUE(skipped) << app.log.toStdString();
}

class HistoryPlaybackTest : public SoundServerTest {
protected:
    void SetUp() override {
        storeDictation();
        SoundServerTest::SetUp();
    }
};

// Play in History with the server stopped: the windows keep answering and the playback says that it could not play.
TEST_F(HistoryPlaybackTest, PlayWithTheServerStoppedSaysSoWhileTheWindowsKeepAnswering) {
    const QString history = openHistory();
    ASSERT_FALSE(history.isEmpty()) << app.log.toStdString();
    server.suspend();
    ASSERT_NO_FATAL_FAILURE(clickPlay(history));
    Answers answers;
    const bool told = answers.askUntil(
        socket(), [this] { return app.log.contains("Could not play the recording"); }, 10000);
    answers.askUntil(socket(), [] { return false; }, 2000);
    expectAnswered(answers, "after Play");
    EXPECT_TRUE(told) << app.log.toStdString();
}

// Held at the tasks it has, or a few more, in a pids control group (which binds root too) from just before Play: the
// application neither ends nor freezes, and SIGTERM ends it within 2 s, the limit still in force.
class RefusedThreadsDuringPlayTest : public HistoryPlaybackTest, public testing::WithParamInterface<int> {
protected:
    vctest::PidsCgroup tasks{"vellumcaster-play-" + std::to_string(::getpid())};
};

TEST_P(RefusedThreadsDuringPlayTest, PlayNeitherEndsNorFreezesTheApplicationAndSigtermEndsItWithin2s) {
    ASSERT_TRUE(tasks.usable()) << "no pids control group could be made on this machine";
    ASSERT_TRUE(tasks.add(pid_t(app.process.processId())));
    const QString history = openHistory();
    ASSERT_FALSE(history.isEmpty()) << app.log.toStdString();
    // The detail shows, and with it its waveform's load has its thread: what the limit refuses is Play's.
    ASSERT_TRUE(waitFor([&] { return firstDarkPixel(history, 85) >= 0; }, 10000)) << app.log.toStdString();
    ASSERT_TRUE(tasks.limit(tasks.current() + GetParam()));
    ASSERT_NO_FATAL_FAILURE(clickPlay(history));
    Answers answers;
    answers.askUntil(socket(), [] { return false; }, 5000);
    std::cout << tasks.refusals() << " tasks refused" << std::endl;
    RecordProperty("refusals", std::to_string(tasks.refusals()));
    ASSERT_EQ(app.process.state(), QProcess::Running) << "the application ended\n" << app.log.toStdString();
    expectAnswered(answers, "after Play");
    // The tasks Play needs depend on the processors: on a small machine a few extra tasks may be all it needs, and
    // the case has nothing to refuse there. Without a task to spare, something is refused on every machine.
    if (tasks.refusals() == 0) {
        ASSERT_GT(GetParam(), 0) << "the limit refused nothing";
        tasks.limit(-1);
        GTEST_SKIP() << "on this machine Play needed no more than " << GetParam()
                     << " new tasks: the limit refused nothing";
    }

    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(app.process.processId()), SIGTERM);
    EXPECT_TRUE(app.endsWithStatusZero(2000)) << "SIGTERM did not end the application within 2 s\n"
                                              << app.log.toStdString();
    RecordProperty("quitMilliseconds", int(clock.elapsed()));
    tasks.limit(-1);
}

INSTANTIATE_TEST_SUITE_P(ExtraTasks, RefusedThreadsDuringPlayTest, testing::Range(0, 4),
                         [](const testing::TestParamInfo<int>& info) { return "plus" + std::to_string(info.param); });

}  // namespace
