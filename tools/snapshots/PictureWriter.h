#pragma once

#include <QString>
#include <utility>

class QWidget;

// Saves windows as PNG files in one folder, each over an opaque desktop colour, as a compositor would show the
// translucent windows.
class PictureWriter {
public:
    explicit PictureWriter(QString dir) : dir_(std::move(dir)) {}

    // Lets pending events settle, sizes the window to its content and writes `<name>.png`.
    void save(QWidget* window, const QString& name);
    int written() const { return written_; }

private:
    QString dir_;
    int written_ = 0;
};
