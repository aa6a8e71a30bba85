#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

// One download of a file over HTTP(S) into `destination`, on a thread of its own. The body goes to a temporary file in
// the destination's folder (unnamed where the file system allows it), which becomes the destination only when the
// whole body arrived with a success status, and never in place of an existing file. A whole body is one that is not
// empty and whose end the server marked (by its length, by chunks, or by HTTP/2 framing), so that a cut-off transfer
// is never taken for a complete one. Whatever else happens (an error status, an empty body, a cut connection, a
// transfer slower than 1 KiB/s for the low-speed time, a body announced larger than the free space, a body the
// caller's check refuses, a cancel, a destination that already exists) leaves no file behind.
class DownloadTask {
public:
    // Called on the task's thread with bytes received / bytes expected (kept below 1.0), whenever the count changes
    // and the length is known; with 1.0 once the file is in place, and only then.
    using ProgressHandler = std::function<void(float progress)>;
    // Called on the task's thread, once, with why the download failed (the address is not part of it); not after a
    // cancel. When the thread itself could not be started, called by resume() on the caller's thread.
    using FailureHandler = std::function<void(const std::string& description)>;
    // Looks at a whole body before it is placed (its descriptor, open for reading, and its size): why it is not the
    // file that was asked for, or none.
    using BodyCheck = std::function<std::optional<std::string>(int fd, std::uint64_t size)>;

    DownloadTask(std::string url, std::filesystem::path destination, ProgressHandler onProgress,
                 FailureHandler onFailure, BodyCheck check, std::chrono::seconds lowSpeedTime);
    // Waits for the task's thread; cancel first to end a running download quickly.
    ~DownloadTask();
    DownloadTask(const DownloadTask&) = delete;
    DownloadTask& operator=(const DownloadTask&) = delete;

    // Whether `url` can be downloaded: a well-formed http or https address.
    static bool isValidURL(const std::string& url);

    void resume();
    // Stops the transfer; nothing is logged and no file is written.
    void cancel() { cancelled_ = true; }
    bool isCancelled() const { return cancelled_; }
    bool isFinished() const { return finished_; }

    const std::string& url() const { return url_; }
    const std::filesystem::path& destination() const { return destination_; }

private:
    void run();
    void fail(const std::string& description) const;

    const std::string url_;
    const std::filesystem::path destination_;
    const ProgressHandler onProgress_;
    const FailureHandler onFailure_;
    const BodyCheck check_;
    const std::chrono::seconds lowSpeedTime_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> finished_{false};
    std::thread thread_;
};
