#include "shell/hotkey/X11HotKeyBackend.h"

#include "platform/AppLog.h"

#include <QMetaObject>
#include <QSocketNotifier>

#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <array>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

namespace {

// The keysym of each Key, in the enumeration's order. The key labelled with the chosen character is what a user
// expects, so the lookup goes through the layout rather than fixed positions. `function` never reaches X.
constexpr std::array<KeySym, keyCount> keysyms{
    XK_a, XK_b, XK_c, XK_d, XK_e, XK_f, XK_g, XK_h, XK_i, XK_j, XK_k, XK_l, XK_m, XK_n, XK_o, XK_p, XK_q, XK_r,
    XK_s, XK_t, XK_u, XK_v, XK_w, XK_x, XK_y, XK_z,
    XK_0, XK_1, XK_2, XK_3, XK_4, XK_5, XK_6, XK_7, XK_8, XK_9,
    XK_period, XK_apostrophe, XK_bracketright, XK_semicolon, XK_slash, XK_backslash, XK_comma, XK_equal, XK_grave,
    XK_bracketleft, XK_minus,
    XK_space, XK_Tab, XK_Return,
    XK_Super_L, XK_Super_R, XK_Alt_L, XK_Alt_R, XK_Control_L, XK_Control_R, XK_Shift_L, XK_Shift_R, NoSymbol,
    XK_Caps_Lock,
    XK_Prior, XK_Next, XK_Home, XK_End, XK_Up, XK_Right, XK_Down, XK_Left,
    XK_F1, XK_F2, XK_F3, XK_F4, XK_F5, XK_F6, XK_F7, XK_F8, XK_F9, XK_F10, XK_F11, XK_F12, XK_F13, XK_F14, XK_F15,
    XK_F16, XK_F17, XK_F18, XK_F19, XK_F20,
    XK_KP_0, XK_KP_1, XK_KP_2, XK_KP_3, XK_KP_4, XK_KP_5, XK_KP_6, XK_KP_7, XK_KP_8, XK_KP_9,
    XK_Clear, XK_KP_Decimal, XK_KP_Divide, XK_KP_Enter, XK_KP_Equal, XK_KP_Subtract, XK_KP_Multiply, XK_KP_Add,
    XK_Escape, XK_BackSpace, XK_Delete, XK_Help, XF86XK_AudioRaiseVolume, XF86XK_AudioLowerVolume, XF86XK_AudioMute,
};

// Xlib reports protocol errors through one process-wide handler whose default ends the process. Errors on our own
// connections are recorded (a refused grab is BadAccess) and never fatal; others go to the previous handler.
struct ErrorTrap {
    std::set<Display*> displays;
    XErrorHandler previous = nullptr;
    int lastError = Success;
};

// Xlib may call the handler, and a backend may close its display, until the very end of the process (static
// destructors included), so the trap is never destroyed.
ErrorTrap& errorTrap() {
    static ErrorTrap* const trap = new ErrorTrap;
    return *trap;
}

int onXError(Display* display, XErrorEvent* error) {
    ErrorTrap& trap = errorTrap();
    if (trap.displays.count(display)) {
        trap.lastError = error->error_code;
        return 0;
    }
    return trap.previous ? trap.previous(display, error) : 0;
}

// Puts onXError in place, chaining to whatever handler is there now (a toolkit may have set one since).
void installErrorTrap() {
    const XErrorHandler current = XSetErrorHandler(onXError);
    if (current != onXError) errorTrap().previous = current;
}

// A grabbed combination: the key code and the modifier mask without the lock modifiers.
struct GrabKey {
    KeyCode keycode = 0;
    unsigned int modifiers = 0;
    friend auto operator<=>(const GrabKey&, const GrabKey&) = default;
};

struct Registration {
    GrabKey key;
    std::uint32_t signature = 0;
    std::uint32_t id = 0;
};

}  // namespace

struct X11HotKeyBackend::Impl {
    Display* display = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;
    EventHandler handler = nullptr;
    bool detectableAutoRepeat = false;

    Handle lastHandle = 0;
    std::map<Handle, Registration> registrations;
    // X keeps one grab per client and combination, so a second registration of a combination shares the grab and
    // only the last release ungrabs it.
    std::map<GrabKey, int> grabCounts;
    // The combination that is down: its release is matched by key code alone, since the modifiers may be let go
    // first and the release's state then lacks them.
    std::optional<GrabKey> pressed;

    ~Impl() {
        notifier.reset();
        if (display) {
            errorTrap().displays.erase(display);
            XCloseDisplay(display);
        }
    }

    void open(const std::string& displayName) {
        const char* name = displayName.empty() ? std::getenv("DISPLAY") : displayName.c_str();
        if (!name || !*name) {
            AppLog::info(
                "Global hot keys are unavailable: no X display (DISPLAY is not set; Wayland sessions need XWayland)");
            return;
        }
        display = XOpenDisplay(name);
        if (!display) {
            AppLog::info(std::string("Global hot keys are unavailable: cannot open X display ") + name);
            return;
        }
        installErrorTrap();
        errorTrap().displays.insert(display);
        // A held key then repeats as presses only, so a held combination is one press and one release.
        Bool supported = False;
        XkbSetDetectableAutoRepeat(display, True, &supported);
        detectableAutoRepeat = supported;
        notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(display), QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this] { readEvents(); });
    }

    // The mask of the modifier that one of `syms` is bound to, 0 when none is.
    unsigned int modifierMask(std::initializer_list<KeySym> syms) const {
        XModifierKeymap* map = XGetModifierMapping(display);
        if (!map) return 0;
        unsigned int mask = 0;
        for (int modifier = 0; modifier < 8 && !mask; ++modifier) {
            for (int i = 0; i < map->max_keypermod && !mask; ++i) {
                const KeyCode code = map->modifiermap[modifier * map->max_keypermod + i];
                if (!code) continue;
                // Level 1 too: some layouts put Meta on the Alt keys' shifted level.
                const KeySym base = XkbKeycodeToKeysym(display, code, 0, 0);
                const KeySym shifted = XkbKeycodeToKeysym(display, code, 0, 1);
                for (KeySym sym : syms) {
                    if (base == sym || shifted == sym) mask = 1u << modifier;
                }
            }
        }
        XFreeModifiermap(map);
        return mask;
    }

    unsigned int numLockMask() const { return modifierMask({XK_Num_Lock}); }

    // The mask of the state bits that tell combinations apart (all but the lock modifiers).
    unsigned int significantModifiers() const {
        return (ShiftMask | ControlMask | Mod1Mask | Mod2Mask | Mod3Mask | Mod4Mask | Mod5Mask) & ~numLockMask();
    }

    // One grab per lock state, or the combination would not fire with CapsLock or NumLock on.
    std::vector<unsigned int> lockVariants() const {
        const unsigned int numLock = numLockMask();
        std::vector<unsigned int> variants{0, LockMask};
        if (numLock && numLock != LockMask) {
            variants.push_back(numLock);
            variants.push_back(numLock | LockMask);
        }
        return variants;
    }

    // Grabs all lock variants of `key`; false (with nothing left grabbed) when another client holds any of them.
    bool grab(const GrabKey& key) {
        const Window root = DefaultRootWindow(display);
        ErrorTrap& trap = errorTrap();
        installErrorTrap();
        XSync(display, False);
        trap.lastError = Success;
        for (unsigned int variant : lockVariants()) {
            XGrabKey(display, key.keycode, key.modifiers | variant, root, False, GrabModeAsync, GrabModeAsync);
        }
        XSync(display, False);
        const bool refused = trap.lastError != Success;
        if (refused) ungrab(key);
        scheduleRead();
        return !refused;
    }

    void ungrab(const GrabKey& key) {
        const Window root = DefaultRootWindow(display);
        for (unsigned int variant : lockVariants()) {
            XUngrabKey(display, key.keycode, key.modifiers | variant, root);
        }
        XSync(display, False);
        errorTrap().lastError = Success;
        scheduleRead();
    }

    // XSync reads pending events into Xlib's queue, after which the socket is no longer readable: read them soon.
    void scheduleRead() {
        QMetaObject::invokeMethod(notifier.get(), [this] { readEvents(); }, Qt::QueuedConnection);
    }

    void readEvents() {
        while (display && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == KeyPress) {
                onPress(event.xkey);
            } else if (event.type == KeyRelease) {
                onRelease(event.xkey);
            }
        }
    }

    void onPress(const XKeyEvent& event) {
        const GrabKey key{static_cast<KeyCode>(event.keycode), event.state & significantModifiers()};
        if (!grabCounts.count(key)) return;
        if (pressed && pressed->keycode == key.keycode) return;  // auto-repeat of the held key
        pressed = key;
        deliver(key, HotKeyEvent::kindPressed);
    }

    void onRelease(const XKeyEvent& event) {
        if (!pressed || pressed->keycode != event.keycode) return;
        if (!detectableAutoRepeat && isRepeat(event)) return;
        const GrabKey key = *pressed;
        pressed.reset();
        deliver(key, HotKeyEvent::kindReleased);
    }

    // Without detectable auto-repeat a held key sends release/press pairs with one time stamp: drop the pair.
    bool isRepeat(const XKeyEvent& release) {
        if (XEventsQueued(display, QueuedAfterReading) == 0) return false;
        XEvent next;
        XPeekEvent(display, &next);
        if (next.type != KeyPress || next.xkey.keycode != release.keycode || next.xkey.time != release.time) {
            return false;
        }
        XNextEvent(display, &next);
        return true;
    }

    void deliver(const GrabKey& key, std::uint32_t kind) {
        if (!handler) return;
        // Collected first: a handler may unregister hot keys while the others wait.
        std::vector<HotKeyEvent> events;
        for (const auto& [handle, registration] : registrations) {
            if (registration.key == key) events.push_back({0, registration.signature, registration.id, kind});
        }
        for (const HotKeyEvent& event : events) handler(&event);
    }
};

X11HotKeyBackend::X11HotKeyBackend(const std::string& displayName) : d_(std::make_unique<Impl>()) {
    d_->open(displayName);
}

X11HotKeyBackend::~X11HotKeyBackend() = default;

bool X11HotKeyBackend::isConnected() const { return d_->display != nullptr; }

std::optional<HotKeyBackend::Handle> X11HotKeyBackend::registerHotKey(const KeyCombo& combo, std::uint32_t signature,
                                                                      std::uint32_t id) {
    const auto refuse = [&combo](const char* reason) -> std::optional<Handle> {
        AppLog::info("Could not register hot key " + combo.label() + ": " + reason);
        return std::nullopt;
    };
    if (!d_->display) return refuse("no X display");

    const auto key = combo.key();
    const KeySym sym = key ? keysyms[static_cast<std::size_t>(*key)] : NoSymbol;
    const KeyCode keycode = sym == NoSymbol ? 0 : XKeysymToKeycode(d_->display, sym);
    if (!keycode) return refuse("the key is not on this keyboard");

    const ModifierFlags flags = combo.modifiers();
    unsigned int modifiers = 0;
    if (flags.contains(ModifierFlags::shift())) modifiers |= ShiftMask;
    if (flags.contains(ModifierFlags::control())) modifiers |= ControlMask;
    if (flags.contains(ModifierFlags::option())) {
        const unsigned int alt = d_->modifierMask({XK_Alt_L, XK_Alt_R, XK_Meta_L});
        if (!alt) return refuse("no Alt modifier on this keyboard");
        modifiers |= alt;
    }
    if (flags.contains(ModifierFlags::command())) {
        const unsigned int super = d_->modifierMask({XK_Super_L, XK_Super_R});
        if (!super) return refuse("no Super modifier on this keyboard");
        modifiers |= super;
    }

    const GrabKey grabKey{keycode, modifiers};
    int& count = d_->grabCounts[grabKey];
    if (count == 0 && !d_->grab(grabKey)) {
        d_->grabCounts.erase(grabKey);
        return refuse("another application already uses it");
    }
    ++count;
    const Handle handle = ++d_->lastHandle;
    d_->registrations[handle] = {grabKey, signature, id};
    return handle;
}

void X11HotKeyBackend::unregisterHotKey(Handle handle) {
    const auto it = d_->registrations.find(handle);
    if (it == d_->registrations.end()) return;
    const GrabKey key = it->second.key;
    d_->registrations.erase(it);
    if (--d_->grabCounts[key] > 0) return;
    d_->grabCounts.erase(key);
    if (d_->pressed == key) d_->pressed.reset();
    d_->ungrab(key);
}

void X11HotKeyBackend::installEventHandler(EventHandler handler) { d_->handler = handler; }
