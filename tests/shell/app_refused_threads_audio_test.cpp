// The application binary held at the tasks it has, or a few more, in a pids control group (which binds root too) from
// the press that starts a dictation or from the press that stops it: whatever the system refuses, every press is
// answered, and once the limit is lifted the next dictation works and SIGTERM ends the application at once.

#include "DictationRoadTest.h"
#include "support/PidsCgroup.h"
#include "support/ReadFile.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <string>
#include <tuple>

using shelltest::dictations;
using shelltest::newDictation;
using shelltest::run;
using shelltest::waitFor;

namespace {

enum class Moment { firstPress, stoppingPress };

// The tasks allowed beyond those the application has when the limit is set, and the press it is set before.
using Limit = std::tuple<int, Moment>;

class RefusedThreadsOnceTest : public shelltest::DictationRoadTest, public testing::WithParamInterface<Limit> {
protected:
    RefusedThreadsOnceTest() { withTray = false; }

    void SetUp() override {
        ASSERT_TRUE(tasks.usable()) << "no pids control group could be made on this machine";
        DictationRoadTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(tasks.add(pid_t(app.process.processId())));
        ASSERT_TRUE(waitFor([this] { return !(menuWindow = untitledWindows().value(0)).isEmpty(); }, 10000));
    }

    // The application's windows on screen without a title of their own: the menu window and the recording window.
    // Not xdotool's search by name, which also finds a notice, whose title ends in the application's name.
    QStringList untitledWindows() { return shelltest::titledWindows(app.process.processId(), "Vellumcaster"); }

    bool recordingWindowShown() {
        QStringList shown = untitledWindows();
        shown.removeAll(menuWindow);
        return !shown.isEmpty();
    }

    void setLimit() {
        const long allowed = tasks.current() + std::get<0>(GetParam());
        ASSERT_TRUE(tasks.limit(allowed));
        RecordProperty("tasksAllowed", std::to_string(allowed));
    }

    // The application's windows on screen that have a title of their own: its notices.
    QStringList notices() {
        const QString pid = QString::number(app.process.processId());
        QStringList shown;
        for (const QString& window : run("xdotool", {"search", "--onlyvisible", "--pid", pid, "--name", "."})
                                         .split('\n', Qt::SkipEmptyParts)) {
            const QString title = run("xdotool", {"getwindowname", window}).trimmed();
            if (title != QLatin1String("Vellumcaster")) shown << title;
        }
        return shown;
    }

    // Presses the hot key and waits until the application has answered: with a status image, or with a notice; then
    // until it rests, recording or not, as `recording` then says. It records once its recording window shows, which
    // happens once capture runs: the recording image comes before the capture starts, and a start that fails turns
    // it back to rest and shows a notice.
    void pressAndAwaitAnswer() {
        const auto images = app.log.count("status image ");
        const auto shown = notices().size();
        pressHotKey();
        ASSERT_TRUE(waitFor([&] { return app.log.count("status image ") > images || notices().size() > shown; },
                            20000))
            << "the press was not answered\n"
            << app.log.toStdString();
        ASSERT_TRUE(waitFor(
            [this] {
                const QString image = lastImage();
                recording = image == QLatin1String("IconRecording") && recordingWindowShown();
                return recording || (image != QLatin1String("IconRecording") && image != QLatin1String("IconLoading") &&
                                     image != QLatin1String("IconWorking"));
            },
            60000))
            << app.log.toStdString();
    }

    bool recording = false;
    QString menuWindow;
    vctest::PidsCgroup tasks{"vellumcaster-test-" + std::to_string(::getpid())};
};

TEST_P(RefusedThreadsOnceTest, EveryPressIsAnsweredAndOnceTheLimitIsLiftedDictationWorksAndSigtermEndsTheApplication) {
    // The dictations' texts are read from the clipboard: a paste into this process arriving while the application
    // ends would read the clipboard of an application that is going away.
    target.setReadOnly(true);
    const Moment moment = std::get<1>(GetParam());
    if (moment == Moment::firstPress) setLimit();
    ASSERT_NO_FATAL_FAILURE(pressAndAwaitAnswer());
    if (moment == Moment::stoppingPress) {
        ASSERT_TRUE(recording) << app.log.toStdString();
    }
    if (recording) {
        ASSERT_NO_FATAL_FAILURE(speak());
        if (moment == Moment::stoppingPress) setLimit();
        ASSERT_NO_FATAL_FAILURE(pressAndAwaitAnswer());
    }
    RecordProperty("refusals", std::to_string(tasks.refusals()));
    // The tasks a press needs depend on the processors (the recognizer's threads): on a small machine a few extra
    // tasks may be all it needs, and the case has nothing to refuse there. Without a task to spare, something is
    // refused on every machine.
    if (tasks.refusals() == 0) {
        ASSERT_GT(std::get<0>(GetParam()), 0) << "the limit refused nothing";
        GTEST_SKIP() << "on this machine the press needed no more than " << std::get<0>(GetParam())
                     << " new tasks: the limit refused nothing";
    }

    ASSERT_TRUE(tasks.limit(-1));
    // A stop that could not be served leaves the dictation recording: the next press stops it.
    if (recording) {
        ASSERT_NO_FATAL_FAILURE(pressAndAwaitAnswer());
    }
    const auto before = dictations();
    pressHotKey();
    ASSERT_TRUE(waitFor([this] { return lastImage() == "IconRecording"; }, 30000)) << app.log.toStdString();
    ASSERT_NO_FATAL_FAILURE(speak());
    silence();
    pressHotKey();
    std::filesystem::path next;
    ASSERT_TRUE(waitFor([&] { return !(next = newDictation(before)).empty(); }, 120000)) << app.log.toStdString();
    const QString result = QString::fromUtf8(vctest::readFile(next / "result.txt"));
    EXPECT_FALSE(result.isEmpty()) << app.log.toStdString();
    EXPECT_TRUE(waitFor([&] { return run("xclip", {"-o", "-selection", "clipboard"}) == result; }, 10000));

    ::kill(pid_t(app.process.processId()), SIGTERM);
    EXPECT_TRUE(app.endsWithStatusZero(2000)) << "SIGTERM did not end the application within 2 s\n"
                                              << app.log.toStdString();
}

INSTANTIATE_TEST_SUITE_P(ExtraTasks, RefusedThreadsOnceTest,
                         testing::Combine(testing::Range(0, 4),
                                          testing::Values(Moment::firstPress, Moment::stoppingPress)),
                         [](const testing::TestParamInfo<Limit>& info) {
                             return "plus" + std::to_string(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) == Moment::firstPress ? "BeforeTheFirstPress"
                                                                                   : "BeforeTheStoppingPress");
                         });

// In realtime mode the recording's heartbeats, which cut it into chunks while the user speaks, need threads too.
class RefusedHeartbeatsTest : public shelltest::DictationRoadTest {
protected:
    RefusedHeartbeatsTest() { realtime = true; }

    vctest::PidsCgroup tasks{"vellumcaster-test-" + std::to_string(::getpid())};
};

TEST_F(RefusedHeartbeatsTest, HeartbeatsRefusedDuringARecordingAreToldTheTakeIsStoredAndSigtermEndsTheApplication) {
    ASSERT_TRUE(tasks.usable()) << "no pids control group could be made on this machine";
    ASSERT_TRUE(tasks.add(pid_t(app.process.processId())));
    target.setReadOnly(true);
    pressHotKey();
    // The window shows once capture runs; no sound has come yet, so no heartbeat has had a thread.
    ASSERT_TRUE(waitFor([this] { return recordingWindowShown(); }, 30000)) << app.log.toStdString();
    ASSERT_TRUE(tasks.limit(tasks.current()));
    // Heartbeats start more than 100 ms apart, counted from the start of capture: the speech, which the source
    // delivers at once, must come later than that to start one.
    waitFor([] { return false; }, 300);
    ASSERT_NO_FATAL_FAILURE(speak());
    ASSERT_TRUE(waitFor([this] { return app.log.contains("A realtime heartbeat was skipped"); }, 10000))
        << app.log.toStdString();
    EXPECT_GT(tasks.refusals(), 0);
    RecordProperty("refusals", std::to_string(tasks.refusals()));

    ASSERT_TRUE(tasks.limit(-1));
    const auto before = dictations();
    silence();
    pressHotKey();
    std::filesystem::path take;
    ASSERT_TRUE(waitFor([&] { return !(take = newDictation(before)).empty(); }, 120000)) << app.log.toStdString();
    EXPECT_FALSE(vctest::readFile(take / "result.txt").empty()) << app.log.toStdString();

    ::kill(pid_t(app.process.processId()), SIGTERM);
    EXPECT_TRUE(app.endsWithStatusZero(2000)) << "SIGTERM did not end the application within 2 s\n"
                                              << app.log.toStdString();
}

}  // namespace
