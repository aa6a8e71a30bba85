#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

// The symbol images of the history window ("magnifyingglass", "play.circle.fill", "pause.circle.fill", "brain",
// "globe.asia.australia.fill", "shippingbox", "clock", "calendar"), drawn as vector shapes so that they look the same
// on every desktop, icon theme or none. An unknown name draws nothing.
class HistorySymbol {
public:
    HistorySymbol() = delete;

    // Square, in `color`, at the given device pixel ratio.
    static QPixmap pixmap(const QString& name, int size, const QColor& color, qreal devicePixelRatio = 1.0);
    // Black, for buttons that tint their icon themselves.
    static QIcon icon(const QString& name, int size);
};
