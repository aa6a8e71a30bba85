#pragma once

#include "shell/hotkey/ModifierFlags.h"

#include <array>
#include <string_view>

// A modifier the user can choose for the dictation hot key: `name` is shown in the picker, under the name Linux
// keyboards give the key; `id` is what the setting `selectedModifierKey` stores, unchanged so that stored settings keep
// their meaning.
struct ModifierKey {
    ModifierFlags flag;
    std::string_view name;
    std::string_view id;

    friend constexpr bool operator==(const ModifierKey&, const ModifierKey&) = default;
};

// The choosable modifiers, in picker order (also the order they are looked up in).
inline constexpr std::array<ModifierKey, 4> modifierKeys{{
    {ModifierFlags::command(), "Super", "command"},
    {ModifierFlags::control(), "Ctrl", "control"},
    {ModifierFlags::shift(), "Shift", "shift"},
    {ModifierFlags::option(), "Alt", "option"},
}};
