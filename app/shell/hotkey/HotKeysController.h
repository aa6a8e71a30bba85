#pragma once

#include "shell/hotkey/HotKeyBackend.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

class HotKey;

// The process-wide registry of hot keys: gives each registration a fresh id, asks the backend to grab the
// combination, and routes the backend's events to the live hot key's handlers. GUI thread only.
class HotKeysController {
public:
    HotKeysController() = delete;

    // 'QmHk', the tag our events carry; events with another tag belong to someone else.
    static constexpr std::uint32_t signature = 0x516D486B;
    static constexpr std::int32_t noErr = 0;
    static constexpr std::int32_t eventNotHandledErr = -9874;

    // Registers `hotKey` unless it already is; a refusal by the backend is silent and leaves the entry in place.
    static void registerHotKey(HotKey& hotKey);
    // Releases the combination and drops the entry; nothing when `hotKey` is not registered.
    static void unregisterHotKey(HotKey& hotKey);
    // The live hot key registered under `id`, or null.
    static HotKey* hotKey(std::uint32_t id);
    // The id `hotKey` is registered under, if any.
    static std::optional<std::uint32_t> registeredID(const HotKey& hotKey);
    // Whether the desktop accepted `hotKey`'s combination: false when it is not registered or the backend refused it.
    static bool isAccepted(const HotKey& hotKey);
    static std::size_t registeredCount();

    // Runs the handler of the hot key an event is for; noErr when a handler ran, otherwise eventNotHandledErr (or
    // the event's own failed parameter status).
    static std::int32_t hotKeyEventHandler(const HotKeyEvent* event);

    // The backend later registrations go to. By default the X11 backend on $DISPLAY, created on first use.
    // Hot keys already registered stay with the backend that grabbed them.
    static void setBackend(std::shared_ptr<HotKeyBackend> backend);
    static std::shared_ptr<HotKeyBackend> backend();
};
