#pragma once

#include <chrono>
#include <cstddef>
#include <string>

// The one writer of the process's standard output, standard error and syslog, so that no thread of the application
// waits on whoever reads them: a terminal paused with Ctrl+S, a launcher that stopped reading, a stalled log collector.
// A line is queued and written by a thread of its own, the only one that may wait on a reader. While the queue is
// full, lines are dropped, and a line says how many before the next one that goes out. Where the system refuses that
// thread, a line goes out only as far as the stream takes it at once (nothing goes to syslog then), and the thread is
// asked for again at most once a second.
class OutputWriter {
public:
    OutputWriter() = delete;

    enum class Stream { output, error };

    static constexpr std::size_t maxQueuedLines = 1000;
    static constexpr std::size_t maxQueuedBytes = 256 * 1024;

    // Queues `line` (without its newline) for the stream. Never waits on the reader. Any thread.
    static void write(Stream stream, std::string line);
    // The same for standard error and for syslog(3) with `syslogPriority`.
    static void writeLogged(int syslogPriority, std::string line);
    // Writes `text` to standard error at once, as far as it takes it without waiting, past the queue: for a signal
    // handler that ends the process, once the process has written a line through the writer before.
    static void writeNow(const char* text, std::size_t size);
    // Waits until what was queued before has been written, at most `limit`: for an end of the process that would lose
    // what is still queued.
    static void flush(std::chrono::milliseconds limit);
};
