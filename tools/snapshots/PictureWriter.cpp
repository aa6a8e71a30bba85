#include "PictureWriter.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

void PictureWriter::save(QWidget* window, const QString& name) {
    QCoreApplication::processEvents();
    window->adjustSize();
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
