#pragma once

#include <pulse/context.h>
#include <pulse/mainloop.h>
#include <pulse/sample.h>
#include <pulse/stream.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// One connection to the sound server (PulseAudio, or PipeWire through its PulseAudio interface), with its main loop on
// a thread of its own. A capture makes one of its own; everything else shares one (SharedPulseConnection), made anew
// once it broke, so that a server that was restarted is reached again at once. The server is never started by it. Every wait for the server ends after `answerTimeoutMs`, by the clock of the thread
// that waits: a server that is stopped or hangs, or a loop that does not run, makes a request fail, never wait for
// good. A connection whose thread the system refuses is not made, and that is told apart from a server out of reach.
//
// The loop's callbacks run on that thread holding the loop's lock, which the loop lets go only while it waits for the
// server; everything else touches the context only inside a Lock. The connection must not be destroyed on its own
// thread.
class PulseConnection {
public:
    // Holds the loop's lock while it lives.
    class Lock {
    public:
        explicit Lock(const PulseConnection& connection);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        std::recursive_mutex& mutex_;
    };

    using Clock = std::chrono::steady_clock;
    static constexpr int answerTimeoutMs = 1000;

    struct Source {
        std::string name;
        std::string description;
        pa_sample_spec sampleSpec{};
    };

    // Why no connection was made: the server is out of reach, or the system refused the loop its thread.
    struct Failure {
        bool threadRefused = false;
        std::string reason;
    };

    // Connects and waits for the server's answer, until `waitsEnd` at the latest (see endWaitsBy()); none when there is
    // no server to talk to, or no thread for the loop, with why in `failure`. The loop's thread gets `threadName`.
    static std::unique_ptr<PulseConnection> open(const std::string& threadName, Failure& failure,
                                                 Clock::time_point waitsEnd = Clock::time_point::max());
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // The name of the server's default source; none when it has none or did not answer (see unreachable()).
    std::optional<std::string> defaultSourceName();
    // The source of that name; none when the server has no such source or did not answer (see unreachable()).
    std::optional<Source> source(const std::string& name);
    // The sources that are inputs (not the monitors of outputs), in the server's order; empty when it did not answer
    // (see unreachable()).
    std::vector<Source> inputSources();

    // Called on the loop's thread, once, when the connection breaks (the server went away).
    void setLostHandler(std::function<void(const std::string& reason)> handler);

    pa_context* context() const { return context_; }
    // Inside a Lock, for the streams, requests and timers of this connection's: each ends it so that no callback of its
    // runs again, and forgets it (a null one is left alone). A stream the server has not confirmed yet is ended once it
    // has, so that nothing of it stays on the server.
    static void endStream(pa_stream*& stream);
    static void cancel(pa_operation*& operation);
    void freeTimer(pa_time_event*& timer) const;
    // Why the last request failed: that the server did not answer in time, or the server's description of the
    // context's last error.
    std::string lastError() const;
    // Inside a Lock: whether the server is out of reach: the last wait ran out of time, or the connection broke.
    bool unreachable() const;
    // Inside a Lock: whether the connection broke (the server went away); a new one is needed to reach it again.
    bool broken() const;

    // Wakes whoever waits in waitUntil(); for callbacks on the loop's thread.
    void signal() const { answered_.notify_all(); }
    // Inside a Lock: sleeps until `done` holds, checked after each callback that signals, or `answerTimeoutMs` have
    // passed, or the time set by endWaitsBy() has come; whether `done` holds.
    bool waitUntil(const std::function<bool()>& done);
    // Inside a Lock: the waits that follow end by `deadline` at the latest, for a request whose time began before it
    // reached the connection; until the next call.
    void endWaitsBy(Clock::time_point deadline) { waitsEnd_ = deadline; }

private:
    PulseConnection();
    static void contextStateChanged(pa_context* context, void* self);
    // The state callback of a stream that endStream() let go of before the server confirmed it.
    static void endOnceAnswered(pa_stream* stream, void*);
    // The loop's wait for the server, without the lock.
    static int pollUnlocked(struct pollfd* descriptors, unsigned long count, int timeoutMs, void* self);
    void runLoop(const std::string& threadName);

    mutable std::recursive_mutex mutex_;             // the loop's lock
    mutable std::condition_variable_any answered_;  // with mutex_
    pa_mainloop* loop_ = nullptr;
    std::thread thread_;
    pa_context* context_ = nullptr;
    bool ready_ = false;    // under the loop's lock
    bool stalled_ = false;  // under the loop's lock
    Clock::time_point waitsEnd_ = Clock::time_point::max();  // under the loop's lock
    std::function<void(const std::string&)> onLost_;
};
