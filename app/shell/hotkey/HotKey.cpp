#include "shell/hotkey/HotKey.h"

#include "shell/hotkey/HotKeysController.h"

HotKey::HotKey(KeyCombo keyCombo, Handler keyDownHandler, Handler keyUpHandler)
    : keyDownHandler(std::move(keyDownHandler)),
      keyUpHandler(std::move(keyUpHandler)),
      identifier_(QUuid::createUuid()),
      keyCombo_(keyCombo) {
    HotKeysController::registerHotKey(*this);
}

HotKey::HotKey(std::uint32_t carbonKeyCode, std::uint32_t carbonModifiers, Handler keyDownHandler,
               Handler keyUpHandler)
    : HotKey(KeyCombo(carbonKeyCode, carbonModifiers), std::move(keyDownHandler), std::move(keyUpHandler)) {}

HotKey::HotKey(Key key, ModifierFlags modifiers, Handler keyDownHandler, Handler keyUpHandler)
    : HotKey(KeyCombo(key, modifiers), std::move(keyDownHandler), std::move(keyUpHandler)) {}

HotKey::~HotKey() { HotKeysController::unregisterHotKey(*this); }

void HotKey::setPaused(bool paused) {
    isPaused_ = paused;
    if (paused) {
        HotKeysController::unregisterHotKey(*this);
    } else {
        HotKeysController::registerHotKey(*this);
    }
}
