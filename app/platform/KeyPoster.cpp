#include "platform/KeyPoster.h"

#include <mutex>

#include "platform/X11KeyPoster.h"

namespace {

std::mutex installedMutex;
std::shared_ptr<KeyPoster> installed;

}  // namespace

KeyPoster& KeyPoster::system() {
    static X11KeyPoster x11;
    std::lock_guard lock(installedMutex);
    return installed ? *installed : x11;
}

void KeyPoster::setSystem(std::shared_ptr<KeyPoster> poster) {
    std::lock_guard lock(installedMutex);
    installed = std::move(poster);
}
