#include "platform/AppLog.h"
#include "platform/InstanceChannel.h"
#include "platform/InstanceLock.h"
#include "platform/QtPoolThreads.h"
#include "platform/SettingsStore.h"
#include "platform/TerminationSignals.h"
#include "shell/AppDelegate.h"
#include "shell/AppWindows.h"
#include "shell/ErrorReporting.h"
#include "shell/GuiThreadExecutor.h"
#include "shell/SecondStart.h"
#include "ui/WindowContents.h"

#include "Duvidu/DuviduBundleInfo.h"

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vellumcaster"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vellumcaster"));
    QApplication::setApplicationVersion(QStringLiteral(VC_APP_VERSION));
    // A tray application: closing its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    // A logout's SIGTERM and a terminal's Ctrl+C end the application as "Quit" does.
    const TerminationSignals terminationSignals([] { QCoreApplication::quit(); });

    // One instance per user: a second one would run without its hot key and write the same store.
    const InstanceLock instanceLock;
    if (instanceLock.state() == InstanceLock::State::heldByAnother) {
        return SecondStart::run(InstanceChannel::defaultSocket());
    }

    // Before anything is drawn.
    if (!QtPoolThreads::startAll(std::chrono::seconds(1))) {
        AppLog::error("The system refused threads for drawing at start; windows may stop being redrawn");
    }

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

    AppDelegate delegate(SettingsStore::standard(), std::move(services));
    windows =
        std::make_unique<AppWindows>(delegate.keyboardManager(), delegate.audioManager(), contents, delegate.menu());
    InstanceChannel channel(InstanceChannel::defaultSocket(), [&delegate](const std::string& request) {
        return SecondStart::answer(request, [&delegate] { delegate.showMenuWindow(); });
    });
    QTimer::singleShot(0, &delegate, [&] {
        delegate.applicationDidFinishLaunching();
        // A second start is answered once the menu, whose shortcuts the windows take over, is built.
        if (instanceLock.state() == InstanceLock::State::held) channel.listen();
    });
    const int result = app.exec();
    windows.reset();
    return result;
}
