#pragma once

#include <QPalette>
#include <QRectF>

class QPainter;

// The translucent rounded card behind every panel of the history window: a rectangle of corner radius 10, black in a
// dark scheme and white in a light one, at opacity 0.4, with a soft shadow of blur radius 2 in black at opacity 0.33
// of the card's own. The shadow fades out within `shadowMargin` of the card, so that a widget that paints a card
// leaves that much room around it.
class PanelBackground {
public:
    PanelBackground() = delete;

    static constexpr qreal cornerRadius = 10;
    static constexpr qreal fillOpacity = 0.4;
    static constexpr qreal shadowOpacity = 0.33;
    static constexpr int shadowMargin = 3;

    static void paint(QPainter& painter, const QRectF& rect, bool dark);
    // The card inside a widget's rectangle, with room for its shadow.
    static QRectF cardRect(const QRect& widgetRect);

    // A dark colour scheme: the window colour is darker than its text.
    static bool isDark(const QPalette& palette);
};
