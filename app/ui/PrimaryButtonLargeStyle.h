#pragma once

#include "ui/ButtonStyle.h"
#include "ui/FontRole.h"

// The single large button of an onboarding page: white title2 text on blue (gray when disabled), corner radius 10.
class PrimaryButtonLargeStyle : public ButtonStyle {
public:
    using ButtonStyle::ButtonStyle;

    ButtonLook look(bool isPressed, const QPalette&) const override {
        ButtonLook l;
        l.horizontalPadding = 30;
        l.verticalPadding = 10;
        l.foreground = white();
        l.font = fontFor(FontRole::Title2);
        l.background = ButtonLook::Background::Fill;
        l.backgroundColor = isDisabled ? gray() : blue();
        l.cornerRadius = 10;
        l.scale = isPressed ? 0.95 : 1.0;
        return l;
    }
};
