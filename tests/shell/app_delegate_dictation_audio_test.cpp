// The main road of the application, end to end: the real binary in a tray under the test's X server, the hot key
// pressed with XTEST, speech fed into the default PulseAudio source, the dictation stored, copied and pasted into a
// focused window of this test.

#include "ModelWriter.h"
#include "engine/Model.h"
#include "platform/Paths.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTextEdit>
#include <QThread>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

using vctest::waitFor;

// Runs a host program to its end while this process keeps serving its own windows (the paste asks them for data).
QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    waitFor([&] { return process.state() == QProcess::NotRunning; }, 15000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::set<fs::path> dictations() {
    std::set<fs::path> found;
    const fs::path folder = Paths::documentsDirectory() / "vellumcaster" / "recordings";
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) found.insert(it->path());
    return found;
}

class DictationRoadTest : public testing::Test {
protected:
    void SetUp() override {
        for (const char* variable : {"DISPLAY", "PULSE_SERVER", "VC_PULSE_PIPE"})
            ASSERT_NE(std::getenv(variable), nullptr) << variable << " is not set: run under scripts/test";
        ASSERT_FALSE(QStandardPathsFind("trayer").isEmpty()) << "the tray host trayer is missing";
        ASSERT_FALSE(QStandardPathsFind("xdotool").isEmpty());
        ASSERT_FALSE(QStandardPathsFind("espeak-ng").isEmpty());

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

        tray.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"});
        ASSERT_TRUE(tray.waitForStarted());
        // The tray must own the screen's tray selection before the application looks for it.
        ASSERT_TRUE(waitFor([] { return run("xwininfo", {"-root", "-tree"}).contains("panel"); }, 10000));

        target.setWindowTitle("paste target");
        target.resize(400, 200);
        target.show();
        target.activateWindow();
        target.setFocus();

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VELLUMCASTER_MODEL_BASE_URL", "http://127.0.0.1:9/");
        environment.insert("QT_LOGGING_RULES", "vellumcaster.status.info=true");
        environment.remove("QT_QPA_PLATFORM");
        app.setProcessEnvironment(environment);
        app.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&app, &QProcess::readyRead, [this] { log += QString::fromUtf8(app.readAll()); });
        app.start(QString(VC_BINARY_DIR) + "/app/vellumcaster");
        ASSERT_TRUE(app.waitForStarted());
        ASSERT_TRUE(waitFor([this] { return log.contains("status image Icon"); }, 20000)) << log.toStdString();
        EXPECT_FALSE(log.contains("No system tray found")) << log.toStdString();
        // The hot key is registered at the end of start-up.
        waitFor([] { return false; }, 1000);
        ASSERT_TRUE(waitFor([this] { return target.hasFocus() || (target.activateWindow(), false); }, 5000));
    }

    void TearDown() override {
        app.terminate();
        if (!app.waitForFinished(5000)) app.kill();
        tray.terminate();
        if (!tray.waitForFinished(5000)) tray.kill();
    }

    static QString QStandardPathsFind(const char* program) {
        return run("sh", {"-c", QString("command -v %1").arg(program)}).trimmed();
    }

    // The status image set last by the application.
    QString lastImage() const {
        const int at = log.lastIndexOf("status image ");
        if (at < 0) return {};
        return log.mid(at + 13).section('\n', 0, 0).trimmed();
    }

    void pressHotKey() { run("xdotool", {"key", "--clearmodifiers", "alt+space"}); }

    void speak() {
        run("sh", {"-c", QString("cat '%1' > \"$VC_PULSE_PIPE\"").arg(QString::fromStdString(speech.string()))});
    }

    vctest::TempHome home;
    fs::path speech;
    QProcess tray;
    QProcess app;
    QString log;
    QTextEdit target;
};

TEST_F(DictationRoadTest, HotKeySpeechHotKeyStoresCopiesAndPastesTheDictation) {
    const auto before = dictations();
    pressHotKey();
    ASSERT_TRUE(waitFor([this] { return lastImage() == "IconRecording"; }, 30000)) << log.toStdString();
    EXPECT_TRUE(log.contains("status image IconLoading"));
    speak();
    waitFor([] { return false; }, 1500);
    EXPECT_TRUE(target.hasFocus()) << "the recording window took the focus";

    pressHotKey();
    ASSERT_TRUE(waitFor([this] { return log.contains("status image IconComplete"); }, 120000)) << log.toStdString();

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
    const QString result = QString::fromUtf8(readFile(folder / "result.txt"));

    // The text reaches the clipboard and, through the synthetic paste, the focused window.
    EXPECT_TRUE(waitFor([&] { return run("xclip", {"-o", "-selection", "clipboard"}) == result; }, 10000));
    EXPECT_TRUE(waitFor([&] { return target.toPlainText() == result; }, 10000))
        << "pasted: " << target.toPlainText().toStdString() << " result: " << result.toStdString();

    // Five seconds after the delivery the icon is back at rest.
    EXPECT_TRUE(waitFor([this] { return lastImage() == "Icon"; }, 15000)) << log.toStdString();
}

TEST_F(DictationRoadTest, EscapeDiscardsTheDictation) {
    const auto before = dictations();
    pressHotKey();
    ASSERT_TRUE(waitFor([this] { return lastImage() == "IconRecording"; }, 30000)) << log.toStdString();
    speak();
    waitFor([] { return false; }, 1000);
    run("xdotool", {"key", "Escape"});
    ASSERT_TRUE(waitFor([this] { return lastImage() == "Icon"; }, 10000)) << log.toStdString();
    waitFor([] { return false; }, 2000);
    EXPECT_EQ(dictations(), before);
    EXPECT_FALSE(log.contains("IconWorking"));
    EXPECT_TRUE(target.toPlainText().isEmpty());
}

}  // namespace
