#pragma once

#include <functional>

#include "platform/KeyPoster.h"

namespace enginetest {

// Counts the pastes; `onPaste` sees the moment of each one (what the clipboard holds then).
class FakeKeyPoster : public KeyPoster {
public:
    void postPaste() override {
        ++pastes;
        if (onPaste) onPaste();
    }

    int pastes = 0;
    std::function<void()> onPaste;
};

}  // namespace enginetest
