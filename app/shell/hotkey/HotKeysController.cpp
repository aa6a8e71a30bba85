#include "shell/hotkey/HotKeysController.h"

#include "shell/hotkey/HotKey.h"
#include "shell/hotkey/X11HotKeyBackend.h"

#include <QCoreApplication>

#include <map>

namespace {

// One registered hot key. The hot key unregisters itself before it dies, so `hotKey` never dangles.
struct HotKeyBox {
    QUuid identifier;
    HotKey* hotKey = nullptr;
    std::uint32_t carbonHotKeyID = 0;
    // The grab, when the backend accepted it, and the backend that holds it.
    std::optional<HotKeyBackend::Handle> handle;
    std::shared_ptr<HotKeyBackend> backend;
};

struct Registry {
    std::map<std::uint32_t, HotKeyBox> boxes;
    std::uint32_t lastHotKeyID = 0;
    std::shared_ptr<HotKeyBackend> backend;
    bool installedHandler = false;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

HotKeyBox* boxFor(const HotKey& hotKey) {
    for (auto& [id, box] : registry().boxes) {
        if (box.identifier == hotKey.identifier()) return &box;
    }
    return nullptr;
}

void installEventHandlerIfNeeded() {
    Registry& r = registry();
    if (r.lastHotKeyID == 0 || r.installedHandler) return;
    r.backend->installEventHandler(&HotKeysController::hotKeyEventHandler);
    r.installedHandler = true;
}

}  // namespace

void HotKeysController::registerHotKey(HotKey& hotKey) {
    if (boxFor(hotKey)) return;
    Registry& r = registry();
    const std::uint32_t id = ++r.lastHotKeyID;
    // The entry exists before the grab, so an event that arrives during registration finds it.
    HotKeyBox& box = r.boxes[id];
    box.identifier = hotKey.identifier();
    box.hotKey = &hotKey;
    box.carbonHotKeyID = id;
    auto platform = backend();
    const auto handle = platform->registerHotKey(hotKey.keyCombo(), signature, id);
    if (!handle) return;
    const auto it = r.boxes.find(id);
    if (it == r.boxes.end()) {  // unregistered from inside the backend call
        platform->unregisterHotKey(*handle);
        return;
    }
    it->second.handle = handle;
    it->second.backend = std::move(platform);
    installEventHandlerIfNeeded();
}

void HotKeysController::unregisterHotKey(HotKey& hotKey) {
    HotKeyBox* box = boxFor(hotKey);
    if (!box) return;
    const auto handle = box->handle;
    const auto holder = box->backend;
    registry().boxes.erase(box->carbonHotKeyID);
    // Nothing to release when the backend had refused the grab.
    if (handle) holder->unregisterHotKey(*handle);
}

HotKey* HotKeysController::hotKey(std::uint32_t id) {
    const auto& boxes = registry().boxes;
    const auto it = boxes.find(id);
    return it == boxes.end() ? nullptr : it->second.hotKey;
}

std::optional<std::uint32_t> HotKeysController::registeredID(const HotKey& hotKey) {
    if (const HotKeyBox* box = boxFor(hotKey)) return box->carbonHotKeyID;
    return std::nullopt;
}

bool HotKeysController::isAccepted(const HotKey& hotKey) {
    const HotKeyBox* box = boxFor(hotKey);
    return box && box->handle;
}

std::size_t HotKeysController::registeredCount() { return registry().boxes.size(); }

std::int32_t HotKeysController::hotKeyEventHandler(const HotKeyEvent* event) {
    if (!event) return eventNotHandledErr;
    if (event->parameterStatus != noErr) return event->parameterStatus;
    if (event->signature != signature) return eventNotHandledErr;
    HotKey* target = hotKey(event->id);
    if (!target) return eventNotHandledErr;
    HotKey::Handler action;
    switch (event->kind) {
        case HotKeyEvent::kindReleased:
            if (target->isPaused()) return eventNotHandledErr;
            action = target->keyUpHandler;
            break;
        case HotKeyEvent::kindPressed:
            if (target->isPaused()) return eventNotHandledErr;
            action = target->keyDownHandler;
            break;
        default:
            return eventNotHandledErr;
    }
    if (!action) return eventNotHandledErr;
    // A copy: the action may destroy the hot key (and with it the stored handler) while it runs.
    action();
    return noErr;
}

void HotKeysController::setBackend(std::shared_ptr<HotKeyBackend> backend) {
    Registry& r = registry();
    r.backend = std::move(backend);
    r.installedHandler = false;
}

std::shared_ptr<HotKeyBackend> HotKeysController::backend() {
    Registry& r = registry();
    if (!r.backend) {
        r.backend = std::make_shared<X11HotKeyBackend>();
        // Its X connection is watched by the application's event loop, so it must close while the application still
        // exists, not among the static destructors at exit: the registry lets go of it at quit, and the hot keys that
        // are still registered then hold it until they are released.
        if (const auto* app = QCoreApplication::instance()) {
            QObject::connect(app, &QCoreApplication::aboutToQuit, [] {
                Registry& registry = ::registry();
                registry.backend.reset();
                registry.installedHandler = false;
            });
        }
    }
    return r.backend;
}
