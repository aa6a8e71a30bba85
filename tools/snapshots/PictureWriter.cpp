#include "PictureWriter.h"

#include <QAbstractAnimation>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QThread>
#include <QThreadPool>
#include <QWidget>

#include <algorithm>

void PictureWriter::settle(QWidget* window) {
    const auto atRest = [window] {
        const auto animations = window->findChildren<QAbstractAnimation*>();
        const bool animating = std::any_of(animations.begin(), animations.end(), [](const QAbstractAnimation* a) {
            return a->state() == QAbstractAnimation::Running;
        });
        return !animating && QThreadPool::globalInstance()->activeThreadCount() == 0;
    };
    QElapsedTimer clock;
    clock.start();
    int quiet = 0;
    while (quiet < 2 && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        quiet = atRest() ? quiet + 1 : 0;
        if (quiet < 2) QThread::msleep(5);
    }
}

void PictureWriter::save(QWidget* window, const QString& name) {
    settle(window);
    window->adjustSize();
    settle(window);
    // The window paints itself at the screen's own scale: rendered through an outside painter of another scale, a
    // child with a graphics effect (the model page's blur) is drawn offset by its position a second time.
    const QPixmap shot = window->grab();
    QImage image(shot.size(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(shot.devicePixelRatio());
    image.fill(QColor(0x3c, 0x44, 0x50));
    {
        QPainter painter(&image);
        painter.drawPixmap(0, 0, shot);
    }
    if (image.save(dir_ + "/" + name + ".png")) ++written_;
}
