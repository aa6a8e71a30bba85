#pragma once

#include "Duvidu/DuviduMainThreadExecutor.h"

// The reporting SDK's "main queue" in this application: blocks posted to the Qt GUI thread's event loop.
class GuiThreadExecutor : public duvidu::DuviduMainThreadExecutor {
public:
    void post(std::function<void()> block) override;
    bool isMainThread() const override;
};
