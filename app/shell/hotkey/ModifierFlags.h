#pragma once

#include <cstdint>
#include <string>

// A set of modifier keys, with the bit values the stored settings and pickers use (command 0x100000, option 0x80000,
// control 0x40000, shift 0x20000). Other bits may be present and are carried along but never mapped.
class ModifierFlags {
public:
    static constexpr std::uint32_t commandBit = 0x100000;
    static constexpr std::uint32_t optionBit = 0x80000;
    static constexpr std::uint32_t controlBit = 0x40000;
    static constexpr std::uint32_t shiftBit = 0x20000;

    // The masks of KeyCombo's modifier field.
    static constexpr std::uint32_t carbonCommand = 256;
    static constexpr std::uint32_t carbonShift = 512;
    static constexpr std::uint32_t carbonOption = 2048;
    static constexpr std::uint32_t carbonControl = 4096;

    constexpr ModifierFlags() = default;
    constexpr explicit ModifierFlags(std::uint32_t raw) : raw_(raw) {}

    static constexpr ModifierFlags command() { return ModifierFlags(commandBit); }
    static constexpr ModifierFlags option() { return ModifierFlags(optionBit); }
    static constexpr ModifierFlags control() { return ModifierFlags(controlBit); }
    static constexpr ModifierFlags shift() { return ModifierFlags(shiftBit); }

    // The set for a KeyCombo modifier mask; bits other than the four modifiers are ignored.
    static constexpr ModifierFlags fromCarbonFlags(std::uint32_t carbon) {
        std::uint32_t raw = 0;
        if (carbon & carbonCommand) raw |= commandBit;
        if (carbon & carbonShift) raw |= shiftBit;
        if (carbon & carbonOption) raw |= optionBit;
        if (carbon & carbonControl) raw |= controlBit;
        return ModifierFlags(raw);
    }

    // The KeyCombo modifier mask of the four modifiers in the set.
    constexpr std::uint32_t carbonFlags() const {
        std::uint32_t carbon = 0;
        if (raw_ & commandBit) carbon |= carbonCommand;
        if (raw_ & shiftBit) carbon |= carbonShift;
        if (raw_ & optionBit) carbon |= carbonOption;
        if (raw_ & controlBit) carbon |= carbonControl;
        return carbon;
    }

    constexpr std::uint32_t rawValue() const { return raw_; }
    constexpr bool contains(ModifierFlags other) const { return (raw_ & other.raw_) == other.raw_; }
    constexpr bool isEmpty() const { return raw_ == 0; }

    // The glyphs of the set in the fixed order control, option, shift, command ("⌃⌥⇧⌘").
    std::string description() const {
        std::string text;
        if (raw_ & controlBit) text += "\u2303";
        if (raw_ & optionBit) text += "\u2325";
        if (raw_ & shiftBit) text += "\u21E7";
        if (raw_ & commandBit) text += "\u2318";
        return text;
    }

    friend constexpr ModifierFlags operator|(ModifierFlags a, ModifierFlags b) {
        return ModifierFlags(a.raw_ | b.raw_);
    }
    friend constexpr bool operator==(ModifierFlags a, ModifierFlags b) = default;

private:
    std::uint32_t raw_ = 0;
};
