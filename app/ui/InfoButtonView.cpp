#include "ui/InfoButtonView.h"

#include <QPainter>

#include "ui/InfoPopoverView.h"
#include "ui/SettingsSymbol.h"

InfoButtonView::InfoButtonView(const QString& infoText, QWidget* parent)
    : QAbstractButton(parent), infoText_(infoText) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    connect(this, &QAbstractButton::clicked, this, [this] { setShowInfoAlert(!showInfoAlert_); });
}

void InfoButtonView::setShowInfoAlert(bool show) {
    if (show == showInfoAlert_) return;
    showInfoAlert_ = show;
    if (show) {
        popover_ = new InfoPopoverView(infoText_, this);
        popover_->setAttribute(Qt::WA_DeleteOnClose);
        // Dismissing the popover by a click elsewhere resets the flag.
        connect(popover_, &QObject::destroyed, this, [this] {
            popover_ = nullptr;
            showInfoAlert_ = false;
        });
        // Anchored at the trailing edge, vertically centred on the button.
        const QPoint anchor = mapToGlobal(QPoint(width() + 4, height() / 2));
        popover_->move(anchor.x(), anchor.y() - popover_->height() / 2);
        popover_->show();
    } else if (popover_) {
        popover_->close();
    }
}

void InfoButtonView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor color = palette().color(QPalette::WindowText);
    painter.drawPixmap(rect(), SettingsSymbol::pixmap("questionmark.circle", size(), color, devicePixelRatioF()));
}
