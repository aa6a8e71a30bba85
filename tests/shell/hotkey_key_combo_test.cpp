#include "shell/hotkey/KeyCombo.h"

#include <gtest/gtest.h>

namespace {

const ModifierFlags allFour =
    ModifierFlags::command() | ModifierFlags::shift() | ModifierFlags::option() | ModifierFlags::control();

TEST(HotKeyKeyCombo, CodesAndMasks) {
    const KeyCombo optionSpace(Key::space, ModifierFlags::option());
    EXPECT_EQ(optionSpace.carbonKeyCode, 49u);
    EXPECT_EQ(optionSpace.carbonModifiers, 2048u);
    EXPECT_EQ(KeyCombo(Key::a, allFour).carbonModifiers, 6912u);
    EXPECT_EQ(KeyCombo(Key::a, ModifierFlags::command()).carbonModifiers, 256u);
    EXPECT_EQ(KeyCombo(Key::a, ModifierFlags::shift()).carbonModifiers, 512u);
    EXPECT_EQ(KeyCombo(Key::a, ModifierFlags::control()).carbonModifiers, 4096u);
    // Flags other than the four modifiers (here caps lock, 0x10000) do not reach the mask.
    EXPECT_EQ(KeyCombo(Key::a, ModifierFlags(0x10000) | ModifierFlags::shift()).carbonModifiers, 512u);
    EXPECT_EQ(optionSpace, KeyCombo(49, 2048));
    EXPECT_NE(optionSpace, KeyCombo(49, 4096));
}

TEST(HotKeyKeyCombo, KeyAndModifierAccessors) {
    KeyCombo combo(49, 0x1B00 | 0x1);  // a stray bit is ignored when read back
    EXPECT_EQ(combo.key(), Key::space);
    EXPECT_EQ(combo.modifiers(), allFour);

    combo.setKey(Key::tab);
    EXPECT_EQ(combo.carbonKeyCode, 48u);
    combo.setKey(std::nullopt);
    EXPECT_EQ(combo.carbonKeyCode, 0u);
    EXPECT_EQ(combo.key(), Key::a);  // code 0 is the A key

    combo.setModifiers(ModifierFlags::control());
    EXPECT_EQ(combo.carbonModifiers, 4096u);
    EXPECT_FALSE(KeyCombo(10, 0).key());
}

TEST(HotKeyKeyCombo, Description) {
    EXPECT_EQ(KeyCombo(Key::a, allFour).description(), "\u2303\u2325\u21E7\u2318A");
    EXPECT_EQ(KeyCombo(Key::space, ModifierFlags()).description(), "\u2423");
    EXPECT_EQ(KeyCombo(Key::space, ModifierFlags::option()).description(), "\u2325\u2423");
    EXPECT_EQ(KeyCombo(10, 4096 | 256).description(), "\u2303\u2318");  // unknown code: modifiers alone
}

TEST(HotKeyKeyCombo, LabelNamesTheKeysAsLinuxDesktopsDo) {
    EXPECT_EQ(KeyCombo(Key::a, allFour).label(), "Ctrl+Alt+Shift+Super+A");
    EXPECT_EQ(KeyCombo(Key::space, ModifierFlags::option()).label(), "Alt+Space");
    EXPECT_EQ(KeyCombo(Key::escape, ModifierFlags()).label(), "Esc");
    EXPECT_EQ(KeyCombo(Key::f12, ModifierFlags::command()).label(), "Super+F12");
    EXPECT_EQ(KeyCombo(10, 4096).label(), "Ctrl+key 10");
}

TEST(HotKeyKeyCombo, DictionaryRoundTripAndRejections) {
    const KeyCombo combo(Key::period, ModifierFlags::control() | ModifierFlags::shift());
    const KeyCombo::Dictionary dictionary = combo.dictionary();
    ASSERT_EQ(dictionary.size(), 2u);
    EXPECT_EQ(std::get<std::int64_t>(dictionary.at("keyCode")), 47);
    EXPECT_EQ(std::get<std::int64_t>(dictionary.at("modifiers")), 4608);
    EXPECT_EQ(KeyCombo::fromDictionary(dictionary), combo);

    const KeyCombo high(0xFFFFFFFF, 0x80000000);
    EXPECT_EQ(std::get<std::int64_t>(high.dictionary().at("keyCode")), 4294967295);
    EXPECT_EQ(KeyCombo::fromDictionary(high.dictionary()), high);

    using D = KeyCombo::Dictionary;
    EXPECT_FALSE(KeyCombo::fromDictionary(D{{"keyCode", std::int64_t{49}}}));
    EXPECT_FALSE(KeyCombo::fromDictionary(D{{"modifiers", std::int64_t{0}}}));
    EXPECT_FALSE(KeyCombo::fromDictionary(D{{"keyCode", std::string("49")}, {"modifiers", std::int64_t{0}}}));
    EXPECT_FALSE(KeyCombo::fromDictionary(D{{"keyCode", 49.5}, {"modifiers", std::int64_t{0}}}));
    // Values outside the unsigned 32-bit range would wrap into another combination.
    EXPECT_FALSE(KeyCombo::fromDictionary(D{{"keyCode", std::int64_t{-1}}, {"modifiers", std::int64_t{0}}}));
    EXPECT_FALSE(KeyCombo::fromDictionary(D{{"keyCode", std::int64_t{49}}, {"modifiers", std::int64_t{1} << 32}}));
    // Extra entries do not matter.
    EXPECT_EQ(KeyCombo::fromDictionary(D{{"keyCode", std::int64_t{49}}, {"modifiers", std::int64_t{2048}},
                                         {"extra", std::string("x")}}),
              KeyCombo(49, 2048));
}

}  // namespace
