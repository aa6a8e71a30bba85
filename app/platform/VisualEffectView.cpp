#include "platform/VisualEffectView.h"

#include <QPainter>

VisualEffectView::VisualEffectView(Material material, QWidget* parent) : QWidget(parent), material_(material) {
    setAutoFillBackground(false);
}

void VisualEffectView::setMaterial(Material material) {
    if (material_ == material) return;
    material_ = material;
    update();
}

QColor VisualEffectView::tint(Material material, const QPalette& palette) {
    QColor color = palette.color(QPalette::Window);
    // The sidebar is a little more see-through than a window's own background.
    color.setAlphaF(material == Material::Sidebar ? 0.80 : 0.92);
    return color;
}

void VisualEffectView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), tint(material_, palette()));
}
