#include "PictureWriter.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QVariantAnimation>
#include <QWidget>

namespace {

// A window of one colour, which a test changes over time.
class Swatch : public QWidget {
public:
    Swatch() { resize(40, 40); }
    QColor colour = Qt::red;

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), colour); }
};

QColor centreOf(const QString& file) {
    const QImage image(file);
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

}  // namespace

TEST(PictureWriter, WaitsForAnimationsAndBackgroundWorkBeforeTheGrab) {
    QTemporaryDir dir;
    PictureWriter out(dir.path());
    Swatch window;
    window.show();

    // An animation from red to blue: the picture shows where it ends.
    auto* fade = new QVariantAnimation(&window);
    fade->setStartValue(QColor(Qt::red));
    fade->setEndValue(QColor(Qt::blue));
    fade->setDuration(300);
    QObject::connect(fade, &QVariantAnimation::valueChanged, &window, [&](const QVariant& v) {
        window.colour = v.value<QColor>();
        window.update();
    });
    fade->start();
    out.save(&window, "faded");
    EXPECT_EQ(centreOf(dir.filePath("faded.png")).rgb(), QColor(Qt::blue).rgb());

    // A task in the background that posts its result back, as the history's loads do.
    QPointer<Swatch> guard(&window);
    QThreadPool::globalInstance()->start([guard] {
        QThread::msleep(150);
        QMetaObject::invokeMethod(
            guard.data(),
            [guard] {
                guard->colour = Qt::green;
                guard->update();
            },
            Qt::QueuedConnection);
    });
    out.save(&window, "loaded");
    EXPECT_EQ(centreOf(dir.filePath("loaded.png")).rgb(), QColor(Qt::green).rgb());
    EXPECT_EQ(out.written(), 2);
}
