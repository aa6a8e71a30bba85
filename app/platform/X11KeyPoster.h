#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/KeyPoster.h"

// Ctrl+V through the XTEST extension of the X server named by DISPLAY.
//
// A dictation usually ends on the release of the hot key's primary key while its modifier (Alt, Super...) is still
// held; a Ctrl+V posted then reaches the application as Ctrl+Alt+V, which pastes nothing. So each paste first waits,
// on a worker thread of its own, until no modifier key is physically down, and gives up (logging it) when the keys
// stay down longer than `modifierWait`. No display, no XTEST, or no thread to wait on means nothing is posted.
class X11KeyPoster : public KeyPoster {
public:
    explicit X11KeyPoster(std::chrono::milliseconds modifierWait = std::chrono::seconds(2));
    // Waits for the pastes already asked for.
    ~X11KeyPoster() override;

    void postPaste() override;

private:
    void run();
    // Waits for the modifiers and posts the four key events.
    void pasteNow() const;

    const std::chrono::milliseconds modifierWait_;
    std::mutex mutex_;
    std::condition_variable wake_;
    int pending_ = 0;
    bool stopping_ = false;
    std::thread worker_;  // started by the first paste
};
