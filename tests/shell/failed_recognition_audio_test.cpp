// A dictation whose recognition fails, end to end: the real binary in a tray under a window manager, the hot key
// pressed with XTEST, speech fed into the default PulseAudio source, a text of the user's on the clipboard, and a focused
// window of this test that counts the pastes it gets.

#include "AppProcess.h"
#include "ModelWriter.h"
#include "WindowManager.h"
#include "engine/Model.h"
#include "engine/RecordingMetadata.h"
#include "platform/Paths.h"
#include "support/ReadFile.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QKeySequence>
#include <QTextEdit>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using shelltest::run;
using shelltest::waitFor;

// Named: the shell's audio tests are compiled as one unit, beside others with helpers of these names.
namespace failedrecognitiontest {

// Whether the microphone source has taken everything written into its pipe.
bool pipeDrained() {
    int unread = -1;
    const int fd = ::open(std::getenv("VC_PULSE_PIPE"), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    ::ioctl(fd, FIONREAD, &unread);
    ::close(fd);
    return unread == 0;
}

// The focused window. The hot key reaches it only while the application has not registered it.
class PasteTarget : public QTextEdit {
public:
    int pastes = 0;
    int missedHotKeys = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Space && (event->modifiers() & Qt::AltModifier)) {
            ++missedHotKeys;
            return;
        }
        if (event->matches(QKeySequence::Paste)) ++pastes;
        QTextEdit::keyPressEvent(event);
    }
};

// A model that loads, and a language that it does not know (as a settings file of a version that offers it would
// hold): every recognition fails.
class FailedRecognitionTest : public testing::Test {
protected:
    void SetUp() override {
        for (const char* variable : {"DISPLAY", "PULSE_SERVER", "VC_PULSE_PIPE"})
            ASSERT_NE(std::getenv(variable), nullptr) << variable << " is not set: run under scripts/test";
        for (const char* program : {"trayer", "xdotool", "xclip", "espeak-ng", "openbox"})
            ASSERT_TRUE(shelltest::installed(program)) << program << " is missing";

        fs::create_directories(modelsFolderURL());
        const auto hp = recognizer::ModelWriter::preset("syn-a", false);
        ASSERT_TRUE(recognizer::ModelWriter(hp).write((modelsFolderURL() / modelFileName("small", "yue")).string()));
        const fs::path settings = home.config() / "vellumcaster" / "settings.json";
        fs::create_directories(settings.parent_path());
        std::ofstream(settings) << R"({"selectedLanguage": "yue"})";

        speech = home.path() / "speech.raw";
        ASSERT_EQ(QProcess::execute("sh", {"-c", QString("espeak-ng -w '%1/speech.wav' 'hello world this is a test' && "
                                                         "sox '%1/speech.wav' -r 16000 -c 1 -b 16 -e signed -t raw '%2' "
                                                         "pad 0 1")
                                                     .arg(QString::fromStdString(home.path().string()),
                                                          QString::fromStdString(speech.string()))}),
                  0);

        // What the user had copied, served by xclip until another client takes the clipboard.
        clipboardOwner.start("xclip", {"-quiet", "-selection", "clipboard"});
        ASSERT_TRUE(clipboardOwner.waitForStarted());
        clipboardOwner.write(marker);
        clipboardOwner.closeWriteChannel();
        ASSERT_TRUE(waitFor([this] { return clipboard() == marker; }, 5000));

        ASSERT_TRUE(windowManager.start()) << "openbox did not start";
        ASSERT_TRUE(tray.start());
        target.setWindowTitle("paste target");
        target.resize(400, 200);
        target.show();
        target.activateWindow();
        target.setFocus();
        ASSERT_TRUE(app.start());
        ASSERT_TRUE(waitFor([this] { return app.log.contains("status image Icon"); }, 20000)) << app.log.toStdString();
        ASSERT_TRUE(waitFor([this] { return target.hasFocus() || (target.activateWindow(), false); }, 5000));
    }
    void TearDown() override {
        if (clipboardOwner.state() != QProcess::NotRunning) {
            clipboardOwner.kill();
            clipboardOwner.waitForFinished(5000);
        }
    }

    static QString clipboard() { return run("xclip", {"-o", "-selection", "clipboard"}); }

    // A press made before start-up registered the hot key reaches the focused window, and is made again.
    void pressHotKey() {
        const int missed = target.missedHotKeys;
        const auto logged = app.log.size();
        run("xdotool", {"key", "--clearmodifiers", "alt+space"});
        waitFor([&] { return app.log.size() > logged || target.missedHotKeys > missed; }, 10000);
        if (target.missedHotKeys > missed) pressHotKey();
    }

    const QByteArray marker = "copied by the user";
    vctest::TempHome home;
    fs::path speech;
    QProcess clipboardOwner;
    shelltest::WindowManager windowManager;
    shelltest::TrayHost tray;
    shelltest::AppProcess app;
    PasteTarget target;
};

TEST_F(FailedRecognitionTest, TheClipboardKeepsItsTextNothingIsPastedAndANoticeLeavesTheFocus) {
    pressHotKey();
    ASSERT_TRUE(waitFor([this] { return app.lastImage() == "IconRecording"; }, 30000)) << app.log.toStdString();
    run("sh", {"-c", QString("cat '%1' > \"$VC_PULSE_PIPE\"").arg(QString::fromStdString(speech.string()))});
    ASSERT_TRUE(waitFor(pipeDrained, 20000));
    pressHotKey();
    ASSERT_TRUE(waitFor([this] { return app.log.contains("status image IconComplete"); }, 120000))
        << app.log.toStdString();
    EXPECT_TRUE(app.log.contains("Failed to run the model")) << app.log.toStdString();

    // The user is told, in a notice that leaves the focus where it was.
    EXPECT_TRUE(waitFor(
        [&] {
            const QString pid = QString::number(app.process.processId());
            return !run("xdotool",
                        {"search", "--all", "--onlyvisible", "--pid", pid, "--name", "^Transcription failed"})
                        .trimmed()
                        .isEmpty();
        },
        10000));
    EXPECT_EQ(shelltest::WindowManager::focusedWindow(), QString::number(target.winId()));

    // A key typed now arrives after any paste the application posted.
    run("xdotool", {"key", "x"});
    ASSERT_TRUE(waitFor([&] { return target.toPlainText().endsWith("x"); }, 10000)) << "the window lost the keyboard";
    EXPECT_EQ(target.pastes, 0);
    EXPECT_EQ(target.toPlainText(), "x");
    EXPECT_EQ(clipboard(), marker);

    // The take is kept, with a record that says that its recognition did not finish.
    std::vector<fs::path> kept;
    for (const auto& entry : fs::directory_iterator(Paths::documentsDirectory() / "vellumcaster" / "recordings"))
        kept.push_back(entry.path());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(fs::exists(kept[0] / "output.wav"));
    EXPECT_FALSE(RecordingMetadata::decode(vctest::readFile(kept[0] / "meta.json")).recognitionFinished);
}

}  // namespace failedrecognitiontest
