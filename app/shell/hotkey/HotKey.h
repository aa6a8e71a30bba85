#pragma once

#include "shell/hotkey/Key.h"
#include "shell/hotkey/KeyCombo.h"
#include "shell/hotkey/ModifierFlags.h"

#include <QUuid>

#include <cstdint>
#include <functional>

// A system-wide key combination. It is registered from construction until it is paused or destroyed; its handlers
// run on the GUI thread when the combination is pressed or released, whichever application has the focus.
class HotKey {
public:
    using Handler = std::function<void()>;

    explicit HotKey(KeyCombo keyCombo, Handler keyDownHandler = {}, Handler keyUpHandler = {});
    HotKey(std::uint32_t carbonKeyCode, std::uint32_t carbonModifiers, Handler keyDownHandler = {},
           Handler keyUpHandler = {});
    HotKey(Key key, ModifierFlags modifiers, Handler keyDownHandler = {}, Handler keyUpHandler = {});
    ~HotKey();

    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;

    const QUuid& identifier() const { return identifier_; }
    const KeyCombo& keyCombo() const { return keyCombo_; }

    bool isPaused() const { return isPaused_; }
    // Pausing unregisters the combination; resuming registers it again (under a new id).
    void setPaused(bool paused);

    Handler keyDownHandler;
    Handler keyUpHandler;

private:
    QUuid identifier_;
    KeyCombo keyCombo_;
    bool isPaused_ = false;
};
