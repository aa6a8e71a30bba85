#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

// Routes SIGTERM (a logout, a service manager) and SIGINT (Ctrl+C in a terminal) into the application's own quit, so
// that they end the process the way "Quit" does. The signal handler only writes a byte to a pipe; the GUI thread
// watches the pipe's other end and runs `onSignal`. A second signal, once a quit is under way, ends the process the
// default way, so a quit that hangs can still be interrupted. One instance at a time; the default
// handlers come back when it is destroyed.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    void readPipe();

    std::function<void()> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};
