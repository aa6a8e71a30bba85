#pragma once

#include <filesystem>

// Keeps a second instance of the application from running beside the first: an exclusive flock(2) on a file in the
// user's runtime folder, held for the life of the process. The kernel drops the lock when its process ends in any
// way, so an instance that crashed never leaves it behind.
class InstanceLock {
public:
    enum class State {
        held,           // this process is the one instance
        heldByAnother,  // another process holds the lock
        unavailable,    // the lock file could not be opened; nothing can be told
    };

    // Tries to take the lock on `file` (created when missing).
    explicit InstanceLock(const std::filesystem::path& file = defaultFile());
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return state_; }

    // vellumcaster.lock in $XDG_RUNTIME_DIR (or the runtime folder Qt falls back to without it).
    static std::filesystem::path defaultFile();

private:
    int fd_ = -1;
    State state_ = State::unavailable;
};
