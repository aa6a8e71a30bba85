#include "platform/AppLifetime.h"
#include "platform/AppLog.h"
#include "platform/InstanceChannel.h"
#include "platform/InstanceLock.h"
#include "platform/OutputWriter.h"
#include "platform/QtPoolThreads.h"
#include "platform/SettingsStore.h"
#include "shell/AppDelegate.h"
#include "shell/AppWindows.h"
#include "shell/ErrorReporting.h"
#include "shell/GuiThreadExecutor.h"
#include "shell/SecondStart.h"
#include "ui/WindowContents.h"

#include "Duvidu/DuviduBundleInfo.h"

#include <QApplication>
#include <QDBusConnection>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <memory>

namespace {

// Qt's messages (its own warnings, the status lines) go out as Qt would write them, through the writer that never
// waits on a reader. A fatal one ends the process right after the handler: it gets its moment to go out.
void writeQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    OutputWriter::write(OutputWriter::Stream::error, qFormatLogMessage(type, context, message).toStdString());
    if (type == QtFatalMsg) OutputWriter::flush(AppLog::endFlushLimit);
}

}  // namespace

int main(int argc, char** argv) {
    // First, so that a start that cannot finish, and a quit that cannot end, are ended all the same.
    AppLifetime& lifetime = AppLifetime::watch();
    qInstallMessageHandler(writeQtMessage);
    lifetime.setStartStage("connecting to the X server");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vellumcaster"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vellumcaster"));
    QApplication::setApplicationVersion(QStringLiteral(VC_APP_VERSION));
    // A tray application: closing its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    // The quit's deadline runs from the end of the event loop, whatever ended it; connected first, so that it runs
    // before anything else that the end of the loop starts.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&lifetime] { lifetime.quitStarted(); });
    // A logout's SIGTERM and a terminal's Ctrl+C end the application as "Quit" does.
    lifetime.setQuitRequest([&app] { QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection); });

    // One instance per user: a second one would run without its hot key and write the same store.
    lifetime.setStartStage("checking for a running Vellumcaster");
    const InstanceLock instanceLock;
    if (instanceLock.state() == InstanceLock::State::heldByAnother) {
        return SecondStart::run(InstanceChannel::defaultSocket(), [&lifetime] { lifetime.startFinished(); });
    }

    // The tray icon talks over the session bus, whose connection waits for a thread of Qt's own: it gets that thread
    // before the drawing thread takes one.
    lifetime.setStartStage("opening the session bus");
    QDBusConnection::sessionBus();
    // Before anything is drawn.
    lifetime.setStartStage("starting the thread for drawing");
    if (!QtPoolThreads::start(std::chrono::seconds(3))) {
        // Nothing is written yet; Qt's own end would wait for the refused thread for ever.
        AppLog::errorAndEnd("Vellumcaster cannot start: the system refused the thread it needs for drawing (a limit "
                            "on the number of tasks may be reached). Start it again once that is resolved.",
                            EXIT_FAILURE);
    }

    lifetime.setStartStage("setting up the tray icon, the hot keys and the devices");
    duvidu::DuviduMainThreadExecutor::setShared(std::make_shared<GuiThreadExecutor>());
    // Events and sessions carry the release made of these.
    duvidu::DuviduBundleInfo::setCurrent(
        duvidu::DuviduBundleInfo{"com.brindlefox.vellumcaster", VC_APP_VERSION, VC_APP_BUILD, "vellumcaster"});

    // The shell opens the windows that this composition's factory makes; they need the delegate's managers, so their
    // openers reach them once both exist.
    WindowContents contents;
    std::unique_ptr<AppWindows> windows;
    AppDelegate::Services services;
    services.dsn = ErrorReporting::configuredDsn(VC_DUVIDU_DSN);
    services.showSettings = [&windows] { windows->showSettings(); };
    services.showOnboarding = [&windows] { windows->showOnboarding(); };
    services.presentContentView = [&windows] { windows->presentContentView(); };
    services.quitDeadline = [&lifetime] { return lifetime.quitStarted(); };

    AppDelegate delegate(SettingsStore::standard(), std::move(services));
    windows =
        std::make_unique<AppWindows>(delegate.keyboardManager(), delegate.audioManager(), contents, delegate.menu());
    InstanceChannel channel(InstanceChannel::defaultSocket(), [&delegate](const std::string& request) {
        return SecondStart::answer(request, [&delegate] { delegate.showMenuWindow(); });
    });
    QTimer::singleShot(0, &delegate, [&] {
        lifetime.setStartStage("finishing the start (error reporting, the tray icon and its menu, the hot key)");
        delegate.applicationDidFinishLaunching();
        // A second start is answered once the menu, whose shortcuts the windows take over, is built.
        if (instanceLock.state() == InstanceLock::State::held) channel.listen();
        // Finished once the event loop has come round again, past the first drawing of what the start showed.
        lifetime.setStartStage("drawing the first windows");
        QTimer::singleShot(0, &delegate, [&lifetime] { lifetime.startFinished(); });
    });
    const int result = app.exec();
    windows.reset();
    return result;
}
