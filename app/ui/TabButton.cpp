#include "ui/TabButton.h"

#include <QPainter>
#include <QPainterPath>

#include "ui/ButtonStyle.h"
#include "ui/FontRole.h"
#include "ui/SettingsSymbol.h"

TabButton::TabButton(const QString& name, const QString& icon, bool isSelected, std::function<void()> action,
                     QWidget* parent)
    : QAbstractButton(parent), name_(name), icon_(icon), isSelected_(isSelected) {
    setFixedSize(60, 50);
    setAttribute(Qt::WA_Hover);
    connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] {
        if (action) action();
    });
}

void TabButton::setSelected(bool selected) {
    if (selected == isSelected_) return;
    isSelected_ = selected;
    update();
}

QColor TabButton::tint() const {
    const QColor primary = ButtonStyle::primary(palette());
    return isSelected_ ? primary : ButtonStyle::withOpacity(primary, 0.5);
}

QColor TabButton::background() const {
    return isHovered_ ? ButtonStyle::withOpacity(ButtonStyle::gray(), 0.1) : QColor(Qt::transparent);
}

void TabButton::enterEvent(QEnterEvent* event) {
    isHovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TabButton::leaveEvent(QEvent* event) {
    isHovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void TabButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(clip, background());

    // Symbol: 20 x 20 with 5 above; caption with 5 below.
    const QColor color = tint();
    painter.drawPixmap(QRect(20, 5, 20, 20), SettingsSymbol::pixmap(icon_, {20, 20}, color, devicePixelRatioF()));
    painter.setFont(fontFor(FontRole::Caption));
    painter.setPen(color);
    painter.drawText(QRect(5, 25, 50, 20), Qt::AlignCenter, name_);
}
