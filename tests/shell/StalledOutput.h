#pragma once

// A pipe for the application's standard output and error that the test reads into the run's log until it stalls it:
// from then on the pipe is full, held open and never read, as behind a terminal paused with Ctrl+S, a launcher that
// stopped reading or a stalled log collector.

#include "AppProcess.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

namespace shelltest {

class StalledOutput {
public:
    // Becomes the standard output and error of the process that `app` starts next.
    explicit StalledOutput(AppProcess& app) {
        if (::pipe2(ends_, O_CLOEXEC) != 0) return;
        app.process.setChildProcessModifier([in = ends_[1]] {
            ::dup2(in, STDOUT_FILENO);
            ::dup2(in, STDERR_FILENO);
        });
        reading_ = std::make_unique<QSocketNotifier>(ends_[0], QSocketNotifier::Read);
        QObject::connect(reading_.get(), &QSocketNotifier::activated, [this, &app] {
            char bytes[4096];
            const ssize_t count = ::read(ends_[0], bytes, sizeof bytes);
            if (count > 0) app.log += QString::fromUtf8(bytes, int(count));
        });
    }
    ~StalledOutput() {
        reading_.reset();
        for (const int end : ends_)
            if (end >= 0) ::close(end);
    }
    StalledOutput(const StalledOutput&) = delete;
    StalledOutput& operator=(const StalledOutput&) = delete;

    // Stops reading and fills the pipe; whether it is full. The filling goes through a description of the pipe of its
    // own, so that the application's descriptors stay blocking, as a terminal's are.
    bool stall() {
        if (!reading_) return false;
        reading_->setEnabled(false);
        const std::string own = "/proc/self/fd/" + std::to_string(ends_[1]);
        const int fd = ::open(own.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return false;
        // Whole pages first, then single bytes into what the last one left.
        const std::string block(4096, 'x');
        for (const std::size_t size : {block.size(), std::size_t(1)}) {
            while (::write(fd, block.data(), size) > 0 || errno == EINTR) {
            }
        }
        const bool full = errno == EAGAIN;
        ::close(fd);
        return full;
    }

private:
    int ends_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> reading_;
};

}  // namespace shelltest
