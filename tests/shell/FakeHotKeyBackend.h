#pragma once

#include "shell/hotkey/HotKeyBackend.h"
#include "shell/hotkey/HotKeysController.h"

#include <memory>
#include <string>
#include <vector>

// Records what the registry asks of the desktop and lets a test deliver events as the desktop would.
class FakeHotKeyBackend : public HotKeyBackend {
public:
    struct Call {
        std::string op;  // "register" or "unregister"
        KeyCombo combo{0, 0};
        std::uint32_t id = 0;
        Handle handle = 0;
    };

    // Installs a fresh fake as the registry's backend for the test's lifetime.
    static std::shared_ptr<FakeHotKeyBackend> install() {
        auto fake = std::make_shared<FakeHotKeyBackend>();
        HotKeysController::setBackend(fake);
        return fake;
    }

    std::optional<Handle> registerHotKey(const KeyCombo& combo, std::uint32_t signature, std::uint32_t id) override {
        lastSignature = signature;
        if (!accept) {
            calls.push_back({"register", combo, id, 0});
            return std::nullopt;
        }
        const Handle handle = ++lastHandle;
        calls.push_back({"register", combo, id, handle});
        return handle;
    }

    // Records the combination and id the handle was registered with.
    void unregisterHotKey(Handle handle) override {
        Call call{"unregister"};
        for (const Call& earlier : calls) {
            if (earlier.handle == handle) call = {"unregister", earlier.combo, earlier.id, handle};
        }
        calls.push_back(call);
    }

    void installEventHandler(EventHandler eventHandler) override {
        handler = eventHandler;
        ++installCount;
    }

    // Delivers an event for `id` as the desktop would; the handler's status.
    std::int32_t fire(std::uint32_t id, std::uint32_t kind) const {
        const HotKeyEvent event{0, HotKeysController::signature, id, kind};
        return handler ? handler(&event) : HotKeysController::eventNotHandledErr;
    }

    bool accept = true;
    std::vector<Call> calls;
    EventHandler handler = nullptr;
    int installCount = 0;
    std::uint32_t lastSignature = 0;
    Handle lastHandle = 0;
};
