// history-bench [count] [big-wav-MiB]: writes `count` dictations (default 5,000) into a temporary HOME, opens the
// history window on them, filters, scrolls, reloads after a finished dictation and walks the list with the arrow keys,
// then adds one big dictation (a 1 MB transcript and a WAV of `big-wav-MiB`, default 512) and selects it. It prints
// the longest time the GUI thread went without serving its event loop in each phase, and how much the process's peak
// memory grew while the big dictation was shown.

#include "engine/Recording.h"
#include "engine/RecordingMetadata.h"
#include "engine/WavFile.h"
#include "platform/NotificationCenter.h"
#include "shell/AudioDeviceSource.h"
#include "shell/AudioManager.h"
#include "shell/KeyboardManager.h"
#include "ui/ContentView.h"
#include "ui/RecordingCardList.h"
#include "ui/RecordingDetail.h"
#include "ui/RecordingWaveformView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>
#include "support/FakeAudioDeviceSource.h"

namespace {

const char* const words[] = {"meeting", "invoice", "tomorrow", "please", "send", "report", "garden", "Quarterly",
                             "numbers", "call", "back", "Ünïcode", "coffee", "deadline", "review", "draft"};

void writeHistory(int count) {
    std::vector<float> samples(16000 * 3);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = 0.4f * std::sin(static_cast<float>(i) * 0.05f);
    for (int i = 0; i < count; ++i) {
        const std::filesystem::path folder = makeRecordingFolder(1690000000 + i * 60);
        RecordingMetadata m = RecordingMetadata::defaultRecord();
        m.datetime = RecordingMetadata::formatDatetime(std::chrono::system_clock::from_time_t(1690000000 + i * 60));
        m.appVersion = "1.0.0";
        m.modelName = "Base (English)";
        m.duration = 3000;
        m.processingTime = 400 + i % 900;
        m.languageSelected = "en";
        std::string text;
        for (int w = 0; w < 12 + i % 20; ++w) text += std::string(words[(i * 7 + w * 3) % 16]) + " ";
        m.result = text;
        std::ofstream(folder / "meta.json", std::ios::binary) << m.encode();
        writeWavFile(samples, folder / "output.wav", 16000);
    }
}

// Records the longest gap between two turns of the GUI thread's event loop.
class StallMeter {
public:
    StallMeter() {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
        clock_.start();
        timer_.start();
    }
    void reset() {
        longest_ = 0;
        last_ = clock_.nsecsElapsed();
    }
    double longestMs() const { return static_cast<double>(longest_) / 1e6; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};

// A dictation newer than the generated ones whose transcript is `textBytes` long and whose output.wav holds
// `wavBytes` of samples after its header (written in pieces, never whole in memory).
void writeBigDictation(std::size_t textBytes, std::uint64_t wavBytes) {
    const std::filesystem::path folder = makeRecordingFolder(1990000000);
    RecordingMetadata m = RecordingMetadata::defaultRecord();
    m.datetime = RecordingMetadata::formatDatetime(std::chrono::system_clock::from_time_t(1990000000));
    m.modelName = "Standard";
    m.duration = static_cast<std::int64_t>(wavBytes / 32);
    while (m.result.size() < textBytes) m.result += "a long dictation that goes on and on ";
    std::ofstream(folder / "meta.json", std::ios::binary) << m.encode();
    writeWavFile({}, folder / "output.wav", 16000);  // the header
    std::ofstream wav(folder / "output.wav", std::ios::binary | std::ios::app);
    std::string piece(1 << 20, '\0');
    for (std::size_t i = 0; i < piece.size(); i += 2) piece[i + 1] = static_cast<char>((i / 2) % 200);
    for (std::uint64_t written = 0; written < wavBytes; written += piece.size()) wav.write(piece.data(), piece.size());
}

// The process's peak resident memory so far, in MiB.
double peakMemoryMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0.0;
}

// Runs the event loop for `ms` milliseconds, or until `done` holds.
template <class Done>
void spin(int ms, Done done) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms && !done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 5000;
    const std::uint64_t bigWavMiB = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 512;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string pattern = (std::filesystem::temp_directory_path() / "history-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    const std::filesystem::path home = pattern;
    setenv("HOME", home.c_str(), 1);
    for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) unsetenv(v);
    setenv("XDG_DOCUMENTS_DIR", (home / "Documents").c_str(), 1);

    QApplication app(argc, argv);
    QElapsedTimer clock;
    clock.start();
    writeHistory(count);
    std::printf("wrote %d dictations in %.0f ms\n", count, static_cast<double>(clock.elapsed()));

    KeyboardManager keyboard;
    AudioManager audio(SettingsStore::standard(), std::make_shared<vctest::FakeAudioDeviceSource>());
    StallMeter meter;
    int reloads = 0;

    auto report = [&](const char* phase, double ms) {
        std::printf("%-44s %8.1f ms   longest stall %6.1f ms\n", phase, ms, meter.longestMs());
    };

    // Open.
    auto* view = new ContentView(keyboard, audio);
    QObject::connect(view, &ContentView::recordingsReloaded, [&] { ++reloads; });
    meter.reset();
    clock.restart();
    view->show();
    spin(60000, [&] { return reloads == 1; });
    report("open and load", static_cast<double>(clock.elapsed()));
    spin(300, [] { return false; });

    // Type a search term letter by letter, then erase it.
    meter.reset();
    clock.restart();
    const QString term = QStringLiteral("quarterly back");
    for (int i = 1; i <= term.size(); ++i) {
        view->setSearchTerm(term.left(i));
        spin(30, [] { return false; });
    }
    std::printf("  \"%s\" keeps %zu of %zu\n", term.toStdString().c_str(), view->filteredRecordings().size(),
                view->recordings().size());
    for (int i = term.size() - 1; i >= 0; --i) {
        view->setSearchTerm(term.left(i));
        spin(30, [] { return false; });
    }
    report("type and erase a term (29 keystrokes)", static_cast<double>(clock.elapsed()));

    // Scroll through the whole list in large steps.
    meter.reset();
    clock.restart();
    QScrollBar* bar = view->cardList().verticalScrollBar();
    for (int value = 0; value <= bar->maximum(); value += bar->maximum() / 100 + 1) {
        bar->setValue(value);
        QCoreApplication::processEvents();
    }
    report("scroll to the end in 100 steps", static_cast<double>(clock.elapsed()));

    // Arrow keys: each move selects, shows the detail with its waveform and centres the card.
    meter.reset();
    clock.restart();
    for (int i = 0; i < 50; ++i) {
        view->handleNavigationKey(i % 10 == 9 ? Qt::Key_Up : Qt::Key_Down);
        QCoreApplication::processEvents();
    }
    report("50 arrow-key moves", static_cast<double>(clock.elapsed()));

    // A dictation finishes: the shell posts from its own thread.
    meter.reset();
    clock.restart();
    std::thread([] { NotificationCenter::defaultCenter().post("recordingComplete"); }).join();
    spin(60000, [&] { return reloads == 2; });
    report("reload after recordingComplete", static_cast<double>(clock.elapsed()));

    // A big dictation finishes: its 1 MB transcript and its WAV are shown without stalling, the WAV read in pieces.
    writeBigDictation(1'000'000, bigWavMiB << 20);
    QCoreApplication::processEvents();
    const double peakBefore = peakMemoryMiB();
    int waveforms = 0;
    meter.reset();
    clock.restart();
    std::thread([] { NotificationCenter::defaultCenter().post("recordingComplete"); }).join();
    spin(60000, [&] { return reloads == 3; });
    if (view->detail()) QObject::connect(view->detail(), &RecordingDetail::waveformLoaded, [&] { ++waveforms; });
    spin(600000, [&] { return waveforms == 1; });
    char phase[80];
    std::snprintf(phase, sizeof phase, "show a 1 MB text and a %llu MiB WAV",
                  static_cast<unsigned long long>(bigWavMiB));
    report(phase, static_cast<double>(clock.elapsed()));
    std::printf("  %zu bars; peak memory grew by %.1f MiB (to %.1f MiB)\n",
                view->detail() ? view->detail()->waveform().waveHeights().size() : 0, peakMemoryMiB() - peakBefore,
                peakMemoryMiB());

    view->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QThreadPool::globalInstance()->waitForDone();
    std::filesystem::remove_all(home);
    return 0;
}
