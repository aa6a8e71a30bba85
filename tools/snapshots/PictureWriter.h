#pragma once

#include <QString>
#include <utility>

class QWidget;

// Saves windows as PNG files in one folder, each over an opaque desktop colour, as a compositor would show the
// translucent windows.
class PictureWriter {
public:
    explicit PictureWriter(QString dir) : dir_(std::move(dir)) {}

    // Waits until the window is at rest, sizes it to its content and writes `<name>.png`.
    void save(QWidget* window, const QString& name);
    int written() const { return written_; }

    // Serves events until the window is at rest: none of its animations runs and no background task (a history load,
    // a waveform read) is still under way, twice in a row, so that what such a task posts back has been shown too.
    // Gives up after ten seconds.
    static void settle(QWidget* window);

private:
    QString dir_;
    int written_ = 0;
};
