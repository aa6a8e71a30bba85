#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace duvidu {

// An exclusive lock on a file or folder that every process sharing the SDK's cache folder respects (flock): held
// until the object goes, and let go by the kernel when its process dies, so that a process that dies holding it
// blocks nobody. Within one process two locks on the same path exclude each other too.
class DuviduFileLock {
public:
    // Locks the file or folder at the path, waiting at most `wait` for another holder to let go (by default not at
    // all). nullopt when the path cannot be opened, is still held elsewhere when the wait is over, or no longer names
    // the locked file once the lock is taken (its holder deleted or replaced it meanwhile).
    static std::optional<DuviduFileLock> acquire(const std::string& path,
                                                 std::chrono::steady_clock::duration wait = {});

    DuviduFileLock(DuviduFileLock&& other) noexcept;
    DuviduFileLock& operator=(DuviduFileLock&& other) noexcept;
    DuviduFileLock(const DuviduFileLock&) = delete;
    DuviduFileLock& operator=(const DuviduFileLock&) = delete;
    ~DuviduFileLock();

    // The locked file, open for reading from its start.
    int descriptor() const { return descriptor_; }
    // Lets the lock go now.
    void release();

private:
    explicit DuviduFileLock(int descriptor) : descriptor_(descriptor) {}

    int descriptor_ = -1;
};

}  // namespace duvidu
