#pragma once

#include <QPalette>
#include <QRectF>

class QPainter;

// The translucent rounded card behind every panel of the history window: a rectangle of corner radius 10, black in a
// dark scheme and white in a light one, at opacity 0.4, with a soft black shadow of radius 2 (opacity 0.33).
class PanelBackground {
public:
    PanelBackground() = delete;

    static constexpr qreal cornerRadius = 10;

    static void paint(QPainter& painter, const QRectF& rect, bool dark);

    // A dark colour scheme: the window colour is darker than its text.
    static bool isDark(const QPalette& palette);
};
