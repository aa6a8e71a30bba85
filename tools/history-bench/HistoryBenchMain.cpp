// history-bench [count]: writes `count` dictations (default 5,000) into a temporary HOME, opens the history window on
// them, filters, scrolls, reloads after a finished dictation and walks the list with the arrow keys, and prints the
// longest time the GUI thread went without serving its event loop in each phase.

#include "engine/Recording.h"
#include "engine/RecordingMetadata.h"
#include "engine/WavFile.h"
#include "platform/NotificationCenter.h"
#include "shell/AudioDeviceSource.h"
#include "shell/AudioManager.h"
#include "shell/KeyboardManager.h"
#include "ui/ContentView.h"
#include "ui/RecordingCardList.h"

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

    view->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QThreadPool::globalInstance()->waitForDone();
    std::filesystem::remove_all(home);
    return 0;
}
