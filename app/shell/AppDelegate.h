#pragma once

#include "engine/Recorder.h"
#include "platform/SoundPlayer.h"
#include "platform/TaskThreads.h"
#include "shell/AudioManager.h"
#include "shell/DictationControl.h"
#include "shell/KeyboardManager.h"
#include "shell/Notice.h"
#include "shell/StatusItem.h"
#include "shell/Updater.h"

#include <QMenu>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

class FileDownloader;
class MenuWindow;
class RecordingView;
class RecordingWindow;
class SettingsStore;

// The application: owns the long-lived pieces of the tray shell (the dictation control with its controller, the hot
// keys, the device list, the recorder, the status icon and its menu, the updater and the windows) and runs the
// start-up once the event loop is about to run. Lives on the GUI thread.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    using Task = std::function<void()>;

    // What start-up and the menu reach outside the shell; tests replace any of them.
    struct Services {
        std::string dsn;
        std::function<void(const std::string& dsn)> startErrorReporting;
        // At quit, when start-up started error reporting: ends it within the time given.
        std::function<void(std::chrono::milliseconds within)> stopErrorReporting;
        std::function<bool()> isTrusted;
        Task showOnboarding;
        Task showSettings;
        Task presentContentView;
        std::function<bool()> loginItemEnabled;
        std::function<void(bool enabled)> setLoginItemEnabled;
        // Starts fetching a model file; start-up does not wait for it.
        std::function<void(const std::string& url, const std::filesystem::path& destination)> downloadModel;
        // Makes the transcription controller around the application's recorder.
        std::function<std::shared_ptr<TranscriptionController>(Recorder& recorder, Task onComplete)> makeController;
        std::shared_ptr<CaptureBackend> captureBackend;
        std::shared_ptr<AudioDeviceSource> audioDevices;
        // Runs a press's task in the background; by default on the delegate's own threads, and a press whose thread
        // the system refuses is told with an alert.
        std::function<void(Task)> spawn;
        // At quit: the moment by which the process ends, whether or not the quit has finished by then; by default
        // the quit's limit from now.
        std::function<std::chrono::steady_clock::time_point()> quitDeadline;
    };

    // The end of the application waits for the presses' tasks and the recorder's heartbeats at most this long, and
    // leaves error reporting's close what remains of the quit's deadline but `quitMargin`. A quit stops a
    // recognition at once, and a task waits for the sound server at most about a second at a time.
    static constexpr std::chrono::milliseconds quitWait{1000};
    static constexpr std::chrono::milliseconds quitMargin{200};

    AppDelegate(SettingsStore& settings, Services services);
    ~AppDelegate() override;

    // Start-up: telemetry, status icon, menu, login item, trust check, model key, default model, hot keys.
    void applicationDidFinishLaunching();

    void buildStatusMenu();
    // Applies the setting `launchOnLogin` to the login item (its later changes are applied as they are stored).
    void setUpLaunchAtLogin();
    void migrateModelKeys();
    void ensureDefaultModel();

    // Shows the window that holds the status menu where there is no tray to open it from, or brings it back.
    void showMenuWindow();

    // Shows or hides the recording window from any thread; the work is posted to the GUI thread in order.
    void showRecordingWindow();
    void hideRecordingWindow();

    // Waits until the tasks started by the default spawn have ended, or `timeout` has passed; whether they all ended.
    bool waitForTasks(std::chrono::milliseconds timeout) const { return tasks_.waitForDone(timeout); }

    StatusItem& statusItem() { return statusItem_; }
    QMenu& menu() { return menu_; }
    QAction* startDictatingMenuItem() const { return startDictatingMenuItem_; }
    // The notice telling that the dictation hot key is taken, while it is shown (there is no tray to notify in).
    Notice* hotKeyNotice() const { return hotKeyNotice_; }
    // The error alert while it is shown; there is one at a time.
    Notice* alert() const { return alert_; }
    // The notice of a dictation that could not be stored, while it is shown; there is one at a time.
    Notice* notStoredNotice() const { return notStoredNotice_; }
    QAction* checkForUpdatesMenuItem() const { return checkForUpdatesMenuItem_; }
    KeyboardManager& keyboardManager() { return *keyboardManager_; }
    AudioManager& audioManager() { return *audioManager_; }
    DictationControl& dictation() { return *dictation_; }
    RecordingWindow* recordingWindow() const { return recordingWindow_.get(); }
    RecordingView* recordingView() const { return recordingView_; }

private:
    // Tells the user when the dictation hot key could not be registered, and takes the notice back once it is.
    void hotKeyRegistered(bool accepted);
    // Registers or removes the login item as the setting `launchOnLogin` says.
    void applyLaunchOnLogin();
    void post(Task task);
    void showAlert(const QString& title, const std::optional<QString>& message);
    // Tells that a dictation could not be stored; its text is being pasted meanwhile.
    void showNotStored(const QString& message);
    DictationControl::Environment dictationEnvironment();

    SettingsStore& settings_;
    Services services_;
    TaskThreads tasks_;
    bool errorReportingStarted_ = false;
    RecordingView* recordingView_ = nullptr;
    std::unique_ptr<RecordingWindow> recordingWindow_;
    StatusItem statusItem_;
    QMenu menu_;
    std::unique_ptr<MenuWindow> menuWindow_;
    QAction* startDictatingMenuItem_ = nullptr;
    QAction* checkForUpdatesMenuItem_ = nullptr;
    QPointer<Notice> hotKeyNotice_;
    QPointer<Notice> alert_;
    QPointer<Notice> notStoredNotice_;
    Updater updaterController_;
    std::unique_ptr<KeyboardManager> keyboardManager_;
    std::unique_ptr<AudioManager> audioManager_;
    std::unique_ptr<Recorder> recorder_;
    std::unique_ptr<DictationControl> dictation_;
    // The completion sound last played; a new one takes its place.
    std::unique_ptr<SoundPlayer> completionSound_;
};
