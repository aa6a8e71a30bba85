#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "platform/LimitSetting.h"

// The application's start and end, watched from a thread of its own, so that neither depends on the GUI thread, which
// a library may block for good (waiting for a thread the system refused, or for a server that does not answer):
// - SIGTERM (a logout, a service manager) and SIGINT (Ctrl+C in a terminal) ask for the application's own quit, as
//   "Quit" does; a second one, once a quit is under way, ends the process at once, the default way;
// - a quit, however it began, that has not ended the process `quitLimit` after it began is ended there;
// - a start that has not finished `startLimit` after launch ends the process, saying where it stopped.
// What must be kept is written before anything that may wait, so an end at a deadline loses nothing of it.
//
// One per process, made first in main; its thread watches until the process ends, after main has returned included.
// Where the system refuses even that thread, the signals end the process at once.
class AppLifetime {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds startLimit{10};
    static constexpr std::chrono::milliseconds quitLimit{1800};

    // Starts watching: installs the signal handlers and starts the thread. The process's one instance.
    static AppLifetime& watch();

    // How a signal asks for the quit, from the watching thread: set once the event loop that answers exists.
    void setQuitRequest(std::function<void()> requestQuit);
    // What the start is doing, named for the message of a start that does not finish ("opening the session bus").
    void setStartStage(std::string stage);
    void startFinished();
    // The quit has begun (the event loop is ending): arms its deadline unless a signal did, and hands it out. From
    // now on a signal ends the process at once. Any thread.
    Clock::time_point quitStarted();

    AppLifetime(const AppLifetime&) = delete;
    AppLifetime& operator=(const AppLifetime&) = delete;

private:
    AppLifetime();
    void run();
    // Under mutex_: arms the quit's deadline, once.
    Clock::time_point armQuit();

    const Clock::time_point launched_ = Clock::now();
    // startLimit, unless the tests' VELLUMCASTER_START_LIMIT_MS shortens it.
    const std::chrono::milliseconds startLimit_ = limitSetting("VELLUMCASTER_START_LIMIT_MS", startLimit);
    std::mutex mutex_;
    std::function<void()> requestQuit_;          // guarded by mutex_
    std::string startStage_ = "starting";        // guarded by mutex_
    bool startFinished_ = false;                 // guarded by mutex_
    std::optional<Clock::time_point> quitDeadline_;  // guarded by mutex_
};
