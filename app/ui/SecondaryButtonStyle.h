#pragma once

#include "ui/ButtonStyle.h"

// The other button of a pair: text colour on a faint text-coloured fill. Disabled dims the label only.
class SecondaryButtonStyle : public ButtonStyle {
public:
    using ButtonStyle::ButtonStyle;

    ButtonLook look(bool isPressed, const QPalette& palette) const override {
        ButtonLook l;
        l.horizontalPadding = 12;
        l.verticalPadding = 6;
        l.foreground = isDisabled ? withOpacity(primary(palette), 0.5) : primary(palette);
        l.background = ButtonLook::Background::Fill;
        l.backgroundColor = withOpacity(primary(palette), 0.2);
        l.cornerRadius = 5;
        l.scale = isPressed ? 0.95 : 1.0;
        return l;
    }
};
