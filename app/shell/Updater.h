#pragma once

#include <QObject>

class QWidget;

// The application's updater. Installed builds are updated by the system's package manager, so checking for updates
// tells the user where updates come from instead of fetching anything.
class Updater : public QObject {
    Q_OBJECT

public:
    explicit Updater(QObject* parent = nullptr);

    static QString message();

public slots:
    // Shows the explanation in a small dialog; returns at once.
    void checkForUpdates();
};
