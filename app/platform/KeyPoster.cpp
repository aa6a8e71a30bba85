#include "platform/KeyPoster.h"

#include <mutex>

#include "platform/X11KeyPoster.h"

namespace {

std::mutex installedPosterMutex;
std::shared_ptr<KeyPoster> installedPoster;

}  // namespace

KeyPoster& KeyPoster::system() {
    static X11KeyPoster x11;
    std::lock_guard lock(installedPosterMutex);
    return installedPoster ? *installedPoster : x11;
}

void KeyPoster::setSystem(std::shared_ptr<KeyPoster> poster) {
    std::lock_guard lock(installedPosterMutex);
    installedPoster = std::move(poster);
}
