#include "platform/TerminationSignals.h"

#include "platform/AppLog.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int handledSignals[] = {SIGTERM, SIGINT};

// Shared with the signal handler, which may touch nothing but these.
int pipeEnds[2] = {-1, -1};
volatile sig_atomic_t pending = 0;

void onSignal(int signal) {
    if (pending) {
        // The first request is still unanswered: end the process as if nobody had caught the signal.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    pending = 1;
    const int savedErrno = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        AppLog::error(std::string("Cannot watch for termination signals: ") + std::strerror(errno));
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationSignals::readPipe);
    pending = 0;
    struct sigaction action {};
    action.sa_handler = ::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : handledSignals) sigaction(signal, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_) return;
    for (const int signal : handledSignals) ::signal(signal, SIG_DFL);
    notifier_.reset();
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void TerminationSignals::readPipe() {
    char bytes[16];
    while (::read(pipeEnds[0], bytes, sizeof bytes) > 0) {
    }
    if (onSignal_) onSignal_();
}
