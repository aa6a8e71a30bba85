#include "shell/AppDelegate.h"

#include "engine/FileDownloader.h"
#include "engine/Model.h"
#include "engine/WavSoundSource.h"
#include "platform/AppLifetime.h"
#include "platform/AppLog.h"
#include "platform/NotificationCenter.h"
#include "platform/PulseCaptureBackend.h"
#include "platform/PulseSoundPlayer.h"
#include "platform/SettingsStore.h"
#include "platform/TrustCheck.h"
#include "shell/ErrorReporting.h"
#include "shell/LaunchOnLogin.h"
#include "shell/MenuWindow.h"
#include "shell/Notice.h"
#include "shell/RecordingView.h"
#include "shell/RecordingWindow.h"
#include "shell/WhisperStateController.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

std::string removeEveryEn(const std::string& key) {
    std::string out;
    for (std::size_t i = 0; i < key.size();) {
        if (key.compare(i, 3, ".en") == 0) {
            i += 3;
        } else {
            out += key[i++];
        }
    }
    return out;
}

}  // namespace

AppDelegate::AppDelegate(SettingsStore& settings, Services services)
    : settings_(settings), services_(std::move(services)) {
    if (!services_.spawn) {
        services_.spawn = [this](Task task) {
            if (tasks_.start(std::move(task))) return;
            AppLog::error("A press could not be answered: the system refused a thread for it");
            showAlert(tr("Could not answer the press"),
                      tr("The system has no thread to spare for Vellumcaster right now, so the dictation was left as it "
                         "was. Try again in a moment, or close other programs."));
        };
    }
    if (!services_.startErrorReporting) services_.startErrorReporting = ErrorReporting::start;
    if (!services_.stopErrorReporting) services_.stopErrorReporting = ErrorReporting::stop;
    if (!services_.quitDeadline) {
        services_.quitDeadline = [] { return std::chrono::steady_clock::now() + AppLifetime::quitLimit; };
    }
    if (!services_.isTrusted) services_.isTrusted = [] { return TrustCheck().isTrusted(); };
    if (!services_.loginItemEnabled) services_.loginItemEnabled = LaunchOnLogin::isEnabled;
    if (!services_.setLoginItemEnabled) services_.setLoginItemEnabled = LaunchOnLogin::setEnabled;
    if (!services_.downloadModel) {
        // The downloader lives as long as the application, so the fetch runs on after start-up has returned.
        auto downloader = std::make_shared<FileDownloader>();
        // Without the default model the first dictation cannot work: say so now, and how to get the file.
        connect(downloader.get(), &FileDownloader::downloadFailed, this, [](const QString& error) {
            AppLog::error("The default speech model could not be downloaded (" + error.toStdString() + "). " +
                          DictationControl::missingModelMessage("small", "en"));
        });
        services_.downloadModel = [downloader](const std::string& url, const std::filesystem::path& destination) {
            downloader->download(url, destination);
        };
    }
    if (!services_.makeController) {
        services_.makeController = [](Recorder& recorder, Task onComplete) -> std::shared_ptr<TranscriptionController> {
            return std::make_shared<WhisperStateController>(WhisperState::create(std::move(onComplete), recorder));
        };
    }
    if (!services_.captureBackend) services_.captureBackend = std::make_shared<PulseCaptureBackend>();

    keyboardManager_ = std::make_unique<KeyboardManager>(settings_, services_.spawn);
    audioManager_ = std::make_unique<AudioManager>(settings_, services_.audioDevices);
    recorder_ = std::make_unique<Recorder>(services_.captureBackend);
    dictation_ = std::make_unique<DictationControl>(settings_, dictationEnvironment());

    connect(keyboardManager_.get(), &KeyboardManager::hotKeyRegistered, this, &AppDelegate::hotKeyRegistered);
    // "Launch on Start" takes effect when it is switched, not at the next start.
    connect(&settings_, &SettingsStore::valueChanged, this, [this](const QString& key) {
        if (key == QLatin1String("launchOnLogin")) applyLaunchOnLogin();
    });
    // A microphone or sound server lost during a recording: the recording had started, and the samples captured so
    // far stay with it, which the hot key still stops (and transcribes) or Escape discards.
    connect(recorder_.get(), &Recorder::captureFailed, this, [this](const QString& description) {
        showAlert(QStringLiteral("Recording stopped"),
                  description + QStringLiteral(" What was recorded until then is kept: stop the dictation with the hot "
                                               "key to transcribe it, or press Escape to discard it."));
    });
}

AppDelegate::~AppDelegate() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = services_.quitDeadline();
    // The presses' tasks and the recorder's heartbeats use the delegate's members: a quit waits for them, within its
    // share of the deadline.
    const Clock::time_point tasksUntil = std::min(Clock::now() + quitWait, deadline - quitMargin);
    const auto left = [&tasksUntil] {
        return std::max(std::chrono::ceil<std::chrono::milliseconds>(tasksUntil - Clock::now()),
                        std::chrono::milliseconds(0));
    };
    const Clock::time_point waitBegan = Clock::now();
    const bool ended = tasks_.waitForDone(left()) && recorder_->waitForHeartbeats(left());
    // Last, so that the errors of those tasks are still sent; what cannot be sent in the time left stays stored.
    if (errorReportingStarted_) {
        services_.stopErrorReporting(std::max(
            std::chrono::floor<std::chrono::milliseconds>(deadline - quitMargin - Clock::now()),
            std::chrono::milliseconds(0)));
    }
    if (!ended) {
        // Destroying what a running task uses would let it touch freed memory: the process ends here instead.
        const auto waited = std::chrono::floor<std::chrono::milliseconds>(Clock::now() - waitBegan);
        AppLog::errorAndEnd("A dictation task was still running " + std::to_string(waited.count()) +
                                " ms after the quit; the application ends without waiting for it",
                            EXIT_SUCCESS);
    }
}

void AppDelegate::post(Task task) { QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection); }

void AppDelegate::applicationDidFinishLaunching() {
    if (settings_.boolValue("errorLoggingEnabled", false)) {
        services_.startErrorReporting(services_.dsn);
        errorReportingStarted_ = true;
    }

    statusItem_.setImage(QStringLiteral("Icon"));
    statusItem_.setAction(&menu_, [this] { services_.spawn([this] { dictation_->toggleRecording(); }); });

    buildStatusMenu();
    if (!statusItem_.hasButton()) {
        AppLog::info("No system tray found; the menu is shown in a window of its own");
        showMenuWindow();
    }
    // The menu window stands in for the tray icon only while there is no tray.
    connect(&statusItem_, &StatusItem::hasButtonChanged, this, [this](bool hasButton) {
        if (!hasButton) {
            AppLog::info("The system tray went away; the menu is shown in a window of its own");
            showMenuWindow();
        } else if (menuWindow_) {
            AppLog::info("A system tray came up; the menu window is hidden");
            menuWindow_->hide();
        }
    });
    statusItem_.watchTray(2000);
    setUpLaunchAtLogin();
    if (!services_.isTrusted() && services_.showOnboarding) services_.showOnboarding();
    migrateModelKeys();
    ensureDefaultModel();

    keyboardManager_->toggleRecord = [this] { dictation_->toggleRecording(); };
    keyboardManager_->cancelRecord = [this] { dictation_->cancelRecording(); };
    keyboardManager_->registerHotKey();
}

void AppDelegate::buildStatusMenu() {
    // The hot key is shown once it is registered; it is global, not a shortcut of the menu.
    QAction* start = menu_.addAction(QStringLiteral("Start dictating"));
    startDictatingMenuItem_ = start;
    connect(start, &QAction::triggered, this, [this] { services_.spawn([this] { dictation_->toggleRecording(); }); });

    QAction* history = menu_.addAction(QStringLiteral("View dictation history"));
    connect(history, &QAction::triggered, this, [this] {
        if (services_.presentContentView) services_.presentContentView();
    });

    menu_.addSeparator();
    QAction* version = menu_.addAction(QStringLiteral("Version " VC_APP_VERSION));
    version->setEnabled(false);

    checkForUpdatesMenuItem_ = menu_.addAction(QStringLiteral("Check for Updates..."));
    connect(checkForUpdatesMenuItem_, &QAction::triggered, &updaterController_, &Updater::checkForUpdates);

    QAction* settingsItem = menu_.addAction(QStringLiteral("Settings..."));
    settingsItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settingsItem, &QAction::triggered, this, [this] {
        if (services_.showSettings) services_.showSettings();
    });

    menu_.addSeparator();
    QAction* quit = menu_.addAction(QStringLiteral("Quit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void AppDelegate::showMenuWindow() {
    if (!menuWindow_) menuWindow_ = std::make_unique<MenuWindow>(menu_, statusItem_, *keyboardManager_);
    menuWindow_->present();
}

void AppDelegate::hotKeyRegistered(bool accepted) {
    if (accepted) {
        // After a tab, a menu shows the text as the item's shortcut, under the same names as everywhere else (a
        // shortcut of its own would be shown with Qt's names).
        if (startDictatingMenuItem_) {
            startDictatingMenuItem_->setText(QStringLiteral("Start dictating\t") + keyboardManager_->hotKeyText());
        }
        if (hotKeyNotice_) hotKeyNotice_->close();
        return;
    }
    const QString combination = keyboardManager_->hotKeyText();
    const QString title = QStringLiteral("Hot key %1 unavailable").arg(combination);
    const QString message = QStringLiteral("Could not register %1 as the hot key for dictation: another program may be "
                                           "using it. Choose another shortcut in Settings... > Settings > Shortcut.")
                                .arg(combination);
    AppLog::error(message.toStdString());
    // The menu must not claim a shortcut that does nothing.
    if (startDictatingMenuItem_) {
        startDictatingMenuItem_->setText(QStringLiteral("Start dictating (%1 unavailable)").arg(combination));
    }
    if (statusItem_.hasButton()) {
        statusItem_.showMessage(title, message);
        return;
    }
    // Shown at start-up, often at login, where the window the user is typing in keeps the keyboard.
    if (!hotKeyNotice_) hotKeyNotice_ = new Notice(QMessageBox::Warning, title);
    hotKeyNotice_->present(message);
}

void AppDelegate::setUpLaunchAtLogin() {
    applyLaunchOnLogin();
    settings_.setBool("hasLaunchedBefore", true);
}

void AppDelegate::applyLaunchOnLogin() {
    const bool launchOnLogin = settings_.boolValue("launchOnLogin", false);
    const bool enabled = services_.loginItemEnabled();
    if (launchOnLogin && !enabled) services_.setLoginItemEnabled(true);
    // A user who switched the setting off must not keep launching at login.
    if (!launchOnLogin && enabled) services_.setLoginItemEnabled(false);
}

void AppDelegate::migrateModelKeys() {
    const std::string active = settings_.stringValue("activeModelKey", "small");
    settings_.setString("activeModelKey", removeEveryEn(active));
}

void AppDelegate::ensureDefaultModel() {
    if (isModelDownloaded("small", "en")) return;
    const std::string fileName = modelFileName("small", "en");
    services_.downloadModel(modelRepositoryBaseURL() + fileName, modelsFolderURL() / fileName);
}

void AppDelegate::showRecordingWindow() {
    post([this] {
        if (!recordingWindow_) {
            const auto controller = dictation_->controller();
            if (!controller) return;
            auto* view = new RecordingView(settings_);
            const auto refreshFromController = [view, c = controller.get()] {
                view->setState(c->currentState());
                view->setRealtimeText(c->realtimeText());
                view->setResultText(c->resultText());
            };
            connect(controller.get(), &TranscriptionController::changed, view, refreshFromController);
            connect(recorder_.get(), &Recorder::reducedSamplesChanged, view,
                    [this, view] { view->setReducedSamples(recorder_->reducedSamples()); });
            refreshFromController();
            view->setReducedSamples(recorder_->reducedSamples());
            recordingView_ = view;
            recordingWindow_ = std::make_unique<RecordingWindow>(view);
        }
        recordingWindow_->present();
    });
}

void AppDelegate::hideRecordingWindow() {
    post([this] {
        if (recordingWindow_) recordingWindow_->hide();
    });
}

void AppDelegate::showAlert(const QString& title, const std::optional<QString>& message) {
    post([this, title, text = message.value_or(QString())] {
        // One alert at a time: an error while one is shown (the next press of the hot key fails the same way) takes
        // its place instead of piling up another window. A closed alert is on its way out and is not reused.
        if (!alert_ || !alert_->isVisible()) alert_ = new Notice(QMessageBox::Critical, title);
        alert_->setWindowTitle(title);
        alert_->setText(title);
        alert_->present(text);
    });
}

void AppDelegate::showNotStored(const QString& message) {
    // The text is pasted into the focused window after this is shown (the paste waits for the hot key's modifiers to
    // be let go).
    if (!notStoredNotice_ || !notStoredNotice_->isVisible()) {
        notStoredNotice_ = new Notice(QMessageBox::Warning, QStringLiteral("Could not save the dictation"));
    }
    notStoredNotice_->present(message);
}

DictationControl::Environment AppDelegate::dictationEnvironment() {
    DictationControl::Environment env;
    env.makeController = [this](DictationControl::Task onComplete) {
        auto controller = services_.makeController(*recorder_, std::move(onComplete));
        connect(controller.get(), &TranscriptionController::recordingNotStored, this, &AppDelegate::showNotStored);
        connect(controller.get(), &TranscriptionController::noSoundCaptured, this,
                [this](const QString& message) { showAlert(QStringLiteral("No sound from the microphone"), message); });
        connect(controller.get(), &TranscriptionController::recognitionFailed, this,
                [this](const QString& message) { showAlert(tr("Transcription failed"), message); });
        return controller;
    };
    env.setStatusImage = [this](const QString& name) { post([this, name] { statusItem_.setImage(name); }); };
    env.showRecordingWindow = [this] { showRecordingWindow(); };
    env.hideRecordingWindow = [this] { hideRecordingWindow(); };
    env.registerEscapeHotKey = [this] { post([this] { keyboardManager_->registerEscapeHotKey(Key::escape, {}); }); };
    env.dropEscapeHotKey = [this] { post([this] { keyboardManager_->resetHotKeyEscape(); }); };
    env.showAlert = [this](const QString& title, const std::optional<QString>& message) { showAlert(title, message); };
    // Observers such as the history window touch widgets, so the notification is posted on the GUI thread.
    env.postRecordingComplete = [this] {
        post([] { NotificationCenter::defaultCenter().post(QStringLiteral("recordingComplete")); });
    };
    env.playSound = [this](const QString& resource, float volume) {
        post([this, resource, volume] {
            // Compiled into the application: read from memory, never from a disk.
            QFile file(resource);
            if (!file.open(QIODevice::ReadOnly)) return;
            const QByteArray bytes = file.readAll();
            // The sound reaches the server off this thread; one that cannot play is skipped, with a log line.
            completionSound_ = std::make_unique<PulseSoundPlayer>(WavSoundSource::data(
                bytes.toStdString(), "the sound " + QFileInfo(resource).completeBaseName().toStdString()));
            completionSound_->setVolume(volume);
            completionSound_->play();
        });
    };
    env.after = [this](int milliseconds, DictationControl::Task task) {
        post([this, milliseconds, task = std::move(task)] { QTimer::singleShot(milliseconds, this, task); });
    };
    return env;
}
