#pragma once

#include "ui/ButtonStyle.h"

// A bare symbol: tinted in the text colour and shrunk to 0.9 while pressed; no padding, background or clip.
class IconButtonStyle : public ButtonStyle {
public:
    using ButtonStyle::ButtonStyle;

    ButtonLook look(bool isPressed, const QPalette& palette) const override {
        ButtonLook l;
        l.foreground = isDisabled ? withOpacity(primary(palette), 0.5) : primary(palette);
        l.scale = isPressed ? 0.9 : 1.0;
        return l;
    }
};
