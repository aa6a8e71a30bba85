#pragma once

#include "shell/hotkey/ModifierFlags.h"

#include <array>
#include <string_view>

// A modifier the user can choose for the dictation hot key: `name` is shown in the picker, `id` is what the setting
// `selectedModifierKey` stores.
struct ModifierKey {
    ModifierFlags flag;
    std::string_view name;
    std::string_view id;

    friend constexpr bool operator==(const ModifierKey&, const ModifierKey&) = default;
};

// The choosable modifiers, in picker order (also the order they are looked up in).
inline constexpr std::array<ModifierKey, 4> modifierKeys{{
    {ModifierFlags::command(), "Command (\u2318)", "command"},
    {ModifierFlags::control(), "Control (\u2303)", "control"},
    {ModifierFlags::shift(), "Shift (\u21E7)", "shift"},
    {ModifierFlags::option(), "Option (\u2325)", "option"},
}};
