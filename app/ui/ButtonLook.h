#pragma once

#include <QColor>
#include <QFont>
#include <optional>

// Everything a button style decides about one button in one state, so that the drawing code stays generic and the
// decisions can be checked without painting. Steps apply in this order: padding, foreground, font, background, clip,
// scale.
struct ButtonLook {
    enum class Background {
        None,    // nothing behind the label
        Fill,    // `background` fills the padded frame
        Border,  // a 1-point outline in the foreground colour, scaled by `borderScale` about the centre
    };

    int horizontalPadding = 0;
    int verticalPadding = 0;
    QColor foreground;
    std::optional<QFont> font;  // empty: the button's own font
    Background background = Background::None;
    QColor backgroundColor;
    qreal borderScale = 1.0;
    qreal cornerRadius = 0;  // 0: no clip
    qreal scale = 1.0;       // about the centre, both axes
};
