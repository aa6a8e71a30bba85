// The main road of the application, end to end: the real binary in a tray under the test's X server, the hot key
// pressed with XTEST, speech fed into the default PulseAudio source, the dictation stored, copied and pasted into a
// focused window of this test; the same road under a window manager with no room to store the dictation; without a
// tray, started and stopped from the menu window; a take whose recognition the end of the application cuts short;
// with no thread to spare when the recognition starts; and with an output that nobody reads.

#include "DictationRoadTest.h"
#include "StalledOutput.h"
#include "WindowManager.h"
#include "engine/Recording.h"
#include "engine/RecordingMetadata.h"
#include "platform/InstanceChannel.h"
#include "support/PidsCgroup.h"
#include "support/ReadFile.h"
#include "support/ReadOnlyFolder.h"
#include "ui/RecordingCard.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>

namespace fs = std::filesystem;
using shelltest::dictations;
using shelltest::DictationRoadTest;
using shelltest::newDictation;
using shelltest::recordingsFolder;
using shelltest::run;
using shelltest::waitFor;

namespace {

TEST_F(DictationRoadTest, HotKeySpeechHotKeyStoresCopiesAndPastesTheDictation) {
    const auto before = dictations();
    pressHotKey();
    ASSERT_TRUE(waitFor([this] { return lastImage() == "IconRecording"; }, 30000)) << app.log.toStdString();
    EXPECT_TRUE(app.log.contains("status image IconLoading"));
    speak();
    ASSERT_TRUE(waitFor([this] { return recordingWindowShown(); }, 10000));
    EXPECT_TRUE(target.hasFocus()) << "the recording window took the focus";

    pressHotKey();
    ASSERT_TRUE(waitFor([this] { return app.log.contains("status image IconComplete"); }, 120000))
        << app.log.toStdString();

    fs::path folder;
    ASSERT_TRUE(waitFor(
        [&] {
            for (const auto& f : dictations())
                if (!before.count(f) && fs::exists(f / "meta.json")) folder = f;
            return !folder.empty();
        },
        10000));
    EXPECT_TRUE(fs::exists(folder / "output.wav"));
    ASSERT_TRUE(fs::exists(folder / "result.txt"));
    const QString result = QString::fromUtf8(vctest::readFile(folder / "result.txt"));
    // The record holds the prompt as the recognizer used it, its last 4,096 characters, and reads back whole.
    const auto record = RecordingMetadata::decode(vctest::readFile(folder / "meta.json"));
    EXPECT_EQ(record.prompt, storedPrompt.substr(storedPrompt.size() - 4096));
    EXPECT_EQ(record.result, result.toStdString());
    RecordProperty("metaJsonBytes", std::to_string(fs::file_size(folder / "meta.json")));

    // The text reaches the clipboard and, through the synthetic paste, the focused window.
    EXPECT_TRUE(waitFor([&] { return run("xclip", {"-o", "-selection", "clipboard"}) == result; }, 10000));
    EXPECT_TRUE(waitFor([&] { return target.toPlainText() == result; }, 10000))
        << "pasted: " << target.toPlainText().toStdString() << " result: " << result.toStdString();

    // Five seconds after the delivery the icon is back at rest.
    EXPECT_TRUE(waitFor([this] { return lastImage() == "Icon"; }, 15000)) << app.log.toStdString();
}

TEST_F(DictationRoadTest, EscapeDiscardsTheDictation) {
    const auto before = dictations();
    pressHotKey();
    // The recording image comes before the capture starts; the window comes after it, and after the grab of Escape.
    ASSERT_TRUE(waitFor([this] { return recordingWindowShown(); }, 30000)) << app.log.toStdString();
    ASSERT_NO_FATAL_FAILURE(speak());
    run("xdotool", {"key", "Escape"});
    // The discard is done when the icon is back at rest; a dictation would have shown "IconWorking" before that.
    ASSERT_TRUE(waitFor([this] { return lastImage() == "Icon"; }, 10000)) << app.log.toStdString();
    EXPECT_EQ(dictations(), before);
    EXPECT_FALSE(app.log.contains("IconWorking"));
    EXPECT_TRUE(target.toPlainText().isEmpty());
}

// A read-only recordings folder (as on a full or read-only disk) under a window manager, which hands the focus to
// windows as a desktop does.
class UnstoredDictationTest : public DictationRoadTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(windowManager.start()) << "openbox did not start";
        recordings.emplace(recordingsFolder());
        ASSERT_TRUE(recordings->holds()) << "the recordings folder could not be made read-only";
        DictationRoadTest::SetUp();
    }

    shelltest::WindowManager windowManager;
    std::optional<vctest::ReadOnlyFolder> recordings;
};

TEST_F(UnstoredDictationTest, TextIsPastedIntoTheFocusedWindowAndTheNoticeLeavesItTheFocus) {
    pressHotKey();
    ASSERT_TRUE(waitFor([this] { return lastImage() == "IconRecording"; }, 30000)) << app.log.toStdString();
    speak();
    silence();
    pressHotKey();
    expectCompletedAndPasted();
    // The user is told, in a notice that leaves the focus where the text went.
    EXPECT_TRUE(waitFor(
        [&] {
            const QString pid = QString::number(app.process.processId());
            return !run("xdotool", {"search", "--all", "--onlyvisible", "--pid", pid, "--name",
                                    "^Could not save the dictation"})
                        .trimmed()
                        .isEmpty();
        },
        10000));
    EXPECT_EQ(shelltest::WindowManager::focusedWindow(), QString::number(target.winId()));
    EXPECT_TRUE(dictations().empty());
}

// The bytes of samples that a WAV file's header announces, when the file holds all of them (its writer writes it in
// one go, header first); none while it is shorter.
std::optional<std::uint32_t> wholeWavDataSize(const fs::path& file) {
    const std::string bytes = vctest::readFile(file);
    if (bytes.size() < 44) return std::nullopt;
    std::uint32_t size = 0;
    for (int i = 3; i >= 0; --i) size = size << 8 | std::uint8_t(bytes[40 + i]);
    if (bytes.size() != 44 + std::uint64_t(size)) return std::nullopt;
    return size;
}

// A model of real dimensions, whose recognition of a take lasts long enough to end the application during it.
class UnfinishedRecognitionTest : public DictationRoadTest {
protected:
    UnfinishedRecognitionTest() { modelPreset = "base"; }

    // Dictates and returns the new folder once its audio is written whole, and with it the recognition begins.
    fs::path dictateUntilRecognizing() {
        const auto before = dictations();
        pressHotKey();
        EXPECT_TRUE(waitFor([this] { return lastImage() == "IconRecording"; }, 30000)) << app.log.toStdString();
        speak();
        pressHotKey();
        fs::path folder;
        EXPECT_TRUE(waitFor(
            [&] {
                for (const auto& f : dictations())
                    if (!before.count(f) && wholeWavDataSize(f / "output.wav")) folder = f;
                return !folder.empty();
            },
            30000))
            << app.log.toStdString();
        return folder;
    }

    // The take of `folder` as the history lists it.
    static std::optional<Recording> listed(const fs::path& folder) {
        for (const Recording& recording : fetchRecordings())
            if (recording.audioURL.parent_path() == folder) return recording;
        return std::nullopt;
    }

    // The history shows the take with its audio and says that its recognition did not finish.
    static void expectShownAsNotFinished(const fs::path& folder) {
        const auto recording = listed(folder);
        ASSERT_TRUE(recording) << folder << " is not listed";
        EXPECT_EQ(recording->audioURL, folder / "output.wav");
        const std::uint32_t bytes = wholeWavDataSize(folder / "output.wav").value_or(0);
        EXPECT_EQ(recording->metadata.duration, std::int64_t(bytes / 2 * 1000 / 16000));
        EXPECT_GT(bytes, 0u);
        EXPECT_FALSE(recording->metadata.recognitionFinished);
        const RecordingCard card(*recording, false);
        EXPECT_TRUE(card.resultText().contains("the recognition did not finish")) << card.resultText().toStdString();
        EXPECT_NE(card.resultText().toStdString(), "No voice found in recording");
        EXPECT_FALSE(card.dateText().isEmpty());
    }
};

TEST_F(UnfinishedRecognitionTest, ATakeEndedDuringItsRecognitionIsListedAsNotFinished) {
    // Quit (SIGTERM, which ends the application as "Quit" does) during the recognition: the record says so.
    const fs::path quit = dictateUntilRecognizing();
    ASSERT_FALSE(quit.empty());
    ::kill(pid_t(app.process.processId()), SIGTERM);
    ASSERT_TRUE(app.endsWithStatusZero(30000)) << app.log.toStdString();
    EXPECT_TRUE(app.log.contains("Recognition stopped")) << "the recognition had ended before the quit";
    ASSERT_TRUE(fs::exists(quit / "meta.json"));
    const auto record = RecordingMetadata::decode(vctest::readFile(quit / "meta.json"));
    EXPECT_FALSE(record.recognitionFinished);
    expectShownAsNotFinished(quit);

    // Killed during the recognition: the folder holds only the audio.
    app.log.clear();
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(waitFor([this] { return app.log.contains("status image Icon"); }, 20000)) << app.log.toStdString();
    const fs::path killed = dictateUntilRecognizing();
    ASSERT_FALSE(killed.empty());
    ::kill(pid_t(app.process.processId()), SIGKILL);
    ASSERT_TRUE(waitFor([this] { return app.process.state() == QProcess::NotRunning; }, 10000));
    ASSERT_FALSE(fs::exists(killed / "meta.json")) << "the recognition had ended before the kill";
    expectShownAsNotFinished(killed);
}

// No tray, under a window manager, as on a desktop where the menu window's "Start dictating" is the way to dictate
// (the window manager may hold the hot key).
class MenuWindowDictationTest : public DictationRoadTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(windowManager.start()) << "openbox did not start";
        withTray = false;
        // At the top left: the window manager would then put a window that does not say where it goes in the middle
        // of the screen, where the recording window shows, above everything.
        target.move(40, 40);
        DictationRoadTest::SetUp();
    }

    shelltest::WindowManager windowManager;
};

TEST_F(MenuWindowDictationTest, StartedAndStoppedByClicksTheTextIsPastedIntoTheWindowTheUserWasTypingIn) {
    // The menu window, and later the recording window, are untitled.
    const auto untitled = [pid = QString::number(app.process.processId())] {
        return run("xdotool", {"search", "--onlyvisible", "--pid", pid, "--name", "^Vellumcaster$"})
            .split('\n', Qt::SkipEmptyParts);
    };
    QString menu;
    ASSERT_TRUE(waitFor([&] { return !(menu = untitled().value(0)).isEmpty(); }, 10000)) << app.log.toStdString();
    const QString typing = QString::number(target.winId());

    shelltest::clickMenuWindowItem(menu, 0, 0);  // "Start dictating"
    QStringList recording;
    const auto recordingShown = [&] {
        recording = untitled();
        recording.removeAll(menu);
        return !recording.isEmpty();
    };
    ASSERT_TRUE(waitFor(recordingShown, 30000)) << app.log.toStdString();
    EXPECT_EQ(shelltest::WindowManager::focusedWindow(), typing) << "the click took the focus";
    // The recording window shows above everything: the button that stops the dictation is not under it.
    EXPECT_FALSE(shelltest::windowGeometry(recording.front()).intersects(shelltest::windowGeometry(menu)))
        << "the recording window covers the menu window";
    speak();
    silence();
    shelltest::clickMenuWindowItem(menu, 0, 0);  // and again, to stop
    expectCompletedAndPasted();
    EXPECT_EQ(shelltest::WindowManager::focusedWindow(), typing);
}

// The application held at the tasks it has (a pids control group, which binds root too) from the press that ends a
// dictation: the recognizer cannot start its threads.
class RefusedThreadsTest : public DictationRoadTest {
protected:
    vctest::PidsCgroup tasks{"vellumcaster-test-" + std::to_string(::getpid())};
};

TEST_F(RefusedThreadsTest, ARecognitionWithoutThreadsFailsKeepsTheTakeAndTheNextOneWorks) {
    // With fewer than four processors the recognizer runs on the calling thread alone and starts none of its own.
    cpu_set_t usable;
    ASSERT_EQ(sched_getaffinity(0, sizeof usable, &usable), 0);
    if (CPU_COUNT(&usable) < 4) GTEST_SKIP() << "the recognizer starts threads of its own only on four processors";
    ASSERT_TRUE(tasks.usable()) << "no pids control group could be made on this machine";
    ASSERT_TRUE(tasks.add(pid_t(app.process.processId())));
    const auto before = dictations();
    pressHotKey();
    ASSERT_TRUE(waitFor([this] { return lastImage() == "IconRecording"; }, 30000)) << app.log.toStdString();
    speak();
    // Once the recording window is up, the threads the press itself is handled on exist; from here on the application
    // gets no more.
    ASSERT_TRUE(waitFor([this] { return recordingWindowShown(); }, 10000));
    ASSERT_TRUE(tasks.limit(tasks.current()));
    pressHotKey();
    ASSERT_TRUE(waitFor(
        [this] {
            return app.log.contains("Failed to run the model") || app.process.state() == QProcess::NotRunning;
        },
        120000))
        << app.log.toStdString();
    ASSERT_EQ(app.process.state(), QProcess::Running) << app.log.toStdString();
    EXPECT_GT(tasks.refusals(), 0) << "no thread was refused";

    // The take is kept with its record, and the application goes on.
    fs::path failed;
    ASSERT_TRUE(waitFor([&] { return !(failed = newDictation(before)).empty(); }, 10000)) << app.log.toStdString();
    EXPECT_TRUE(fs::exists(failed / "output.wav"));
    ASSERT_TRUE(waitFor([this] { return lastImage() == "Icon"; }, 15000)) << app.log.toStdString();

    // Once the limit is lifted, the next dictation is recognized.
    ASSERT_TRUE(tasks.limit(-1));
    const auto kept = dictations();
    pressHotKey();
    ASSERT_TRUE(waitFor([this] { return lastImage() == "IconRecording"; }, 30000)) << app.log.toStdString();
    speak();
    silence();
    pressHotKey();
    fs::path next;
    ASSERT_TRUE(waitFor([&] { return !(next = newDictation(kept)).empty(); }, 120000)) << app.log.toStdString();
    EXPECT_FALSE(vctest::readFile(next / "result.txt").empty()) << app.log.toStdString();
}

// Standard output and error stall after the start, status lines on: the pipe is full, held open and never read. The
// dictations go on being stored, the GUI thread answers, and SIGTERM ends the application within 2 s.
class StalledOutputTest : public DictationRoadTest {
protected:
    // The instance's socket, which the GUI thread serves.
    static bool guiAnswers() {
        return InstanceChannel::ask(InstanceChannel::defaultSocket(), "answer?", 3000).has_value();
    }

    shelltest::StalledOutput output{app};
};

TEST_F(StalledOutputTest, DictationsAreStoredTheGuiAnswersAndSigtermEndsTheApplication) {
    // Listening comes after the hot key's registration.
    ASSERT_TRUE(waitFor(guiAnswers, 20000)) << app.log.toStdString();
    ASSERT_TRUE(output.stall());
    for (int take = 1; take <= 3; ++take) {
        const auto before = dictations();
        run("xdotool", {"key", "--clearmodifiers", "alt+space"});
        ASSERT_TRUE(waitFor([this] { return recordingWindowShown(); }, 30000)) << "take " << take << " did not start";
        speak();
        run("xdotool", {"key", "--clearmodifiers", "alt+space"});
        ASSERT_TRUE(waitFor([&] { return !newDictation(before).empty(); }, 120000))
            << "take " << take << " was not stored";
        EXPECT_TRUE(guiAnswers()) << "the GUI thread did not answer after take " << take;
        ASSERT_TRUE(waitFor([this] { return !recordingWindowShown(); }, 30000));
    }
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(app.process.processId()), SIGTERM);
    EXPECT_TRUE(app.endsWithStatusZero(2000)) << "SIGTERM did not end it within 2 s";
    RecordProperty("sigtermToEndMilliseconds", int(clock.elapsed()));
}

}  // namespace
