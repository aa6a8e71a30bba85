#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/PulseConnection.h"
#include "platform/TaskThreads.h"

// One connection to the sound server that the questions about its devices, the sounds and the playbacks share, so
// that none of them opens a connection (with a loop thread) of its own: it is opened when first needed, and again only
// once it broke (the server went away) or could not be opened. Requests run one at a time, each on the thread that
// asks, which must not be the GUI thread: a request may wait for the server, and before it the connection may have to
// be opened. A request's time runs from its call: its wait for the requests before it, the opening and its own waits
// all end PulseConnection::answerTimeoutMs after it, so that a request behind others that a hanging server holds up
// fails as soon as one asked alone would. Any other thread.
class SharedPulseConnection {
public:
    explicit SharedPulseConnection(std::string threadName = "soundServer");
    SharedPulseConnection(const SharedPulseConnection&) = delete;
    SharedPulseConnection& operator=(const SharedPulseConnection&) = delete;

    // The application's. It is never destroyed: the end of the process waits for no sound server.
    static std::shared_ptr<SharedPulseConnection> application();

    // Runs `request` with the connection, outside its lock; nullopt once it ran, else why it did not run: there is no
    // connection, or the requests before it kept the connection for all of its time.
    std::optional<PulseConnection::Failure> use(const std::function<void(PulseConnection& connection)>& request);

    // Runs `task` on a thread of the connection's own, where it may call use(); false, with the task dropped, when the
    // system refused the thread.
    bool run(std::function<void()> task) { return threads_.start(std::move(task)); }

private:
    std::string threadName_;
    std::mutex mutex_;
    std::condition_variable released_;             // with mutex_: busy_ went false
    bool busy_ = false;                            // guarded by mutex_: a request runs (one at a time)
    std::unique_ptr<PulseConnection> connection_;  // for the request that runs
    TaskThreads threads_;
};
