#pragma once

// The main road of the application as its end-to-end tests drive it: the real binary under the test's X server, the
// hot key pressed with XTEST, speech fed into the default PulseAudio source, and a window of the test's own that the
// dictation is pasted into.

#include "AppProcess.h"
#include "ModelWriter.h"
#include "engine/Model.h"
#include "platform/Paths.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QKeySequence>
#include <QTextEdit>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace shelltest {

namespace fs = std::filesystem;

inline fs::path recordingsFolder() { return Paths::documentsDirectory() / "vellumcaster" / "recordings"; }

inline std::set<fs::path> dictations() {
    std::set<fs::path> found;
    const fs::path folder = recordingsFolder();
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) found.insert(it->path());
    return found;
}

// The dictation stored since `before` whose record is written; empty while there is none.
inline fs::path newDictation(const std::set<fs::path>& before) {
    for (const auto& folder : dictations())
        if (!before.count(folder) && fs::exists(folder / "meta.json")) return folder;
    return {};
}

// The window the dictation is pasted into. The hot key reaches it only while the application has not registered it.
class PasteTarget : public QTextEdit {
public:
    int missedHotKeys = 0;
    int pastes = 0;

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

class DictationRoadTest : public testing::Test {
protected:
    void SetUp() override {
        for (const char* variable : {"DISPLAY", "PULSE_SERVER", "VC_PULSE_PIPE"})
            ASSERT_NE(std::getenv(variable), nullptr) << variable << " is not set: run under scripts/test";
        vctest::requireHostPrograms({"trayer", "xdotool", "espeak-ng", "sox", "xclip"});

        // A tiny model under the default model's file name for the language, so no download starts.
        fs::create_directories(modelsFolderURL());
        const auto hp = recognizer::ModelWriter::preset(modelPreset, language == "en");
        ASSERT_TRUE(recognizer::ModelWriter(hp).write((modelsFolderURL() / modelFileName("small", language)).string()));

        // Speech as the pipe source takes it: 16 kHz mono s16le, with a second of silence after it.
        speech = home.path() / "speech.raw";
        ASSERT_EQ(QProcess::execute(hostProgram("sh"), {"-c", QString("espeak-ng -w '%1/speech.wav' 'hello world this is a test' && "
                                                         "sox '%1/speech.wav' -r 16000 -c 1 -b 16 -e signed -t raw '%2' "
                                                         "pad 0 1")
                                                     .arg(QString::fromStdString(home.path().string()),
                                                          QString::fromStdString(speech.string()))}),
                  0);

        // A stored prompt more than three times as long as the prompt field takes (from before it had its bound).
        for (int i = 0; i < 800; ++i) storedPrompt += "Names: Ana, Olek. ";
        const fs::path settings = home.config() / "vellumcaster" / "settings.json";
        fs::create_directories(settings.parent_path());
        std::ofstream(settings) << "{\"activePrompt\": \"" << storedPrompt << "\", \"selectedLanguage\": \"" << language
                                << "\", \"realtimeResultsEnabled\": " << (realtime ? "true" : "false") << "}";

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
        QStringList shown = titledWindows(app.process.processId(), "Vellumcaster");
        shown.removeAll(tray.applicationIconWindow());
        return !shown.isEmpty();
    }

    // Returns once the source has read the whole speech and the second of silence after it.
    void speak() {
        run("sh", {"-c", QString("cat '%1' > \"$VC_PULSE_PIPE\"").arg(QString::fromStdString(speech.string()))});
        ASSERT_TRUE(waitFor([] { return pipeDrained(std::getenv("VC_PULSE_PIPE")); }, 20000))
            << "the microphone did not take the speech\n"
            << app.log.toStdString();
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
    // Realtime results: the recording is transcribed in chunks while the user speaks.
    bool realtime = false;
    vctest::TempHome home;
    std::string modelPreset = "syn-a";
    std::string language = "en";
    std::string storedPrompt;
    fs::path speech;
    TrayHost tray;
    AppProcess app;
    PasteTarget target;
};

}  // namespace shelltest
