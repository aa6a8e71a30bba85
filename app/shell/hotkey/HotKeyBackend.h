#pragma once

#include "shell/hotkey/KeyCombo.h"

#include <cstdint>
#include <optional>

// One hot-key event as a backend delivers it: the id the hot key was registered under and whether it was pressed
// or released.
struct HotKeyEvent {
    static constexpr std::uint32_t kindPressed = 5;
    static constexpr std::uint32_t kindReleased = 6;

    // The status of reading the id from the platform event; anything but 0 means `signature` and `id` are unusable.
    std::int32_t parameterStatus = 0;
    std::uint32_t signature = 0;
    std::uint32_t id = 0;
    std::uint32_t kind = 0;
};

// What the hot-key registry needs from the desktop: system-wide grabs of key combinations and their events.
// All calls and all event deliveries happen on the GUI thread.
class HotKeyBackend {
public:
    using Handle = std::uint64_t;
    using EventHandler = std::int32_t (*)(const HotKeyEvent* event);

    virtual ~HotKeyBackend() = default;

    // Grabs `combo` system-wide; its events will carry `signature` and `id`. Empty when the desktop refuses.
    virtual std::optional<Handle> registerHotKey(const KeyCombo& combo, std::uint32_t signature, std::uint32_t id) = 0;
    virtual void unregisterHotKey(Handle handle) = 0;
    // Starts delivering events to `handler`.
    virtual void installEventHandler(EventHandler handler) = 0;
};
