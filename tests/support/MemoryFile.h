#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace vctest {

// A file in memory with a path of its own (/proc/self/fd/N), for handing fuzz inputs to readers that take a path.
class MemoryFile {
public:
    MemoryFile() : fd_(::memfd_create("vellumcaster-fuzz", MFD_CLOEXEC)) {
        if (fd_ < 0) throw std::runtime_error("memfd_create failed");
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemoryFile() { ::close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // Replaces the contents with `size` bytes at `data`.
    const std::string& hold(const uint8_t* data, size_t size) {
        if (::ftruncate(fd_, 0) != 0 || (size > 0 && ::pwrite(fd_, data, size, 0) != ssize_t(size))) {
            throw std::runtime_error("cannot write the memory file");
        }
        return path_;
    }

private:
    int fd_;
    std::string path_;
};

}  // namespace vctest
