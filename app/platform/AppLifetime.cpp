#include "platform/AppLifetime.h"

#include "platform/AppLog.h"
#include "platform/OutputWriter.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

namespace {

constexpr int handledSignals[] = {SIGTERM, SIGINT};
// Written by the application's own threads to have the watching thread look at the deadlines again; a signal writes
// its number instead.
constexpr char wake = 0;

// Shared with the signal handler, which may touch nothing but these.
int pipeEnds[2] = {-1, -1};
std::atomic<bool> watching{false};
std::atomic<bool> quitting{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

void onSignal(int signal) {
    if (quitting.exchange(true) || !watching) {
        // A quit is under way already, or nothing watches it: end the process as if nobody had caught the signal.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    const int savedErrno = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = savedErrno;
}

// Where nothing watches the start, the alarm ends a start that does not finish; the message is fixed, since a signal
// handler cannot build one, and goes out only as far as standard error takes it at once.
void onStartAlarm(int) {
    static const char message[] = "Vellumcaster could not finish starting within 10 s, and the system refused the "
                                  "thread that watches the start. It ends now; start it again once the limit on the "
                                  "number of tasks is lifted.\n";
    OutputWriter::writeNow(message, sizeof message - 1);
    ::_exit(EXIT_FAILURE);
}

// A limit as a person reads it: "10 s", or "2500 ms" where the tests shortened it to part of a second.
std::string spoken(std::chrono::milliseconds limit) {
    if (limit.count() % 1000 == 0) return std::to_string(limit.count() / 1000) + " s";
    return std::to_string(limit.count()) + " ms";
}

void wakeWatcher() {
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &wake, 1);
}

}  // namespace

AppLifetime& AppLifetime::watch() {
    // Never destroyed: the watching goes on while main returns and the statics are destroyed, which may wait too.
    static AppLifetime* const lifetime = new AppLifetime;
    return *lifetime;
}

AppLifetime::AppLifetime() {
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        AppLog::error(std::string("Cannot watch the start and the quit: ") + std::strerror(errno) +
                      "; SIGTERM and SIGINT end Vellumcaster at once");
    } else {
        try {
            std::thread(&AppLifetime::run, this).detach();
            watching = true;
        } catch (const std::system_error& refused) {
            AppLog::error(std::string("Cannot watch the start and the quit: the system refused a thread (") +
                          refused.what() + "); SIGTERM and SIGINT end Vellumcaster at once");
        }
    }
    if (!watching) {
        // The error logged above has made the writer that the alarm's handler writes through.
        ::signal(SIGALRM, onStartAlarm);
        ::alarm(unsigned(std::chrono::ceil<std::chrono::seconds>(startLimit_).count()));
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : handledSignals) sigaction(signal, &action, nullptr);
}

void AppLifetime::setQuitRequest(std::function<void()> requestQuit) {
    std::lock_guard lock(mutex_);
    requestQuit_ = std::move(requestQuit);
}

void AppLifetime::setStartStage(std::string stage) {
    std::lock_guard lock(mutex_);
    startStage_ = std::move(stage);
}

void AppLifetime::startFinished() {
    if (!watching) ::alarm(0);
    {
        std::lock_guard lock(mutex_);
        startFinished_ = true;
    }
    wakeWatcher();
}

AppLifetime::Clock::time_point AppLifetime::quitStarted() {
    Clock::time_point deadline;
    {
        std::lock_guard lock(mutex_);
        deadline = armQuit();
        // The event loop that would answer a request is ending.
        requestQuit_ = nullptr;
    }
    wakeWatcher();
    return deadline;
}

AppLifetime::Clock::time_point AppLifetime::armQuit() {
    quitting = true;
    if (!quitDeadline_) quitDeadline_ = Clock::now() + quitLimit;
    return *quitDeadline_;
}

void AppLifetime::run() {
    // The signals are for the handler on the application's own threads.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    pthread_setname_np(pthread_self(), "lifetime");
    for (;;) {
        std::optional<Clock::time_point> next;
        {
            std::lock_guard lock(mutex_);
            if (!startFinished_) next = launched_ + startLimit_;
            if (quitDeadline_) next = next ? std::min(*next, *quitDeadline_) : *quitDeadline_;
        }
        int timeoutMs = -1;
        if (next) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now());
            timeoutMs = int(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        pollfd readable{pipeEnds[0], POLLIN, 0};
        if (::poll(&readable, 1, timeoutMs) > 0) {
            char bytes[16];
            const ssize_t count = ::read(pipeEnds[0], bytes, sizeof bytes);
            for (ssize_t i = 0; i < count; ++i) {
                if (bytes[i] == wake) continue;
                {
                    std::lock_guard lock(mutex_);
                    const bool first = !quitDeadline_;
                    armQuit();
                    if (first && requestQuit_) requestQuit_();
                }
                // Told once the quit is under way and its deadline armed.
                AppLog::info(std::string("Quitting on SIG") + sigabbrev_np(bytes[i]));
            }
        }
        const Clock::time_point now = Clock::now();
        std::unique_lock lock(mutex_);
        if (quitDeadline_ && now >= *quitDeadline_) {
            lock.unlock();
            AppLog::errorAndEnd("Vellumcaster had not ended " + std::to_string(quitLimit.count()) +
                                    " ms after the quit began; it ends now without waiting any longer",
                                EXIT_SUCCESS);
        }
        if (!startFinished_ && now >= launched_ + startLimit_) {
            const std::string stage = startStage_;
            lock.unlock();
            AppLog::errorAndEnd("Vellumcaster could not finish starting within " + spoken(startLimit_) +
                                    ": it was still " + stage +
                                    ". The system may be refusing it threads (a limit on the number of tasks), or a "
                                    "service it needs does not answer. It ends now; start it again once that is "
                                    "resolved.",
                                EXIT_FAILURE);
        }
    }
}
