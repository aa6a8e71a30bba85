#include "platform/Pasteboard.h"

#include <mutex>

#include "platform/QtPasteboard.h"

namespace {

std::mutex installedMutex;
std::shared_ptr<Pasteboard> installed;

}  // namespace

Pasteboard& Pasteboard::general() {
    static QtPasteboard system;
    std::lock_guard lock(installedMutex);
    return installed ? *installed : system;
}

void Pasteboard::setGeneral(std::shared_ptr<Pasteboard> pasteboard) {
    std::lock_guard lock(installedMutex);
    installed = std::move(pasteboard);
}
