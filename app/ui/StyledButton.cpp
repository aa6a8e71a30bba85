#include "ui/StyledButton.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int iconTextSpacing = 4;

QPixmap tinted(const QIcon& icon, QSize size, qreal ratio, const QColor& color) {
    QPixmap pixmap = icon.pixmap(size, ratio);
    QPainter p(&pixmap);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(pixmap.rect(), color);
    return pixmap;
}

}  // namespace

StyledButton::StyledButton(const QString& text, std::unique_ptr<ButtonStyle> style, QWidget* parent)
    : QAbstractButton(parent), style_(std::move(style)) {
    setText(text);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
}

void StyledButton::setButtonStyle(std::unique_ptr<ButtonStyle> style) {
    style_ = std::move(style);
    updateGeometry();
    update();
}

void StyledButton::setStyleDisabled(bool isDisabled) {
    if (style_->isDisabled == isDisabled) return;
    style_->isDisabled = isDisabled;
    update();
}

ButtonLook StyledButton::currentLook() const {
    // The style alone decides how a disabled button looks: the platform's disabled colours would fade what the style
    // keeps (the background of a disabled secondary button, for one).
    QPalette colours = palette();
    colours.setCurrentColorGroup(QPalette::Active);
    return style_->look(isDown(), colours);
}

QSize StyledButton::labelSize(const QFont& font) const {
    QSize size;
    if (!text().isEmpty()) {
        const QFontMetrics metrics(font);
        size = metrics.boundingRect(QRect(0, 0, 10000, 10000), Qt::AlignCenter, text()).size();
    }
    if (!icon().isNull()) {
        const QSize is = iconSize();
        const int spacing = text().isEmpty() ? 0 : iconTextSpacing;
        size = QSize(size.width() + is.width() + spacing, std::max(size.height(), is.height()));
    }
    return size;
}

QSize StyledButton::sizeHint() const {
    const ButtonLook l = currentLook();
    const QSize label = labelSize(l.font.value_or(font()));
    return QSize(label.width() + 2 * l.horizontalPadding, label.height() + 2 * l.verticalPadding);
}

void StyledButton::paintEvent(QPaintEvent*) {
    const ButtonLook l = currentLook();
    const QFont labelFont = l.font.value_or(font());
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);

    // The scale acts on label, padding and background together, about the centre.
    const QRectF frame = rect();
    const QPointF centre = frame.center();
    p.translate(centre);
    p.scale(l.scale, l.scale);
    p.translate(-centre);

    if (l.cornerRadius > 0) {
        QPainterPath clip;
        clip.addRoundedRect(frame, l.cornerRadius, l.cornerRadius);
        p.setClipPath(clip);
    }
    if (l.background == ButtonLook::Background::Fill) {
        p.fillRect(frame, l.backgroundColor);
    } else if (l.background == ButtonLook::Background::Border) {
        p.save();
        p.translate(centre);
        p.scale(l.borderScale, l.borderScale);
        p.translate(-centre);
        QPen pen(l.foreground, 1.0);
        pen.setCapStyle(Qt::FlatCap);
        pen.setJoinStyle(Qt::MiterJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(frame, l.cornerRadius, l.cornerRadius);
        p.restore();
    }

    // The label, centred in the frame.
    const QSize label = labelSize(labelFont);
    QRectF labelRect(QPointF(centre.x() - label.width() / 2.0, centre.y() - label.height() / 2.0), QSizeF(label));
    if (!icon().isNull()) {
        const QSize is = iconSize();
        const QRectF iconRect(labelRect.left(), centre.y() - is.height() / 2.0, is.width(), is.height());
        p.drawPixmap(iconRect.toRect(), tinted(icon(), is, devicePixelRatioF(), l.foreground));
        labelRect.setLeft(iconRect.right() + iconTextSpacing);
    }
    if (!text().isEmpty()) {
        p.setFont(labelFont);
        p.setPen(l.foreground);
        p.drawText(labelRect, Qt::AlignCenter, text());
    }
}
