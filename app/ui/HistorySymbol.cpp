#include "ui/HistorySymbol.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

// Every symbol is drawn on a 24 x 24 grid.
void drawSymbol(QPainter& p, const QString& name, const QColor& color) {
    QPen pen(color, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    if (name == QLatin1String("magnifyingglass")) {
        p.drawEllipse(QPointF(10, 10), 6.5, 6.5);
        pen.setWidthF(2.6);
        p.setPen(pen);
        p.drawLine(QPointF(15, 15), QPointF(21, 21));
    } else if (name == QLatin1String("play.circle.fill") || name == QLatin1String("pause.circle.fill")) {
        // A filled disc with the glyph cut out of it.
        QPainterPath disc;
        disc.addEllipse(QPointF(12, 12), 11, 11);
        QPainterPath glyph;
        if (name.startsWith(QLatin1String("play"))) {
            glyph.moveTo(9.5, 7);
            glyph.lineTo(17.5, 12);
            glyph.lineTo(9.5, 17);
            glyph.closeSubpath();
        } else {
            glyph.addRoundedRect(QRectF(8, 7, 3, 10), 1, 1);
            glyph.addRoundedRect(QRectF(13, 7, 3, 10), 1, 1);
        }
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawPath(disc.subtracted(glyph));
    } else if (name == QLatin1String("brain")) {
        pen.setWidthF(1.6);
        p.setPen(pen);
        p.drawEllipse(QRectF(3, 4, 9, 8));
        p.drawEllipse(QRectF(12, 4, 9, 8));
        p.drawEllipse(QRectF(3, 11, 9, 9));
        p.drawEllipse(QRectF(12, 11, 9, 9));
        p.drawLine(QPointF(12, 4), QPointF(12, 20));
    } else if (name == QLatin1String("globe.asia.australia.fill")) {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        QPainterPath globe;
        globe.addEllipse(QPointF(12, 12), 10, 10);
        QPainterPath sea;
        sea.addEllipse(QRectF(4, 6, 7, 5));
        sea.addEllipse(QRectF(12, 13, 7, 5));
        p.drawPath(globe.subtracted(sea));
    } else if (name == QLatin1String("shippingbox")) {
        pen.setWidthF(1.6);
        p.setPen(pen);
        QPolygonF box;
        box << QPointF(12, 2.5) << QPointF(21, 7) << QPointF(21, 17) << QPointF(12, 21.5) << QPointF(3, 17)
            << QPointF(3, 7);
        p.drawPolygon(box);
        p.drawPolyline(QPolygonF{QPointF(3, 7), QPointF(12, 11.5), QPointF(21, 7)});
        p.drawLine(QPointF(12, 11.5), QPointF(12, 21.5));
    } else if (name == QLatin1String("clock")) {
        pen.setWidthF(1.8);
        p.setPen(pen);
        p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
        p.drawPolyline(QPolygonF{QPointF(12, 6), QPointF(12, 12), QPointF(16, 14)});
    } else if (name == QLatin1String("calendar")) {
        pen.setWidthF(1.6);
        p.setPen(pen);
        p.drawRoundedRect(QRectF(3, 4.5, 18, 16.5), 3, 3);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawRect(QRectF(3, 4.5, 18, 4));
        for (int row = 0; row < 2; ++row) {
            for (int column = 0; column < 4; ++column) p.drawRect(QRectF(5.5 + column * 3.6, 11 + row * 4, 2, 2));
        }
    }
}

}  // namespace

QPixmap HistorySymbol::pixmap(const QString& name, int size, const QColor& color, qreal devicePixelRatio) {
    const int pixels = static_cast<int>(std::ceil(size * devicePixelRatio));
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 24.0, size / 24.0);
    drawSymbol(p, name, color);
    return pixmap;
}

QIcon HistorySymbol::icon(const QString& name, int size) {
    QIcon icon;
    icon.addPixmap(pixmap(name, size, Qt::black, 1.0));
    icon.addPixmap(pixmap(name, size, Qt::black, 2.0));
    return icon;
}
