#include "shell/Updater.h"

#include <QMessageBox>

Updater::Updater(QObject* parent) : QObject(parent) {}

QString Updater::message() {
    return QStringLiteral("Vellumcaster %1 is updated by your system's package manager. Install updates through it "
                          "(for example with apt) to get the newest version.")
        .arg(QStringLiteral(VC_APP_VERSION));
}

void Updater::checkForUpdates() {
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Check for Updates"), message(),
                                QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    box->raise();
    box->activateWindow();
}
