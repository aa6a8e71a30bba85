#include "Duvidu/DuviduFileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace duvidu {

std::optional<DuviduFileLock> DuviduFileLock::acquire(const std::string& path, bool wait)
{
    // Without blocking: a named pipe in place of the file cannot hold the open up.
    DuviduFileLock lock(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (lock.descriptor_ < 0) return std::nullopt;
    int locked;
    while ((locked = ::flock(lock.descriptor_, LOCK_EX | (wait ? 0 : LOCK_NB))) != 0 && errno == EINTR) {
    }
    if (locked != 0) return std::nullopt;
    struct stat held {}, named {};
    if (::fstat(lock.descriptor_, &held) != 0 || ::stat(path.c_str(), &named) != 0 || held.st_dev != named.st_dev ||
        held.st_ino != named.st_ino)
        return std::nullopt;
    return lock;
}

bool DuviduFileLock::isDeleted() const
{
    struct stat held {};
    return descriptor_ >= 0 && ::fstat(descriptor_, &held) == 0 && held.st_nlink == 0;
}

void DuviduFileLock::release()
{
    // Closing the only descriptor of the open file lets the lock go.
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
}

DuviduFileLock::DuviduFileLock(DuviduFileLock&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}

DuviduFileLock& DuviduFileLock::operator=(DuviduFileLock&& other) noexcept
{
    if (this != &other) {
        release();
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

DuviduFileLock::~DuviduFileLock()
{
    release();
}

}  // namespace duvidu
