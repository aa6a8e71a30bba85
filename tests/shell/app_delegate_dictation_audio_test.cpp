// The main road of the application, end to end: the real binary in a tray under the test's X server, the hot key
// pressed with XTEST, speech fed into the default PulseAudio source, the dictation stored, copied and pasted into a
// focused window of this test; the same road under a window manager with no room to store the dictation; and with no
// thread to spare when the recognition starts.

#include "AppProcess.h"
#include "ModelWriter.h"
#include "WindowManager.h"
#include "engine/Model.h"
#include "engine/RecordingMetadata.h"
#include "platform/Paths.h"
#include "support/PidsCgroup.h"
#include "support/ReadFile.h"
#include "support/ReadOnlyFolder.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QTextEdit>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

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
        const auto hp = recognizer::ModelWriter::preset("syn-a", true);
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
        ASSERT_TRUE(tray.start());

        target.setWindowTitle("paste target");
        target.resize(400, 200);
        target.show();
        target.activateWindow();
        target.setFocus();

        ASSERT_TRUE(app.start());
        ASSERT_TRUE(waitFor([this] { return app.log.contains("status image Icon"); }, 20000)) << app.log.toStdString();
        EXPECT_FALSE(app.log.contains("No system tray found")) << app.log.toStdString();
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

    vctest::TempHome home;
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
    ASSERT_TRUE(waitFor([this] { return app.log.contains("status image IconComplete"); }, 120000))
        << app.log.toStdString();

    const QString clipboard = run("xclip", {"-o", "-selection", "clipboard"});
    EXPECT_FALSE(clipboard.isEmpty()) << "nothing was recognized";
    EXPECT_TRUE(waitFor([&] { return target.toPlainText() == clipboard; }, 10000))
        << "pasted: " << target.toPlainText().toStdString() << " clipboard: " << clipboard.toStdString();
    // The user is told, in a notice that leaves the focus where the text went.
    EXPECT_TRUE(waitFor(
        [&] {
            return !run("xdotool", {"search", "--onlyvisible", "--pid", QString::number(app.process.processId()),
                                    "--name", "^Could not save the dictation"})
                        .trimmed()
                        .isEmpty();
        },
        10000));
    EXPECT_EQ(shelltest::WindowManager::focusedWindow(), QString::number(target.winId()));
    EXPECT_TRUE(dictations().empty());
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
