#pragma once

#include "shell/hotkey/Key.h"

#include <array>
#include <string_view>

// A key the user can choose for the dictation hot key: `name` is shown in the picker, the key's Linux name as menus and
// messages show it too; `id` is what the setting `selectedPrimaryKey` stores.
struct PrimaryKey {
    Key flag;
    std::string_view name;
    std::string_view id;

    friend constexpr bool operator==(const PrimaryKey&, const PrimaryKey&) = default;
};

// The choosable keys, in picker order.
inline constexpr std::array<PrimaryKey, 44> primaryKeys{{
    {Key::a, "A", "a"}, {Key::b, "B", "b"}, {Key::c, "C", "c"}, {Key::d, "D", "d"}, {Key::e, "E", "e"},
    {Key::f, "F", "f"}, {Key::g, "G", "g"}, {Key::h, "H", "h"}, {Key::i, "I", "i"}, {Key::j, "J", "j"},
    {Key::k, "K", "k"}, {Key::l, "L", "l"}, {Key::m, "M", "m"}, {Key::n, "N", "n"}, {Key::o, "O", "o"},
    {Key::p, "P", "p"}, {Key::q, "Q", "q"}, {Key::r, "R", "r"}, {Key::s, "S", "s"}, {Key::t, "T", "t"},
    {Key::u, "U", "u"}, {Key::v, "V", "v"}, {Key::w, "W", "w"}, {Key::x, "X", "x"}, {Key::y, "Y", "y"},
    {Key::z, "Z", "z"},
    {Key::zero, "0", "0"}, {Key::one, "1", "1"}, {Key::two, "2", "2"}, {Key::three, "3", "3"},
    {Key::four, "4", "4"}, {Key::five, "5", "5"}, {Key::six, "6", "6"}, {Key::seven, "7", "7"},
    {Key::eight, "8", "8"}, {Key::nine, "9", "9"},
    {Key::period, "Period", "period"},
    {Key::quote, "Quote", "quote"},
    {Key::semicolon, "Semicolon", "semicolon"},
    {Key::slash, "Slash", "slash"},
    {Key::backslash, "Backslash", "backslash"},
    {Key::comma, "Comma", "comma"},
    {Key::space, "Space", "space"},
    {Key::tab, "Tab", "tab"},
}};
