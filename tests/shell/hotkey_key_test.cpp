#include "shell/hotkey/Key.h"

#include <QList>
#include <QString>

#include <gtest/gtest.h>

#include <set>

namespace {

Key keyAt(std::size_t index) { return static_cast<Key>(index); }

qsizetype codePoints(const std::string& text) { return QString::fromStdString(text).toUcs4().size(); }

TEST(HotKeyKey, CasesKeepTheirPositions) {
    EXPECT_EQ(static_cast<int>(Key::space), 47);
    EXPECT_EQ(static_cast<int>(Key::tab), 48);
    EXPECT_EQ(static_cast<int>(Key::escape), 106);
    EXPECT_EQ(keyName(keyAt(0)), "a");
    EXPECT_EQ(keyName(keyAt(keyCount - 1)), "mute");
    EXPECT_EQ(keyName(Key::return_), "return");
    EXPECT_EQ(keyName(Key::delete_), "delete");
}

TEST(HotKeyKey, EveryCodeRoundTripsAndTheUnusedCodesGiveNothing) {
    std::set<std::uint32_t> used;
    for (std::size_t i = 0; i < keyCount; ++i) {
        const std::uint32_t code = carbonKeyCode(keyAt(i));
        EXPECT_TRUE(used.insert(code).second) << "code " << code << " used twice";
        EXPECT_EQ(keyFromCarbonKeyCode(code), keyAt(i)) << keyName(keyAt(i));
    }
    const std::set<std::uint32_t> unused{10, 52, 66, 68, 70, 77, 93, 94, 95, 102, 104, 108, 110, 112};
    for (std::uint32_t code = 0; code <= 126; ++code) {
        EXPECT_EQ(keyFromCarbonKeyCode(code).has_value(), !unused.count(code)) << code;
    }
    EXPECT_FALSE(keyFromCarbonKeyCode(127));
    EXPECT_FALSE(keyFromCarbonKeyCode(0xFFFFFFFF));
}

TEST(HotKeyKey, CodesThatAreEasyToGetWrong) {
    EXPECT_EQ(carbonKeyCode(Key::b), 11u);
    EXPECT_EQ(carbonKeyCode(Key::zero), 29u);
    EXPECT_EQ(carbonKeyCode(Key::return_), 36u);
    EXPECT_EQ(carbonKeyCode(Key::delete_), 51u);          // backspace
    EXPECT_EQ(carbonKeyCode(Key::forwardDelete), 117u);
    EXPECT_EQ(carbonKeyCode(Key::rightCommand), 54u);
    EXPECT_EQ(carbonKeyCode(Key::f17), 64u);
    EXPECT_EQ(carbonKeyCode(Key::keypad8), 91u);           // after the gap at 90 (f20)
    EXPECT_EQ(carbonKeyCode(Key::f1), 122u);
    EXPECT_EQ(carbonKeyCode(Key::upArrow), 126u);
}

TEST(HotKeyKey, Glyphs) {
    EXPECT_EQ(description(Key::a), "A");
    EXPECT_EQ(description(Key::keypad7), "7");
    EXPECT_EQ(description(Key::space), "\u2423");
    EXPECT_EQ(description(Key::return_), "\u21A9\uFE0E");
    EXPECT_EQ(description(Key::keypadEnter), description(Key::return_));
    EXPECT_EQ(description(Key::help), "?\u20DD");
    EXPECT_EQ(description(Key::keypadMultiply), "\U0001D5D1");
    EXPECT_EQ(description(Key::f1), "\uF860F1");
    EXPECT_EQ(codePoints(description(Key::f1)), 3);
    EXPECT_EQ(description(Key::f10), "\uF861F10");
    EXPECT_EQ(codePoints(description(Key::f10)), 4);
}

TEST(HotKeyKey, EveryNameParsesInAnyCase) {
    for (std::size_t i = 0; i < keyCount; ++i) {
        const std::string name(keyName(keyAt(i)));
        EXPECT_EQ(keyFromString(name), keyAt(i)) << name;
        EXPECT_EQ(keyFromString(QString::fromStdString(name).toUpper().toStdString()), keyAt(i)) << name;
    }
}

TEST(HotKeyKey, ParsesAliasesAndRejectsTheRest) {
    EXPECT_EQ(keyFromString("SPACE"), Key::space);
    EXPECT_EQ(keyFromString(" "), Key::space);
    EXPECT_EQ(keyFromString("Keypad5"), Key::keypad5);
    EXPECT_EQ(keyFromString("5"), Key::five);  // keypad digits only by name
    EXPECT_EQ(keyFromString("\t"), Key::tab);
    EXPECT_EQ(keyFromString("\u2B90"), Key::return_);
    EXPECT_EQ(keyFromString("\uF8FF"), Key::command);
    EXPECT_EQ(keyFromString("\uFF40"), Key::grave);
    EXPECT_EQ(keyFromString("\u212A"), Key::k);  // full Unicode lower-casing: KELVIN SIGN is "k"

    EXPECT_FALSE(keyFromString("esc"));
    EXPECT_FALSE(keyFromString(""));
    EXPECT_FALSE(keyFromString("\uF860F1"));    // the function-key glyph is display only
    EXPECT_FALSE(keyFromString("\U0001F50A"));  // volume keys accept only their names
}

}  // namespace
