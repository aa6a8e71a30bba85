// Renders the history window over generated dictations to PNG files.

#include "PictureWriter.h"
#include "Snapshots.h"
#include "engine/Recording.h"
#include "engine/RecordingMetadata.h"
#include "engine/WavFile.h"
#include "shell/AudioDeviceSource.h"
#include "shell/AppWindow.h"
#include "shell/AppWindows.h"
#include "shell/AudioManager.h"
#include "shell/KeyboardManager.h"
#include "ui/ContentView.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThreadPool>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>
#include "support/FakeAudioDeviceSource.h"

namespace {

struct Sample {
    std::int64_t second;
    const char* result;
    std::int64_t duration;
    std::int64_t processingTime;
    const char* language;
    bool turbo;
};

const Sample samples[] = {
    {1690000000, "Remind me to call the garage about the winter tyres before Friday.", 4200, 640, "en", false},
    {1690003600, "", 900, 210, "en", false},
    {1690090000, "Dear Ms Okafor, thank you for the quick reply. The revised quote works for us; please send the "
                 "contract and we will sign it this week.",
     9800, 1530, "auto", true},
    {1690180000, "Milk, eggs, two lemons, and the good coffee.", 3100, 480, "en", false},
    {1690266000, "Le rendez-vous est déplacé à jeudi, quinze heures.", 3700, 720, "fr", false},
    {1690352000, "Quarterly numbers look fine; ship the draft to review.", 5200, 860, "en", true},
};

// Speech-like audio: bursts of a tone under a slow envelope, so the waveform has shape.
std::vector<float> audio(std::int64_t durationMs, int seed) {
    const std::size_t n = static_cast<std::size_t>(durationMs) * 16;
    std::vector<float> s(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / 16000.0;
        const double envelope = std::fabs(std::sin(t * (2.1 + seed * 0.37))) * (0.35 + 0.3 * std::sin(t * 0.9 + seed));
        s[i] = static_cast<float>(envelope * std::sin(t * 2 * M_PI * 220.0));
    }
    return s;
}

void writeSamples() {
    int seed = 0;
    for (const Sample& sample : samples) {
        const std::filesystem::path folder = makeRecordingFolder(sample.second);
        RecordingMetadata m = RecordingMetadata::defaultRecord();
        m.datetime = RecordingMetadata::formatDatetime(std::chrono::system_clock::from_time_t(sample.second));
        m.appVersion = "1.0.0";
        m.modelName = sample.turbo ? "Pro" : "Standard";
        m.duration = sample.duration;
        m.processingTime = sample.processingTime;
        m.languageSelected = sample.language;
        m.speedUpEnabled = sample.turbo;
        m.result = sample.result;
        std::ofstream(folder / "meta.json", std::ios::binary) << m.encode();
        writeWavFile(audio(sample.duration, seed++), folder / "output.wav", 16000);
    }
}

// Opens a history window and waits until its first load has arrived.
struct OpenHistory {
    OpenHistory(KeyboardManager& keyboard, AudioManager& audio) {
        view = new ContentView(keyboard, audio);
        QObject::connect(view, &ContentView::recordingsReloaded, [this] { ++reloads; });
        window = makeHistoryWindow(view);
        QElapsedTimer clock;
        clock.start();
        while (reloads == 0 && clock.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ~OpenHistory() { delete window.data(); }

    ContentView* view;
    QPointer<AppWindow> window;
    int reloads = 0;
};

}  // namespace

int renderHistorySnapshots(const QString& outDir) {
    PictureWriter out(outDir);
    KeyboardManager keyboard;
    AudioManager audioManager(SettingsStore::standard(), std::make_shared<vctest::FakeAudioDeviceSource>());

    {
        OpenHistory empty(keyboard, audioManager);
        out.save(empty.window, "history-empty");
    }

    writeSamples();
    OpenHistory history(keyboard, audioManager);
    out.save(history.window, "history");

    // Down twice selects an older dictation and scrolls it to the centre; a term then narrows the list.
    history.view->handleNavigationKey(Qt::Key_Down);
    history.view->handleNavigationKey(Qt::Key_Down);
    out.save(history.window, "history-keyboard");
    history.view->setSearchTerm("COFFEE");
    out.save(history.window, "history-filtered");
    history.view->setSearchTerm("no such words");
    out.save(history.window, "history-no-match");

    QThreadPool::globalInstance()->waitForDone();
    return out.written();
}
