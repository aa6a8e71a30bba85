#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

// The symbol images of the settings and onboarding windows ("brain", "gear", "info.circle", "questionmark.circle"),
// bundled as SVG resources so that they look the same whatever the icon theme, and tinted at drawing time. An unknown
// name gives an empty pixmap of the requested size.
class SettingsSymbol {
public:
    SettingsSymbol() = delete;

    static QPixmap pixmap(const QString& name, QSize size, const QColor& color, qreal devicePixelRatio = 1.0);
};
