#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The physical keys a hot key can name. Key codes are the desktop-neutral virtual key codes that KeyCombo carries
// and stores; the X11 backend translates them to the local keyboard layout. `return` and `delete` are C++ keywords,
// hence the trailing underscore on those two cases (their names stay "return" and "delete").
enum class Key : std::uint8_t {
    a, b, c, d, e, f, g, h, i, j, k, l, m, n, o, p, q, r, s, t, u, v, w, x, y, z,
    zero, one, two, three, four, five, six, seven, eight, nine,
    period, quote, rightBracket, semicolon, slash, backslash, comma, equal, grave, leftBracket, minus,
    space, tab, return_,
    command, rightCommand, option, rightOption, control, rightControl, shift, rightShift, function, capsLock,
    pageUp, pageDown, home, end, upArrow, rightArrow, downArrow, leftArrow,
    f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12, f13, f14, f15, f16, f17, f18, f19, f20,
    keypad0, keypad1, keypad2, keypad3, keypad4, keypad5, keypad6, keypad7, keypad8, keypad9,
    keypadClear, keypadDecimal, keypadDivide, keypadEnter, keypadEquals, keypadMinus, keypadMultiply, keypadPlus,
    escape, delete_, forwardDelete, help, volumeUp, volumeDown, mute,
};

inline constexpr std::size_t keyCount = 113;

// The key's virtual key code.
std::uint32_t carbonKeyCode(Key key);
// The key with that code; empty for the codes no key uses.
std::optional<Key> keyFromCarbonKeyCode(std::uint32_t code);
// The case name ("rightBracket", "return").
std::string_view keyName(Key key);
// The display glyph, UTF-8 ("␣", "⌘", "A").
std::string description(Key key);
// The name Linux desktops give the key ("Space", "Super", "Esc", "A"): what the application shows and logs.
std::string_view keyLabel(Key key);
// The key named or drawn by `text` (case-insensitive name, or one of the accepted glyphs); empty otherwise.
std::optional<Key> keyFromString(std::string_view text);
