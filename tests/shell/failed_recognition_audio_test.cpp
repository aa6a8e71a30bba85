// A dictation whose recognition fails, end to end: the real binary in a tray under a window manager, the hot key
// pressed with XTEST, speech fed into the default PulseAudio source, a text of the user's on the clipboard, and a focused
// window of this test that counts the pastes it gets.

#include "DictationRoadTest.h"
#include "WindowManager.h"
#include "engine/RecordingMetadata.h"
#include "support/ReadFile.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using shelltest::run;
using shelltest::waitFor;

namespace {

// A model that loads, and a language that it does not know (as a settings file of a version that offers it would
// hold): every recognition fails.
class FailedRecognitionTest : public shelltest::DictationRoadTest {
protected:
    void SetUp() override {
        vctest::requireHostPrograms({"xclip", "openbox"});
        language = "yue";
        // What the user had copied, served by xclip until another client takes the clipboard.
        clipboardOwner.start(shelltest::hostProgram("xclip"), {"-quiet", "-selection", "clipboard"});
        ASSERT_TRUE(clipboardOwner.waitForStarted());
        clipboardOwner.write(marker);
        clipboardOwner.closeWriteChannel();
        ASSERT_TRUE(waitFor([this] { return clipboard() == marker; }, 5000));
        ASSERT_TRUE(windowManager.start()) << "openbox did not start";
        DictationRoadTest::SetUp();
    }
    void TearDown() override {
        if (clipboardOwner.state() != QProcess::NotRunning) {
            clipboardOwner.kill();
            clipboardOwner.waitForFinished(5000);
        }
    }

    static QString clipboard() { return run("xclip", {"-o", "-selection", "clipboard"}); }

    const QByteArray marker = "copied by the user";
    QProcess clipboardOwner;
    shelltest::WindowManager windowManager;
};

TEST_F(FailedRecognitionTest, TheClipboardKeepsItsTextNothingIsPastedAndANoticeLeavesTheFocus) {
    pressHotKey();
    ASSERT_TRUE(waitFor([this] { return lastImage() == "IconRecording"; }, 30000)) << app.log.toStdString();
    speak();
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
    const auto kept = shelltest::dictations();
    ASSERT_EQ(kept.size(), 1u);
    const fs::path take = *kept.begin();
    EXPECT_TRUE(fs::exists(take / "output.wav"));
    EXPECT_FALSE(RecordingMetadata::decode(vctest::readFile(take / "meta.json")).recognitionFinished);
}

}  // namespace
