#include "shell/StatusItem.h"

#include <QCursor>
#include <QGuiApplication>
#include <QHash>
#include <QLoggingCategory>
#include <QMenu>

// Status changes are traced here for whoever enables the category (QT_LOGGING_RULES="vellumcaster.status.info=true").
Q_LOGGING_CATEGORY(statusLog, "vellumcaster.status", QtWarningMsg)

StatusItem::StatusItem(QObject* parent) : QObject(parent), tray_(std::make_unique<QSystemTrayIcon>()) {
    tray_->setToolTip(QStringLiteral("Vellumcaster"));
    connect(tray_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        click(reason, QGuiApplication::queryKeyboardModifiers());
    });
    // Qt puts the icon into a tray that comes later by itself, but tells nobody. A look costs at most a round trip
    // to the X server (Qt follows a tray it has found from the server's events).
    connect(&trayWatch_, &QTimer::timeout, this, [this] {
        const bool has = hasButton();
        if (has == hadButton_) return;
        hadButton_ = has;
        emit hasButtonChanged(has);
    });
}

StatusItem::~StatusItem() = default;

StatusItem::ClickResult StatusItem::route(QSystemTrayIcon::ActivationReason reason, Qt::KeyboardModifiers modifiers) {
    switch (reason) {
    case QSystemTrayIcon::Context:
        return ClickResult::OpenMenu;
    // The second click of a double click is a left click like the first.
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick:
        return (modifiers & Qt::ControlModifier) ? ClickResult::OpenMenu : ClickResult::Toggle;
    default:
        // Only the left and right buttons act on the icon.
        return ClickResult::Ignore;
    }
}

QIcon StatusItem::image(const QString& name) {
    // Drawn from their SVG files once, at the first use (at start), at the sizes the tray and the windows show, and
    // shown as drawn: drawing splits its fills over Qt's thread pool and waits for every part, which a change of state
    // must not do. One icon per image for the whole run: an icon keeps the pixmaps it scales in the application's
    // pixmap cache under a key of its own, so icons made afresh would pile up there. Released with the application,
    // before the icon plugin goes.
    static QHash<QString, QIcon> images;
    if (images.isEmpty()) {
        for (const char* imageName : {"Icon", "IconLoading", "IconRecording", "IconWorking", "IconComplete"}) {
            const QIcon drawing(QStringLiteral(":/%1.svg").arg(QLatin1String(imageName)));
            QIcon drawn;
            for (const int size : {16, 18, 22, 24, 32, 48, 64}) drawn.addPixmap(drawing.pixmap(size, size));
            images.insert(QLatin1String(imageName), drawn);
        }
        qAddPostRoutine([] { images.clear(); });
    }
    return images.value(name);
}

bool StatusItem::hasButton() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void StatusItem::watchTray(int intervalMilliseconds) {
    hadButton_ = hasButton();
    trayWatch_.start(intervalMilliseconds);
}

void StatusItem::setImage(const QString& name) {
    imageName_ = name;
    tray_->setIcon(image(name));
    // The tray shows nothing until it has an icon; showing it with the first image keeps an empty slot away.
    if (!tray_->isVisible()) tray_->show();
    qCInfo(statusLog).noquote() << "status image" << name;
    emit imageChanged(name);
}

void StatusItem::showMessage(const QString& title, const QString& message) {
    qCInfo(statusLog).noquote() << "status message" << title;
    tray_->showMessage(title, message, QSystemTrayIcon::Warning, 15000);
}

void StatusItem::setAction(QMenu* menu, std::function<void()> onToggle) {
    menu_ = menu;
    onToggle_ = std::move(onToggle);
}

void StatusItem::click(QSystemTrayIcon::ActivationReason reason, Qt::KeyboardModifiers modifiers) {
    switch (route(reason, modifiers)) {
    case ClickResult::OpenMenu:
        if (menu_) menu_->popup(QCursor::pos());
        return;
    case ClickResult::Toggle:
        if (onToggle_) onToggle_();
        return;
    case ClickResult::Ignore:
        return;
    }
}
