#pragma once

#include "ui/ButtonStyle.h"

// An outlined button (e.g. "Copy"). The outline lies on the clip edge, so half of it shows at rest; while pressed it
// shrinks a second time inside the pressed button and shows whole.
class TertiaryButtonStyle : public ButtonStyle {
public:
    using ButtonStyle::ButtonStyle;

    ButtonLook look(bool isPressed, const QPalette& palette) const override {
        ButtonLook l;
        l.horizontalPadding = 12;
        l.verticalPadding = 6;
        l.foreground = isDisabled ? withOpacity(primary(palette), 0.5) : primary(palette);
        l.background = ButtonLook::Background::Border;
        l.borderScale = isPressed ? 0.95 : 1.0;
        l.cornerRadius = 5;
        l.scale = isPressed ? 0.95 : 1.0;
        return l;
    }
};
