#include "Duvidu/DuviduFileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

namespace duvidu {

std::optional<DuviduFileLock> DuviduFileLock::acquire(const std::string& path, std::chrono::steady_clock::duration wait)
{
    // Without blocking: a named pipe in place of the file cannot hold the open up.
    DuviduFileLock lock(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (lock.descriptor_ < 0) return std::nullopt;
    // flock has no deadline of its own: tries again every millisecond until the wait is over. Short pauses, because
    // the holders that a waiter competes with (other processes' counts) hold it only briefly but often.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(lock.descriptor_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const auto now = std::chrono::steady_clock::now();
        if (errno != EWOULDBLOCK || now >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(std::chrono::milliseconds(1),
                                                                                  deadline - now));
    }
    struct stat held {}, named {};
    if (::fstat(lock.descriptor_, &held) != 0 || ::stat(path.c_str(), &named) != 0 || held.st_dev != named.st_dev ||
        held.st_ino != named.st_ino)
        return std::nullopt;
    return lock;
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
