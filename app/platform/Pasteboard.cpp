#include "platform/Pasteboard.h"

#include <mutex>

#include "platform/QtPasteboard.h"

namespace {

std::mutex installedPasteboardMutex;
std::shared_ptr<Pasteboard> installedPasteboard;

}  // namespace

Pasteboard& Pasteboard::general() {
    static QtPasteboard system;
    std::lock_guard lock(installedPasteboardMutex);
    return installedPasteboard ? *installedPasteboard : system;
}

void Pasteboard::setGeneral(std::shared_ptr<Pasteboard> pasteboard) {
    std::lock_guard lock(installedPasteboardMutex);
    installedPasteboard = std::move(pasteboard);
}
