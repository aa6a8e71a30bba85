#pragma once

#include <pulse/context.h>
#include <pulse/sample.h>
#include <pulse/thread-mainloop.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

// One connection to the sound server (PulseAudio, or PipeWire through its PulseAudio interface), with its main loop on
// a thread of its own. Made afresh for every use, so that a server that was restarted is reached again at once; the
// server is never started by it.
//
// The loop's callbacks run on that thread holding the loop's lock; everything else touches the context only inside a
// Lock. The connection must not be destroyed on its own thread.
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
        pa_threaded_mainloop* loop_;
    };

    struct Source {
        std::string name;
        std::string description;
        pa_sample_spec sampleSpec{};
    };

    // Connects and waits for the server's answer; none when there is no server to talk to, with why in `error`. The
    // loop's thread gets `threadName`.
    static std::unique_ptr<PulseConnection> open(const std::string& threadName, std::string& error);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // The name of the server's default source; none when it has none.
    std::optional<std::string> defaultSourceName();
    // The source of that name; none when the server has no such source.
    std::optional<Source> source(const std::string& name);

    // Called on the loop's thread, once, when the connection breaks (the server went away).
    void setLostHandler(std::function<void(const std::string& reason)> handler);

    pa_threaded_mainloop* loop() const { return loop_; }
    pa_context* context() const { return context_; }
    // The server's description of the context's last error.
    std::string lastError() const;

    // Wakes whoever waits in wait(); for callbacks on the loop's thread.
    void signal() const { pa_threaded_mainloop_signal(loop_, 0); }
    // Inside a Lock: sleeps until a callback signals.
    void wait() const { pa_threaded_mainloop_wait(loop_); }

private:
    PulseConnection();
    static void contextStateChanged(pa_context* context, void* self);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    bool ready_ = false;  // under the loop's lock
    std::function<void(const std::string&)> onLost_;
};
