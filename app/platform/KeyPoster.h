#pragma once

#include <memory>

// Types the paste shortcut into whichever window has the keyboard focus. Failures are silent: a desktop that refuses
// synthetic keys simply receives none.
class KeyPoster {
public:
    virtual ~KeyPoster() = default;

    // Posts Ctrl+V and returns at once; the keys may arrive a little later.
    virtual void postPaste() = 0;

    // The poster the application uses: synthetic X11 keys unless another one is installed.
    static KeyPoster& system();
    // Installs `poster` in place of the X11 one (tests); nullptr restores it.
    static void setSystem(std::shared_ptr<KeyPoster> poster);
};
