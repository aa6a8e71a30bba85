#include "ui/PanelBackground.h"

#include <QCache>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// One pass of a box blur of radius `r` along rows (`step` 1) or columns (`step` = width) of an alpha plane.
void boxBlur(std::vector<float>& alpha, int width, int height, int r, bool rows) {
    const int lines = rows ? height : width;
    const int length = rows ? width : height;
    const int step = rows ? 1 : width;
    std::vector<float> line(static_cast<std::size_t>(length));
    for (int l = 0; l < lines; ++l) {
        float* first = alpha.data() + (rows ? l * width : l);
        for (int i = 0; i < length; ++i) line[static_cast<std::size_t>(i)] = first[i * step];
        float sum = 0;
        for (int i = -r; i <= r; ++i) sum += line[static_cast<std::size_t>(std::clamp(i, 0, length - 1))];
        for (int i = 0; i < length; ++i) {
            first[i * step] = sum / static_cast<float>(2 * r + 1);
            sum += line[static_cast<std::size_t>(std::min(i + r + 1, length - 1))];
            sum -= line[static_cast<std::size_t>(std::max(i - r, 0))];
        }
    }
}

// The shadow of a card of `size` at `ratio` device pixels per point: the card's shape blurred (three box passes
// approximate a Gaussian) in a frame `shadowMargin` larger on every side, made once per size.
QImage shadowImage(QSizeF size, qreal ratio) {
    static QCache<QString, QImage> cache(16);
    const QString key = QStringLiteral("%1x%2@%3").arg(size.width()).arg(size.height()).arg(ratio);
    if (const QImage* cached = cache.object(key)) return *cached;

    const qreal m = PanelBackground::shadowMargin;
    const QSize pixels = ((size + QSizeF(2 * m, 2 * m)) * ratio).toSize();
    QImage shape(pixels, QImage::Format_Alpha8);
    shape.fill(0);
    {
        QPainter p(&shape);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(ratio, ratio);
        QPainterPath card;
        card.addRoundedRect(QRectF(QPointF(m, m), size), PanelBackground::cornerRadius, PanelBackground::cornerRadius);
        p.fillPath(card, Qt::black);
    }
    const int w = pixels.width();
    const int h = pixels.height();
    std::vector<float> alpha(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) alpha[static_cast<std::size_t>(y * w + x)] = shape.constScanLine(y)[x] / 255.0f;
    // Three passes of radius r spread as far as a Gaussian of the shadow's radius 2 (sigma about 1 point).
    const int r = std::max(1, static_cast<int>(std::lround(ratio)));
    for (int pass = 0; pass < 3; ++pass) {
        boxBlur(alpha, w, h, r, true);
        boxBlur(alpha, w, h, r, false);
    }
    // The shadow of a layer drawn at the card's opacity.
    const float strength = static_cast<float>(PanelBackground::shadowOpacity * PanelBackground::fillOpacity);
    auto* image = new QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image->scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgba(0, 0, 0, static_cast<int>(std::lround(alpha[static_cast<std::size_t>(y * w + x)] * strength * 255)));
    }
    image->setDevicePixelRatio(ratio);
    cache.insert(key, image);
    return *image;
}

}  // namespace

void PanelBackground::paint(QPainter& painter, const QRectF& rect, bool dark) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QPainterPath card;
    card.addRoundedRect(rect, cornerRadius, cornerRadius);

    // The shadow stays outside the card, so that it does not darken the translucent card.
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    QPainterPath outside;
    outside.addRect(rect.adjusted(-shadowMargin, -shadowMargin, shadowMargin, shadowMargin));
    painter.save();
    painter.setClipPath(outside.subtracted(card), Qt::IntersectClip);
    painter.drawImage(rect.topLeft() - QPointF(shadowMargin, shadowMargin), shadowImage(rect.size(), ratio));
    painter.restore();

    QColor fill = dark ? QColor(Qt::black) : QColor(Qt::white);
    fill.setAlphaF(fillOpacity);
    painter.setBrush(fill);
    painter.drawPath(card);
    painter.restore();
}

QRectF PanelBackground::cardRect(const QRect& widgetRect) {
    return QRectF(widgetRect).adjusted(shadowMargin, shadowMargin, -shadowMargin, -shadowMargin);
}

bool PanelBackground::isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}
