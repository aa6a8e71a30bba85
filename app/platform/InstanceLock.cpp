#include "platform/InstanceLock.h"

#include "platform/AppLog.h"

#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

InstanceLock::InstanceLock(const std::filesystem::path& file) {
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
        AppLog::error("Cannot open " + file.string() + " to find other instances: " + std::strerror(errno));
        return;
    }
    int result;
    do {
        result = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        state_ = State::held;
    } else if (errno == EWOULDBLOCK) {
        state_ = State::heldByAnother;
    } else {
        AppLog::error("Cannot lock " + file.string() + " to find other instances: " + std::strerror(errno));
    }
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) ::close(fd_);
}

std::filesystem::path InstanceLock::defaultFile() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) return {};
    return std::filesystem::path(folder.toStdString()) / "vellumcaster.lock";
}
