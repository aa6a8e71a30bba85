#include "shell/hotkey/Key.h"

#include <QString>

#include <array>

namespace {

struct KeyRow {
    std::string_view name;
    std::uint32_t code;
    std::string_view glyph;
    // The name Linux desktops print for the key.
    std::string_view label;
    // Texts accepted by keyFromString besides the lower-cased name (already lower case).
    std::array<std::string_view, 4> aliases{};
};

// One row per case, in the order of the enumeration.
constexpr std::array<KeyRow, keyCount> rows{{
    {"a", 0, "A", "A"}, {"b", 11, "B", "B"}, {"c", 8, "C", "C"}, {"d", 2, "D", "D"}, {"e", 14, "E", "E"},
    {"f", 3, "F", "F"}, {"g", 5, "G", "G"}, {"h", 4, "H", "H"}, {"i", 34, "I", "I"}, {"j", 38, "J", "J"},
    {"k", 40, "K", "K"}, {"l", 37, "L", "L"}, {"m", 46, "M", "M"}, {"n", 45, "N", "N"}, {"o", 31, "O", "O"},
    {"p", 35, "P", "P"}, {"q", 12, "Q", "Q"}, {"r", 15, "R", "R"}, {"s", 1, "S", "S"}, {"t", 17, "T", "T"},
    {"u", 32, "U", "U"}, {"v", 9, "V", "V"}, {"w", 13, "W", "W"}, {"x", 7, "X", "X"}, {"y", 16, "Y", "Y"},
    {"z", 6, "Z", "Z"},
    {"zero", 29, "0", "0", {"0"}}, {"one", 18, "1", "1", {"1"}}, {"two", 19, "2", "2", {"2"}},
    {"three", 20, "3", "3", {"3"}}, {"four", 21, "4", "4", {"4"}}, {"five", 23, "5", "5", {"5"}},
    {"six", 22, "6", "6", {"6"}}, {"seven", 26, "7", "7", {"7"}}, {"eight", 28, "8", "8", {"8"}},
    {"nine", 25, "9", "9", {"9"}},
    {"period", 47, ".", "Period", {"."}},
    {"quote", 39, "\"", "Quote", {"\""}},
    {"rightBracket", 30, "]", "Right Bracket", {"]"}},
    {"semicolon", 41, ";", "Semicolon", {";"}},
    {"slash", 44, "/", "Slash", {"/"}},
    {"backslash", 42, "\\", "Backslash", {"\\"}},
    {"comma", 43, ",", "Comma", {","}},
    {"equal", 24, "=", "Equal", {"="}},
    {"grave", 50, "`", "Grave", {"`", "\u02CB", "\uFF40"}},
    {"leftBracket", 33, "[", "Left Bracket", {"["}},
    {"minus", 27, "-", "Minus", {"-"}},
    {"space", 49, "\u2423", "Space", {" ", "\u2423"}},
    {"tab", 48, "\u21E5", "Tab", {"\t", "\u21E5"}},
    {"return", 36, "\u21A9\uFE0E", "Return", {"\r", "\u21A9\uFE0E", "\u23CE", "\u2B90"}},
    {"command", 55, "\u2318", "Super", {"\u2318", "\uF8FF"}},
    {"rightCommand", 54, "\u2318", "Right Super"},
    {"option", 58, "\u2325", "Alt", {"\u2325"}},
    {"rightOption", 61, "\u2325", "Right Alt"},
    {"control", 59, "\u2303", "Ctrl", {"\u2303"}},
    {"rightControl", 62, "\u2303", "Right Ctrl"},
    {"shift", 56, "\u21E7", "Shift", {"\u21E7"}},
    {"rightShift", 60, "\u21E7", "Right Shift"},
    {"function", 63, "fn", "Fn", {"fn"}},
    {"capsLock", 57, "\u21EA", "Caps Lock", {"\u21EA"}},
    {"pageUp", 116, "\u21DE", "Page Up", {"\u21DE"}},
    {"pageDown", 121, "\u21DF", "Page Down", {"\u21DF"}},
    {"home", 115, "\u2196", "Home", {"\u2196"}},
    {"end", 119, "\u2198", "End", {"\u2198"}},
    {"upArrow", 126, "\u2191", "Up", {"\u2191"}},
    {"rightArrow", 124, "\u2192", "Right", {"\u2192"}},
    {"downArrow", 125, "\u2193", "Down", {"\u2193"}},
    {"leftArrow", 123, "\u2190", "Left", {"\u2190"}},
    {"f1", 122, "\uF860F1", "F1"}, {"f2", 120, "\uF860F2", "F2"}, {"f3", 99, "\uF860F3", "F3"},
    {"f4", 118, "\uF860F4", "F4"}, {"f5", 96, "\uF860F5", "F5"}, {"f6", 97, "\uF860F6", "F6"},
    {"f7", 98, "\uF860F7", "F7"}, {"f8", 100, "\uF860F8", "F8"}, {"f9", 101, "\uF860F9", "F9"},
    {"f10", 109, "\uF861F10", "F10"}, {"f11", 103, "\uF861F11", "F11"}, {"f12", 111, "\uF861F12", "F12"},
    {"f13", 105, "\uF861F13", "F13"}, {"f14", 107, "\uF861F14", "F14"}, {"f15", 113, "\uF861F15", "F15"},
    {"f16", 106, "\uF861F16", "F16"}, {"f17", 64, "\uF861F17", "F17"}, {"f18", 79, "\uF861F18", "F18"},
    {"f19", 80, "\uF861F19", "F19"}, {"f20", 90, "\uF861F20", "F20"},
    {"keypad0", 82, "0", "Keypad 0"}, {"keypad1", 83, "1", "Keypad 1"}, {"keypad2", 84, "2", "Keypad 2"},
    {"keypad3", 85, "3", "Keypad 3"}, {"keypad4", 86, "4", "Keypad 4"}, {"keypad5", 87, "5", "Keypad 5"},
    {"keypad6", 88, "6", "Keypad 6"}, {"keypad7", 89, "7", "Keypad 7"}, {"keypad8", 91, "8", "Keypad 8"},
    {"keypad9", 92, "9", "Keypad 9"},
    {"keypadClear", 71, "\u2327", "Clear", {"\u2327"}},
    {"keypadDecimal", 65, ".", "Keypad Decimal"},
    {"keypadDivide", 75, "/", "Keypad Divide"},
    {"keypadEnter", 76, "\u21A9\uFE0E", "Keypad Enter"},
    {"keypadEquals", 81, "=", "Keypad Equals"},
    {"keypadMinus", 78, "-", "Keypad Minus"},
    {"keypadMultiply", 67, "\U0001D5D1", "Keypad Multiply"},
    {"keypadPlus", 69, "+", "Keypad Plus"},
    {"escape", 53, "\u238B", "Esc", {"\u238B"}},
    {"delete", 51, "\u232B", "Backspace", {"\u232B"}},
    {"forwardDelete", 117, "\u2326", "Delete", {"\u2326"}},
    {"help", 114, "?\u20DD", "Help"},
    {"volumeUp", 72, "\U0001F50A", "Volume Up"},
    {"volumeDown", 73, "\U0001F509", "Volume Down"},
    {"mute", 74, "\U0001F507", "Mute", {"\U0001F507"}},
}};

static_assert(rows[static_cast<std::size_t>(Key::space)].name == "space");
static_assert(rows[static_cast<std::size_t>(Key::escape)].name == "escape");
static_assert(rows[keyCount - 1].name == "mute");

const KeyRow& row(Key key) { return rows[static_cast<std::size_t>(key)]; }

std::string lowered(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toLower().toStdString();
}

}  // namespace

std::uint32_t carbonKeyCode(Key key) { return row(key).code; }

std::optional<Key> keyFromCarbonKeyCode(std::uint32_t code) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].code == code) return static_cast<Key>(i);
    }
    return std::nullopt;
}

std::string_view keyName(Key key) { return row(key).name; }

std::string description(Key key) { return std::string(row(key).glyph); }

std::string_view keyLabel(Key key) { return row(key).label; }

std::optional<Key> keyFromString(std::string_view text) {
    const std::string lower = lowered(text);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (lowered(rows[i].name) == lower) return static_cast<Key>(i);
        for (std::string_view alias : rows[i].aliases) {
            if (!alias.empty() && alias == lower) return static_cast<Key>(i);
        }
    }
    return std::nullopt;
}
