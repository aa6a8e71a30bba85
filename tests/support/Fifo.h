#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace vctest {

// A FIFO in a file's place, for tests of readers that must refuse one instead of waiting for a writer that never
// comes. returnsWithin() runs the reader on a thread of its own; a reader that is still blocked at the deadline is
// released with an end of file, so that a failing test reports the failure instead of hanging.
class Fifo {
public:
    explicit Fifo(std::filesystem::path path) : path_(std::move(path)) {
        if (::mkfifo(path_.c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed: " + path_.string());
    }

    const std::filesystem::path& path() const { return path_; }

    template <class Reader>
    bool returnsWithin(Reader reader, std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
        std::atomic<bool> done{false};
        std::thread thread([&] {
            reader();
            done = true;
        });
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const bool inTime = done;
        while (!done) {
            // Succeeds only while a reader has the FIFO open; closing it right away gives that reader its end.
            const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        thread.join();
        return inTime;
    }

private:
    std::filesystem::path path_;
};

}  // namespace vctest
