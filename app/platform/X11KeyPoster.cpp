#include "platform/X11KeyPoster.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <exception>
#include <string>
#include <vector>

#include "platform/AppLog.h"

namespace {

// The keys that would turn Ctrl+V into another shortcut while held.
constexpr KeySym modifierKeySyms[] = {XK_Shift_L, XK_Shift_R, XK_Control_L, XK_Control_R, XK_Alt_L,
                                      XK_Alt_R,   XK_Meta_L,  XK_Meta_R,    XK_Super_L,   XK_Super_R,
                                      XK_Hyper_L, XK_Hyper_R, XK_ISO_Level3_Shift};

bool anyKeyDown(Display* display, const std::vector<KeyCode>& keys) {
    char state[32] = {};
    XQueryKeymap(display, state);
    for (const KeyCode key : keys) {
        if (state[key / 8] & (1 << (key % 8))) return true;
    }
    return false;
}

}  // namespace

X11KeyPoster::X11KeyPoster(std::chrono::milliseconds modifierWait) : modifierWait_(modifierWait) {}

X11KeyPoster::~X11KeyPoster() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void X11KeyPoster::postPaste() {
    {
        std::lock_guard lock(mutex_);
        if (!worker_.joinable()) {
            try {
                worker_ = std::thread([this] { run(); });
            } catch (const std::exception& e) {
                // No thread to wait for the modifiers on (the system refused one, or the memory for it): this paste
                // is not posted, and the next one tries again.
                AppLog::error(std::string("Could not start the paste: ") + e.what() + "; the paste was not posted");
                return;
            }
        }
        ++pending_;
    }
    wake_.notify_all();
}

void X11KeyPoster::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return pending_ > 0 || stopping_; });
        if (pending_ == 0) return;  // stopping with nothing left to paste
        --pending_;
        lock.unlock();
        pasteNow();
        lock.lock();
    }
}

void X11KeyPoster::pasteNow() const {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
    const KeyCode v = XKeysymToKeycode(display, XK_v);
    if (XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor) && control != 0 && v != 0) {
        std::vector<KeyCode> modifiers;
        for (const KeySym sym : modifierKeySyms) {
            if (const KeyCode code = XKeysymToKeycode(display, sym)) modifiers.push_back(code);
        }
        const auto deadline = std::chrono::steady_clock::now() + modifierWait_;
        bool held = anyKeyDown(display, modifiers);
        while (held && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            held = anyKeyDown(display, modifiers);
        }
        if (held) {
            AppLog::error("Modifier keys are still held down; the paste was not posted");
        } else {
            XTestFakeKeyEvent(display, control, True, CurrentTime);
            XTestFakeKeyEvent(display, v, True, CurrentTime);
            XTestFakeKeyEvent(display, v, False, CurrentTime);
            XTestFakeKeyEvent(display, control, False, CurrentTime);
            XSync(display, False);
        }
    }
    XCloseDisplay(display);
}
