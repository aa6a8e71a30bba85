#include "shell/SecondStart.h"

#include "platform/AppLog.h"
#include "platform/InstanceChannel.h"

#include <QApplication>
#include <QMessageBox>
#include <QSystemTrayIcon>

int SecondStart::run(const std::filesystem::path& socket, const std::function<void()>& startFinished) {
    AppLog::info("Vellumcaster is already running");
    const bool trayShown = QSystemTrayIcon::isSystemTrayAvailable();
    if (!trayShown && InstanceChannel::ask(socket, showMenuRequest, answerTimeoutMs) == menuShownAnswer) {
        AppLog::info("This desktop has no system tray: the running instance shows its menu window");
        return 0;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Vellumcaster"),
                    QStringLiteral("Vellumcaster is already running."), QMessageBox::Ok);
    box.setInformativeText(trayShown ? QStringLiteral("Its icon is in the system tray.")
                                     : QStringLiteral("This desktop has no system tray for its icon, and it did not "
                                                      "show its menu window when asked to."));
    QObject::connect(&box, &QDialog::finished, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    startFinished();
    box.open();
    return QApplication::exec();
}

std::string SecondStart::answer(const std::string& request, const std::function<void()>& showMenu) {
    if (request != showMenuRequest) return "unknown";
    AppLog::info("A second start asks for the menu window");
    showMenu();
    return menuShownAnswer;
}
