#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>
#include <memory>

class QMenu;

// The application's icon in the system tray. It shows one of the status images by name and routes clicks: a right
// click, or a left click with Control held, opens the status menu; every other left click toggles dictation, and
// other buttons do nothing. The menu is not attached to the tray icon, so the shell decides what each click does.
// GUI thread only.
class StatusItem : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString imageName READ imageName NOTIFY imageChanged)

public:
    enum class ClickResult { OpenMenu, Toggle, Ignore };

    explicit StatusItem(QObject* parent = nullptr);
    ~StatusItem() override;

    // Where a click with this reason and these held modifiers goes.
    static ClickResult route(QSystemTrayIcon::ActivationReason reason, Qt::KeyboardModifiers modifiers);

    // The status image of that name, drawn at start from the application's resources; a null icon when there is none.
    static QIcon image(const QString& name);

    // Whether the session has a tray to show the icon in (the platform's "status item has a button").
    bool hasButton() const;
    // Looks every `intervalMilliseconds` for a tray coming or going (a tray host often starts after the application,
    // at login), and tells each change with hasButtonChanged.
    void watchTray(int intervalMilliseconds);

    // Shows the named status image; a name without a resource shows no image. The name is kept either way.
    void setImage(const QString& name);
    const QString& imageName() const { return imageName_; }

    // Shows a notification from the tray icon; it goes away by itself.
    void showMessage(const QString& title, const QString& message);

    // Connects clicks: `onToggle` runs for a toggling click; an opening click pops `menu` up at the pointer.
    void setAction(QMenu* menu, std::function<void()> onToggle);
    // Handles one click as the tray reports it.
    void click(QSystemTrayIcon::ActivationReason reason, Qt::KeyboardModifiers modifiers);

signals:
    void imageChanged(const QString& name);
    void hasButtonChanged(bool hasButton);

private:
    std::unique_ptr<QSystemTrayIcon> tray_;
    QString imageName_;
    QMenu* menu_ = nullptr;
    std::function<void()> onToggle_;
    QTimer trayWatch_;
    bool hadButton_ = false;
};
