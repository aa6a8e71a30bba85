#pragma once

#include "ui/ButtonStyle.h"

// The confirming button of a pair: white on blue (gray when disabled), corner radius 5.
class PrimaryButtonStyle : public ButtonStyle {
public:
    using ButtonStyle::ButtonStyle;

    ButtonLook look(bool isPressed, const QPalette&) const override {
        ButtonLook l;
        l.horizontalPadding = 12;
        l.verticalPadding = 6;
        l.foreground = white();
        l.background = ButtonLook::Background::Fill;
        l.backgroundColor = isDisabled ? gray() : blue();
        l.cornerRadius = 5;
        l.scale = isPressed ? 0.95 : 1.0;
        return l;
    }
};
