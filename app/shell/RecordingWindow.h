#pragma once

#include <QWidget>

// The floating panel that holds the recording view while the user dictates. It stays above ordinary windows, has no
// frame and no task-bar entry, and never takes the keyboard focus: the synthetic paste at the end of a dictation must
// reach the application the user was typing in. The user can drag it by any part of it. Built once and then shown
// and hidden; it is centred only when first built, so a dragged panel keeps its place. Its corners are rounded: by
// translucency where a compositing manager runs, else by the window's shape.
class RecordingWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int cornerRadius = 16;

    // Takes ownership of `content`, which decides the panel's size.
    explicit RecordingWindow(QWidget* content);

    QWidget* content() const { return content_; }

    // Brings the panel to the front without activating it.
    void present();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void updateShape();

    QWidget* content_;
};
