// The process's standard error into a pipe that is full and not read, as behind a terminal paused with Ctrl+S: writing
// lines returns at once, and once the pipe is read again every line either comes out, in order, or is counted in the
// line that says how many were dropped.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <regex>
#include <string>
#include <thread>

#include "platform/OutputWriter.h"
#include "support/WaitFor.h"

namespace {

TEST(OutputWriter, LinesForAStalledReaderAreDroppedAndCountedAndTheRestComesOutInOrder) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    const int savedError = ::dup(STDERR_FILENO);
    ASSERT_GE(savedError, 0);
    ASSERT_EQ(::dup2(ends[1], STDERR_FILENO), STDERR_FILENO);
    // Filled with empty lines through a description of its own; standard error itself stays blocking.
    const int filler = ::open(("/proc/self/fd/" + std::to_string(ends[1])).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(filler, 0);
    const std::string block(4096, '\n');
    for (const std::size_t size : {block.size(), std::size_t(1)}) {
        while (::write(filler, block.data(), size) > 0) {
        }
    }
    ASSERT_EQ(errno, EAGAIN);
    ::close(filler);

    constexpr int total = 3 * int(OutputWriter::maxQueuedLines);
    std::atomic<bool> written{false};
    std::thread writing([&] {
        for (int i = 0; i < total; ++i) OutputWriter::write(OutputWriter::Stream::error, "line " + std::to_string(i));
        written = true;
    });
    EXPECT_TRUE(vctest::waitFor([&] { return written.load(); }, 10000)) << "a write waited on the reader";

    // The reader takes again. Once what was queued is out, a line says first how many were dropped.
    std::mutex mutex;
    std::string out;  // guarded by mutex
    const auto received = [&] {
        std::lock_guard lock(mutex);
        return out;
    };
    std::thread reading([&] {
        char bytes[65536];
        ssize_t n;
        while ((n = ::read(ends[0], bytes, sizeof bytes)) > 0) {
            std::lock_guard lock(mutex);
            out.append(bytes, std::size_t(n));
            if (out.ends_with("after\n")) return;
        }
    });
    EXPECT_TRUE(vctest::waitFor([&] { return received().find("line 0\n") != std::string::npos; }, 10000));
    OutputWriter::flush(std::chrono::seconds(10));
    OutputWriter::write(OutputWriter::Stream::error, "after");
    EXPECT_TRUE(vctest::waitFor([&] { return received().ends_with("after\n"); }, 10000))
        << "the line after did not come";
    [[maybe_unused]] const ssize_t released = ::write(ends[1], "after\n", 6);
    reading.join();
    writing.join();
    ::dup2(savedError, STDERR_FILENO);
    ::close(savedError);
    ::close(ends[0]);
    ::close(ends[1]);

    const std::regex line("line (\\d+)");
    const std::regex notice("Vellumcaster dropped (\\d+) lines of its output: .*");
    int lines = 0;
    int dropped = 0;
    int last = -1;
    std::size_t at = 0;
    while (at < out.size()) {
        const std::size_t end = out.find('\n', at);
        const std::string text = out.substr(at, end - at);
        at = end + 1;
        std::smatch match;
        if (std::regex_match(text, match, line)) {
            EXPECT_GT(std::stoi(match[1]), last) << "out of order";
            last = std::stoi(match[1]);
            ++lines;
        } else if (std::regex_match(text, match, notice)) {
            dropped += std::stoi(match[1]);
        }
    }
    EXPECT_GT(dropped, 0);
    EXPECT_GE(lines, int(OutputWriter::maxQueuedLines));
    EXPECT_EQ(lines + dropped, total);
}

}  // namespace
