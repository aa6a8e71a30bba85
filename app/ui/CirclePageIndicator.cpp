#include "ui/CirclePageIndicator.h"

#include <QPainter>
#include <algorithm>

#include "ui/ButtonStyle.h"

CirclePageIndicator::CirclePageIndicator(int pageCount, Binding<int> currentPage, QWidget* parent)
    : QWidget(parent), pageCount_(std::max(pageCount, 0)), currentPage_(std::move(currentPage)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize CirclePageIndicator::sizeHint() const {
    if (pageCount_ == 0) return {0, dotSize};
    return {pageCount_ * dotSize + (pageCount_ - 1) * spacing, dotSize};
}

QPoint CirclePageIndicator::dotCentre(int index) const {
    const int left = (width() - sizeHint().width()) / 2;
    return {left + index * (dotSize + spacing) + dotSize / 2, height() / 2};
}

void CirclePageIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const int current = currentPage_.get();
    for (int index = 0; index < pageCount_; ++index) {
        painter.setBrush(index == current ? ButtonStyle::blue() : ButtonStyle::gray());
        const QPoint centre = dotCentre(index);
        painter.drawEllipse(QRectF(centre.x() - dotSize / 2.0, centre.y() - dotSize / 2.0, dotSize, dotSize));
    }
}
