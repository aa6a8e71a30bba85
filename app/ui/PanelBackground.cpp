#include "ui/PanelBackground.h"

#include <QPainter>
#include <QPainterPath>

void PanelBackground::paint(QPainter& painter, const QRectF& rect, bool dark) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QPainterPath card;
    card.addRoundedRect(rect, cornerRadius, cornerRadius);

    // The shadow: rings of falling opacity outside the card stand in for a blur of radius 2; they stay outside so
    // that they do not darken the translucent card.
    QPainterPath outside;
    outside.addRect(rect.adjusted(-4, -4, 4, 4));
    painter.setClipPath(outside.subtracted(card));
    constexpr qreal shadowOpacity = 0.33;
    for (int ring = 2; ring >= 1; --ring) {
        QPainterPath path;
        path.addRoundedRect(rect.adjusted(-ring, -ring, ring, ring), cornerRadius + ring, cornerRadius + ring);
        painter.setBrush(QColor(0, 0, 0, static_cast<int>(255 * shadowOpacity / (ring + 1))));
        painter.drawPath(path);
    }
    painter.setClipping(false);

    QColor fill = dark ? QColor(Qt::black) : QColor(Qt::white);
    fill.setAlphaF(0.4);
    painter.setBrush(fill);
    painter.drawPath(card);
    painter.restore();
}

bool PanelBackground::isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}
