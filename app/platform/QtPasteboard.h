#pragma once

#include "platform/Pasteboard.h"

// The CLIPBOARD selection through QClipboard. While the application owns the selection, the Qt event loop serves it
// to the applications that paste, so the GUI thread must keep running its loop.
class QtPasteboard : public Pasteboard {
public:
    void clearContents() override;
    bool writeString(const std::string& text) override;
};
