// The main road of the application, end to end: the real binary in a tray under the test's X server, the hot key
// pressed with XTEST, speech fed into the default PulseAudio source, the dictation stored, copied and pasted into a
// focused window of this test; the same road under a window manager with no room to store the dictation; without a
// tray, started and stopped from the menu window; a take whose recognition the end of the application cuts short; and
// with no thread to spare when the recognition starts.

#include "AppProcess.h"
#include "ModelWriter.h"
#include "WindowManager.h"
#include "engine/Model.h"
#include "engine/Recording.h"
#include "engine/RecordingMetadata.h"
#include "platform/Paths.h"
#include "support/PidsCgroup.h"
#include "support/ReadFile.h"
#include "support/ReadOnlyFolder.h"
#include "support/TempHome.h"
#include "ui/RecordingCard.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QTextEdit>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

namespace fs = std::filesystem;
using shelltest::run;
using shelltest::waitFor;

namespace {

fs::path recordingsFolder() { return Paths::documentsDirectory() / "vellumcaster" / "recordings"; }

std::set<fs::path> dictations() {
    std::set<fs::path> found;
    const fs::path folder = recordingsFolder();
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) found.insert(it->path());
    return found;
}

// Whether the microphone source has taken everything written into its pipe.
bool pipeDrained() {
    int unread = -1;
    const int fd = ::open(std::getenv("VC_PULSE_PIPE"), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    ::ioctl(fd, FIONREAD, &unread);
    ::close(fd);
    return unread == 0;
}

// The window the dictation is pasted into. The hot key reaches it only while the application has not registered it.
class PasteTarget : public QTextEdit {
public:
    int missedHotKeys = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Space && (event->modifiers() & Qt::AltModifier)) {
            ++missedHotKeys;
            return;
        }
        QTextEdit::keyPressEvent(event);
    }
};

class DictationRoadTest : public testing::Test {
protected:
    void SetUp() override {
        for (const char* variable : {"DISPLAY", "PULSE_SERVER", "VC_PULSE_PIPE"})
            ASSERT_NE(std::getenv(variable), nullptr) << variable << " is not set: run under scripts/test";
        for (const char* program : {"trayer", "xdotool", "espeak-ng"})
            ASSERT_TRUE(shelltest::installed(program)) << program << " is missing";

        // A tiny English model under the default model's file name, so no download starts.
        fs::create_directories(modelsFolderURL());
        const auto hp = recognizer::ModelWriter::preset(modelPreset, true);
        ASSERT_TRUE(recognizer::ModelWriter(hp).write((modelsFolderURL() / modelFileName("small", "en")).string()));

        // Speech as the pipe source takes it: 16 kHz mono s16le, with a second of silence after it.
        speech = home.path() / "speech.raw";
        ASSERT_EQ(QProcess::execute("sh", {"-c", QString("espeak-ng -w '%1/speech.wav' 'hello world this is a test' && "
                                                         "sox '%1/speech.wav' -r 16000 -c 1 -b 16 -e signed -t raw '%2' "
                                                         "pad 0 1")
                                                     .arg(QString::fromStdString(home.path().string()),
                                                          QString::fromStdString(speech.string()))}),
                  0);

        // A stored prompt more than three times as long as the prompt field takes (from before it had its bound).
        for (int i = 0; i < 800; ++i) storedPrompt += "Names: Ana, Olek. ";
        const fs::path settings = home.config() / "vellumcaster" / "settings.json";
        fs::create_directories(settings.parent_path());
        std::ofstream(settings) << "{\"activePrompt\": \"" << storedPrompt << "\"}";

        // The tray must own the screen's tray selection before the application looks for it.
        if (withTray) {
            ASSERT_TRUE(tray.start());
        }

        target.setWindowTitle("paste target");
        target.resize(400, 200);
        target.show();
        target.activateWindow();
        target.setFocus();

        ASSERT_TRUE(app.start());
        ASSERT_TRUE(waitFor([this] { return app.log.contains("status image Icon"); }, 20000)) << app.log.toStdString();
        if (withTray) {
            EXPECT_FALSE(app.log.contains("No system tray found")) << app.log.toStdString();
        } else {
            // Said right after the first status image.
            EXPECT_TRUE(waitFor([this] { return app.log.contains("No system tray found"); }, 5000))
                << app.log.toStdString();
        }
        ASSERT_TRUE(waitFor([this] { return target.hasFocus() || (target.activateWindow(), false); }, 5000));
    }

    QString lastImage() const { return app.lastImage(); }

    // Start-up registers the hot key after the first status image: a press that came before reaches the focused
    // window instead, and is made again once the application or the window has answered it.
    void pressHotKey() {
        const int missed = target.missedHotKeys;
        const auto logged = app.log.size();
        run("xdotool", {"key", "--clearmodifiers", "alt+space"});
        waitFor([&] { return app.log.size() > logged || target.missedHotKeys > missed; }, 10000);
        if (target.missedHotKeys > missed) pressHotKey();
    }

    // Whether the recording window is on screen (the tray icon is a window of the application too).
    bool recordingWindowShown() {
        const QString pid = QString::number(app.process.processId());
        QStringList shown = run("xdotool", {"search", "--onlyvisible", "--pid", pid, "--name", "^Vellumcaster$"})
                                .split('\n', Qt::SkipEmptyParts);
        shown.removeAll(tray.applicationIconWindow());
        return !shown.isEmpty();
    }

    // Returns once the source has read the whole speech and the second of silence after it.
    void speak() {
        run("sh", {"-c", QString("cat '%1' > \"$VC_PULSE_PIPE\"").arg(QString::fromStdString(speech.string()))});
        ASSERT_TRUE(waitFor(pipeDrained, 20000));
    }

    // Silence after the speech; returns once the source has read the speech out of its pipe, which holds less than
    // this much.
    void silence() { run("sh", {"-c", "head -c 98304 /dev/zero > \"$VC_PULSE_PIPE\""}); }

    // The dictation completes, with text on the clipboard that reaches the test's window.
    void expectCompletedAndPasted() {
        ASSERT_TRUE(waitFor([this] { return app.log.contains("status image IconComplete"); }, 120000))
            << app.log.toStdString();
        const QString clipboard = run("xclip", {"-o", "-selection", "clipboard"});
        EXPECT_FALSE(clipboard.isEmpty()) << "nothing was recognized";
        EXPECT_TRUE(waitFor([&] { return target.toPlainText() == clipboard; }, 10000))
            << "pasted: " << target.toPlainText().toStdString() << " clipboard: " << clipboard.toStdString();
    }

    // Without one the menu is a window of the application's.
    bool withTray = true;
    vctest::TempHome home;
    std::string modelPreset = "syn-a";
    std::string storedPrompt;
    fs::path speech;
    shelltest::TrayHost tray;
    shelltest::AppProcess app;
    PasteTarget target;
};

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
    ASSERT_TRUE(waitFor([this] { return lastImage() == "IconRecording"; }, 30000)) << app.log.toStdString();
    speak();
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
        ASSERT_TRUE(shelltest::installed("openbox")) << "openbox is missing";
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
        ASSERT_TRUE(shelltest::installed("openbox")) << "openbox is missing";
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
    // The dictation stored since `before` whose record is written; empty while there is none.
    static fs::path newDictation(const std::set<fs::path>& before) {
        for (const auto& folder : dictations())
            if (!before.count(folder) && fs::exists(folder / "meta.json")) return folder;
        return {};
    }

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

}  // namespace
