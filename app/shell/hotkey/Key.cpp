#include "shell/hotkey/Key.h"

#include <QString>

#include <array>

namespace {

struct KeyRow {
    std::string_view name;
    std::uint32_t code;
    std::string_view glyph;
    // Texts accepted by keyFromString besides the lower-cased name (already lower case).
    std::array<std::string_view, 4> aliases{};
};

// One row per case, in the order of the enumeration.
constexpr std::array<KeyRow, keyCount> rows{{
    {"a", 0, "A"}, {"b", 11, "B"}, {"c", 8, "C"}, {"d", 2, "D"}, {"e", 14, "E"}, {"f", 3, "F"},
    {"g", 5, "G"}, {"h", 4, "H"}, {"i", 34, "I"}, {"j", 38, "J"}, {"k", 40, "K"}, {"l", 37, "L"},
    {"m", 46, "M"}, {"n", 45, "N"}, {"o", 31, "O"}, {"p", 35, "P"}, {"q", 12, "Q"}, {"r", 15, "R"},
    {"s", 1, "S"}, {"t", 17, "T"}, {"u", 32, "U"}, {"v", 9, "V"}, {"w", 13, "W"}, {"x", 7, "X"},
    {"y", 16, "Y"}, {"z", 6, "Z"},
    {"zero", 29, "0", {"0"}}, {"one", 18, "1", {"1"}}, {"two", 19, "2", {"2"}}, {"three", 20, "3", {"3"}},
    {"four", 21, "4", {"4"}}, {"five", 23, "5", {"5"}}, {"six", 22, "6", {"6"}}, {"seven", 26, "7", {"7"}},
    {"eight", 28, "8", {"8"}}, {"nine", 25, "9", {"9"}},
    {"period", 47, ".", {"."}},
    {"quote", 39, "\"", {"\""}},
    {"rightBracket", 30, "]", {"]"}},
    {"semicolon", 41, ";", {";"}},
    {"slash", 44, "/", {"/"}},
    {"backslash", 42, "\\", {"\\"}},
    {"comma", 43, ",", {","}},
    {"equal", 24, "=", {"="}},
    {"grave", 50, "`", {"`", "\u02CB", "\uFF40"}},
    {"leftBracket", 33, "[", {"["}},
    {"minus", 27, "-", {"-"}},
    {"space", 49, "\u2423", {" ", "\u2423"}},
    {"tab", 48, "\u21E5", {"\t", "\u21E5"}},
    {"return", 36, "\u21A9\uFE0E", {"\r", "\u21A9\uFE0E", "\u23CE", "\u2B90"}},
    {"command", 55, "\u2318", {"\u2318", "\uF8FF"}},
    {"rightCommand", 54, "\u2318"},
    {"option", 58, "\u2325", {"\u2325"}},
    {"rightOption", 61, "\u2325"},
    {"control", 59, "\u2303", {"\u2303"}},
    {"rightControl", 62, "\u2303"},
    {"shift", 56, "\u21E7", {"\u21E7"}},
    {"rightShift", 60, "\u21E7"},
    {"function", 63, "fn", {"fn"}},
    {"capsLock", 57, "\u21EA", {"\u21EA"}},
    {"pageUp", 116, "\u21DE", {"\u21DE"}},
    {"pageDown", 121, "\u21DF", {"\u21DF"}},
    {"home", 115, "\u2196", {"\u2196"}},
    {"end", 119, "\u2198", {"\u2198"}},
    {"upArrow", 126, "\u2191", {"\u2191"}},
    {"rightArrow", 124, "\u2192", {"\u2192"}},
    {"downArrow", 125, "\u2193", {"\u2193"}},
    {"leftArrow", 123, "\u2190", {"\u2190"}},
    {"f1", 122, "\uF860F1"}, {"f2", 120, "\uF860F2"}, {"f3", 99, "\uF860F3"}, {"f4", 118, "\uF860F4"},
    {"f5", 96, "\uF860F5"}, {"f6", 97, "\uF860F6"}, {"f7", 98, "\uF860F7"}, {"f8", 100, "\uF860F8"},
    {"f9", 101, "\uF860F9"}, {"f10", 109, "\uF861F10"}, {"f11", 103, "\uF861F11"}, {"f12", 111, "\uF861F12"},
    {"f13", 105, "\uF861F13"}, {"f14", 107, "\uF861F14"}, {"f15", 113, "\uF861F15"}, {"f16", 106, "\uF861F16"},
    {"f17", 64, "\uF861F17"}, {"f18", 79, "\uF861F18"}, {"f19", 80, "\uF861F19"}, {"f20", 90, "\uF861F20"},
    {"keypad0", 82, "0"}, {"keypad1", 83, "1"}, {"keypad2", 84, "2"}, {"keypad3", 85, "3"}, {"keypad4", 86, "4"},
    {"keypad5", 87, "5"}, {"keypad6", 88, "6"}, {"keypad7", 89, "7"}, {"keypad8", 91, "8"}, {"keypad9", 92, "9"},
    {"keypadClear", 71, "\u2327", {"\u2327"}},
    {"keypadDecimal", 65, "."},
    {"keypadDivide", 75, "/"},
    {"keypadEnter", 76, "\u21A9\uFE0E"},
    {"keypadEquals", 81, "="},
    {"keypadMinus", 78, "-"},
    {"keypadMultiply", 67, "\U0001D5D1"},
    {"keypadPlus", 69, "+"},
    {"escape", 53, "\u238B", {"\u238B"}},
    {"delete", 51, "\u232B", {"\u232B"}},
    {"forwardDelete", 117, "\u2326", {"\u2326"}},
    {"help", 114, "?\u20DD"},
    {"volumeUp", 72, "\U0001F50A"},
    {"volumeDown", 73, "\U0001F509"},
    {"mute", 74, "\U0001F507", {"\U0001F507"}},
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
