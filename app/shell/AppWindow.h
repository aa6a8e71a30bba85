#pragma once

#include <QWidget>

class VisualEffectView;

// The recipe of the application's ordinary windows (onboarding, settings, history): a closable, minimisable window
// that the user cannot resize, whose size comes from its content, over a translucent background, centred on the
// screen. The content is hosted over the whole window.
class AppWindow : public QWidget {
    Q_OBJECT

public:
    // Takes ownership of `root`.
    explicit AppWindow(QWidget* root, QWidget* parent = nullptr);

    QWidget* root() const { return root_; }
    VisualEffectView* background() const { return background_; }

    // Shows the window and brings it to the front, also while the application is not the active one.
    void bringToFront();

private:
    QWidget* root_;
    VisualEffectView* background_;
};
