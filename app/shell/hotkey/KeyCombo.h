#pragma once

#include "shell/hotkey/Key.h"
#include "shell/hotkey/ModifierFlags.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>

// A key with its modifiers, in the virtual key code and modifier mask that are stored and compared.
class KeyCombo {
public:
    // A dictionary value: integers are what the stored form holds; anything else makes the dictionary invalid.
    using DictionaryValue = std::variant<std::int64_t, double, std::string>;
    using Dictionary = std::map<std::string, DictionaryValue>;

    constexpr KeyCombo(std::uint32_t carbonKeyCode, std::uint32_t carbonModifiers)
        : carbonKeyCode(carbonKeyCode), carbonModifiers(carbonModifiers) {}
    KeyCombo(Key key, ModifierFlags modifiers)
        : carbonKeyCode(::carbonKeyCode(key)), carbonModifiers(modifiers.carbonFlags()) {}
    // Empty unless both "keyCode" and "modifiers" are present and both are integers in the 32-bit unsigned range.
    static std::optional<KeyCombo> fromDictionary(const Dictionary& dictionary);

    std::optional<Key> key() const { return keyFromCarbonKeyCode(carbonKeyCode); }
    // Stores the key's code, or 0 for no key.
    void setKey(std::optional<Key> key) { carbonKeyCode = key ? ::carbonKeyCode(*key) : 0; }
    ModifierFlags modifiers() const { return ModifierFlags::fromCarbonFlags(carbonModifiers); }
    void setModifiers(ModifierFlags modifiers) { carbonModifiers = modifiers.carbonFlags(); }

    // {"keyCode": code, "modifiers": mask}, both as signed integers.
    Dictionary dictionary() const;
    // Modifier glyphs then the key glyph ("⌥␣"); the modifier glyphs alone when the code names no key.
    std::string description() const;
    // The combination as the application shows and logs it, by the keys' Linux names: "Alt+Space", "Ctrl+Shift+F1",
    // "Esc"; a code that names no key shows as "key <code>".
    std::string label() const;

    friend bool operator==(const KeyCombo&, const KeyCombo&) = default;

    std::uint32_t carbonKeyCode;
    std::uint32_t carbonModifiers;
};
