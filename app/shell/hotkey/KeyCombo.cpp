#include "shell/hotkey/KeyCombo.h"

#include <limits>
#include <utility>

namespace {

std::optional<std::uint32_t> unsignedEntry(const KeyCombo::Dictionary& dictionary, const char* name) {
    const auto it = dictionary.find(name);
    if (it == dictionary.end()) return std::nullopt;
    const auto* value = std::get_if<std::int64_t>(&it->second);
    // Out-of-range values would wrap into some other key; reject them instead.
    if (!value || *value < 0 || *value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    return static_cast<std::uint32_t>(*value);
}

}  // namespace

std::optional<KeyCombo> KeyCombo::fromDictionary(const Dictionary& dictionary) {
    const auto code = unsignedEntry(dictionary, "keyCode");
    const auto modifiers = unsignedEntry(dictionary, "modifiers");
    if (!code || !modifiers) return std::nullopt;
    return KeyCombo(*code, *modifiers);
}

KeyCombo::Dictionary KeyCombo::dictionary() const {
    return {{"keyCode", static_cast<std::int64_t>(carbonKeyCode)},
            {"modifiers", static_cast<std::int64_t>(carbonModifiers)}};
}

std::string KeyCombo::description() const {
    std::string text = modifiers().description();
    if (const auto k = key()) text += ::description(*k);
    return text;
}

std::string KeyCombo::label() const {
    std::string text;
    const ModifierFlags flags = modifiers();
    // In the order desktops print them.
    for (const auto& [flag, key] : {std::pair{ModifierFlags::control(), Key::control},
                                    std::pair{ModifierFlags::option(), Key::option},
                                    std::pair{ModifierFlags::shift(), Key::shift},
                                    std::pair{ModifierFlags::command(), Key::command}}) {
        if (flags.contains(flag)) text.append(keyLabel(key)).append("+");
    }
    if (const auto k = key()) return text.append(keyLabel(*k));
    return text + "key " + std::to_string(carbonKeyCode);
}
