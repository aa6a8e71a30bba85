#pragma once

#include <QWidget>

class KeyboardManager;
class QLabel;
class QMenu;
class StatusItem;

// The status menu's home on a desktop without a system tray: a small window that shows the status image and the
// dictation hot key, as the tray icon and its menu would, and a button for each item of the menu, which triggers that
// item's own action. It never takes the keyboard focus, not even when clicked: a start at login must not get in the way
// of what the user is typing, and a dictation started or stopped here is pasted into the window the user was typing
// in. So it is used by mouse only (no Tab, no Return, no menu shortcuts here; the hot keys work as everywhere).
// Closing it only hides it. GUI thread only.
class MenuWindow : public QWidget {
    Q_OBJECT

public:
    MenuWindow(const QMenu& menu, const StatusItem& statusItem, const KeyboardManager& keyboardManager,
               QWidget* parent = nullptr);

    // Shows the window, or brings it back in front, leaving the focus where it is.
    void present();

protected:
    // Keeps the right edge where it is when the window grows or shrinks with its texts (the hot key's line changes once
    // the hot key is registered, or refused), so that a window at the screen's right edge stays on screen.
    void resizeEvent(QResizeEvent* event) override;

private:
    // Its distance from the screen's edges.
    static constexpr int margin = 24;

    void addItems(const QMenu& menu);
    void showImage(const QString& name);
    void showHotKey(const KeyboardManager& keyboardManager);

    QLabel* image_;
    QLabel* state_;
    QLabel* hotKey_;
};
