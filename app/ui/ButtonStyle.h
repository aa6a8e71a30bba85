#pragma once

#include <QColor>
#include <QPalette>

#include "ui/ButtonLook.h"

// The look of a StyledButton. A style is a small stateless value with one field: `isDisabled` changes colours only;
// it never blocks the button's action (a caller that must stop the action does so itself).
class ButtonStyle {
public:
    explicit ButtonStyle(bool isDisabled = false) : isDisabled(isDisabled) {}
    virtual ~ButtonStyle() = default;

    // The look while the button is held down (`isPressed`) or not, with the adaptive text colour taken from `palette`.
    virtual ButtonLook look(bool isPressed, const QPalette& palette) const = 0;

    bool isDisabled;

    // The named colours the styles draw with.
    static QColor blue() { return QColor(0, 122, 255); }
    static QColor gray() { return QColor(142, 142, 147); }
    static QColor white() { return QColor(Qt::white); }
    // The colour of ordinary text: dark on a light window, light on a dark one.
    static QColor primary(const QPalette& palette) { return palette.color(QPalette::WindowText); }
    static QColor withOpacity(QColor color, qreal opacity) {
        color.setAlphaF(color.alphaF() * opacity);
        return color;
    }
};
