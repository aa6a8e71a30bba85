#pragma once

#include <functional>
#include <memory>
#include <mutex>

class QObject;

// Where tasks on other threads hand what they found to an object of the GUI thread, for as long as that object lives:
// the object closes it as it goes, and what is handed over after that is dropped. What is handed over goes to the
// object itself, never through the application object, so a task that outlives the object and the application (a
// slow load at quit) touches neither. Shared by the object and its tasks; any thread.
class Handover {
public:
    // A handover to `receiver`, which closes it in its destructor.
    static std::shared_ptr<Handover> to(QObject* receiver);

    // Runs `call` on the receiver's thread, unless the receiver has closed the handover, or goes before `call` runs.
    void post(std::function<void()> call);
    // From the receiver's destructor: nothing handed over reaches it from now on.
    void close();

private:
    explicit Handover(QObject* receiver) : receiver_(receiver) {}

    std::mutex mutex_;
    QObject* receiver_;  // guarded by mutex_; null once closed
};
