#include "platform/OutputWriter.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Line {
    int fd;
    int syslogPriority;  // or noSyslog
    std::string text;    // with its newline
};
constexpr int noSyslog = -1;

// A stream written without ever waiting, for when there is no writing thread. O_NONBLOCK on the descriptor itself would
// change the description that the process shares with every other holder of the terminal or pipe: a pipe, FIFO or
// terminal is opened again through /proc, a socket is sent to with MSG_DONTWAIT, and a file is written as it is.
class DirectStream {
public:
    explicit DirectStream(int fd) : fd_(fd) {
        struct stat status {};
        if (::fstat(fd, &status) != 0) return;
        if (S_ISSOCK(status.st_mode)) {
            kind_ = Kind::socket;
        } else if (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode)) {
            const std::string path = "/proc/self/fd/" + std::to_string(fd);
            own_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            kind_ = own_ >= 0 ? Kind::reopened : Kind::none;
        } else {
            kind_ = Kind::file;
        }
    }

    // Writes what the stream takes at once; whether it took the whole text. Async-signal-safe.
    bool write(const char* text, std::size_t size) const {
        ssize_t n = -1;
        switch (kind_) {
        case Kind::none: return false;
        case Kind::socket: n = ::send(fd_, text, size, MSG_DONTWAIT | MSG_NOSIGNAL); break;
        case Kind::reopened: n = ::write(own_, text, size); break;
        case Kind::file: n = ::write(fd_, text, size); break;
        }
        return n == ssize_t(size);
    }
    bool write(const std::string& text) const { return write(text.data(), text.size()); }

private:
    enum class Kind { none, socket, reopened, file };
    int fd_;
    int own_ = -1;
    Kind kind_ = Kind::none;
};

// Writes the whole text, waiting as long as the reader takes: on the writing thread only. A descriptor that another
// holder made non-blocking is waited for with poll().
void writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n > 0) {
            done += std::size_t(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd writable{fd, POLLOUT, 0};
            ::poll(&writable, 1, -1);
        } else if (n < 0 && errno != EINTR) {
            return;  // closed or gone: the line is lost
        }
    }
}

class Writer {
public:
    static constexpr std::chrono::milliseconds stallTime{100};

    void add(Line line) {
        std::unique_lock lock(mutex_);
        if (!threadRunning_) startThread();
        if (!threadRunning_) {
            // Under the lock, so that the count of dropped lines stays right; nothing here waits.
            if (dropped_ > 0 && direct(STDERR_FILENO).write(droppedNotice())) dropped_ = 0;
            if (dropped_ > 0 || !direct(line.fd).write(line.text)) ++dropped_;
            return;
        }
        if (lines_.size() >= OutputWriter::maxQueuedLines || bytes_ + line.text.size() > OutputWriter::maxQueuedBytes) {
            ++dropped_;
            return;
        }
        if (dropped_ > 0) {
            push({STDERR_FILENO, noSyslog, droppedNotice()});
            dropped_ = 0;
        }
        push(std::move(line));
        queued_.notify_one();
    }

    // Async-signal-safe: the stream was made with the writer.
    void writeNow(const char* text, std::size_t size) const { directError_.write(text, size); }

    void flush(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        // A reader that has taken nothing for a while will not take the rest within the limit either.
        const auto stalled = [this] { return written_ < pushed_ && Clock::now() - lastProgress_ > stallTime; };
        if (!threadRunning_ || stalled()) return;
        const std::uint64_t target = pushed_;
        done_.wait_for(lock, limit, [&] { return written_ >= target; });
    }

private:
    // Under mutex_.
    void push(Line line) {
        if (written_ == pushed_) lastProgress_ = Clock::now();
        bytes_ += line.text.size();
        lines_.push_back(std::move(line));
        ++pushed_;
    }

    std::string droppedNotice() const {
        return "Vellumcaster dropped " + std::to_string(dropped_) +
               " lines of its output: nothing read its standard output or error in time\n";
    }

    const DirectStream& direct(int fd) const { return fd == STDOUT_FILENO ? directOutput_ : directError_; }

    // Under mutex_; asks again at most once a second after a refusal.
    void startThread() {
        const Clock::time_point now = Clock::now();
        if (triedAlready_ && now - lastTry_ < std::chrono::seconds(1)) return;
        triedAlready_ = true;
        lastTry_ = now;
        try {
            std::thread(&Writer::run, this).detach();
            threadRunning_ = true;
        } catch (const std::system_error&) {
        }
    }

    void run() {
        // The signals are for the handlers on the application's own threads; a reader that went away is an error
        // of the write, not the end of the process.
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        pthread_setname_np(pthread_self(), "output");
        openlog("vellumcaster", LOG_PID, LOG_USER);
        std::unique_lock lock(mutex_);
        for (;;) {
            queued_.wait(lock, [this] { return !lines_.empty(); });
            Line line = std::move(lines_.front());
            lines_.pop_front();
            bytes_ -= line.text.size();
            lock.unlock();
            if (line.syslogPriority != noSyslog)
                syslog(line.syslogPriority, "%.*s", int(line.text.size() - 1), line.text.c_str());
            writeAll(line.fd, line.text);
            lock.lock();
            ++written_;
            lastProgress_ = Clock::now();
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable done_;
    std::deque<Line> lines_;          // guarded by mutex_, as is everything below
    std::size_t bytes_ = 0;
    std::uint64_t dropped_ = 0;
    std::uint64_t pushed_ = 0;
    std::uint64_t written_ = 0;
    bool threadRunning_ = false;
    bool triedAlready_ = false;
    Clock::time_point lastTry_;
    Clock::time_point lastProgress_;  // when the last line was written, or the first of the queue was queued
    const DirectStream directOutput_{STDOUT_FILENO};
    const DirectStream directError_{STDERR_FILENO};
};

Writer& writer() {
    // Never destroyed: its thread, and lines written while the process ends, outlive main. What main's end leaves
    // queued goes out at exit, as far as the reader takes it within a moment.
    static Writer* const instance = [] {
        std::atexit([] { writer().flush(std::chrono::milliseconds(200)); });
        return new Writer;
    }();
    return *instance;
}

}  // namespace

void OutputWriter::write(Stream stream, std::string line) {
    line += '\n';
    writer().add({stream == Stream::output ? STDOUT_FILENO : STDERR_FILENO, noSyslog, std::move(line)});
}

void OutputWriter::writeLogged(int syslogPriority, std::string line) {
    line += '\n';
    writer().add({STDERR_FILENO, syslogPriority, std::move(line)});
}

void OutputWriter::writeNow(const char* text, std::size_t size) { writer().writeNow(text, size); }

void OutputWriter::flush(std::chrono::milliseconds limit) { writer().flush(limit); }
