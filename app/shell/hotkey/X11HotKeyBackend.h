#pragma once

#include "shell/hotkey/HotKeyBackend.h"

#include <memory>
#include <string>

// Global hot keys on an X11 server: passive key grabs on the root window over a connection of its own, whose events
// are read on the GUI thread. Without an X server (a Wayland session without XWayland) every registration fails with
// a log line; nothing else changes.
class X11HotKeyBackend : public HotKeyBackend {
public:
    // Connects to `displayName`, or to $DISPLAY when it is empty. Needs a running Qt application for event delivery.
    explicit X11HotKeyBackend(const std::string& displayName = {});
    ~X11HotKeyBackend() override;

    X11HotKeyBackend(const X11HotKeyBackend&) = delete;
    X11HotKeyBackend& operator=(const X11HotKeyBackend&) = delete;

    bool isConnected() const;

    std::optional<Handle> registerHotKey(const KeyCombo& combo, std::uint32_t signature, std::uint32_t id) override;
    void unregisterHotKey(Handle handle) override;
    void installEventHandler(EventHandler handler) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};
