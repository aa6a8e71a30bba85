#pragma once

#include <memory>

namespace recognizer {

// A persistent pool: run() executes a task on every thread (the caller is thread 0) and returns when all are done.
// Workers wait on a spin-then-sleep barrier between tasks; a run allocates nothing.
class ThreadPool {
public:
    explicit ThreadPool(int nThreads);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    int size() const;
    // Throws std::system_error when the system refuses a thread; the pool then has the caller alone.
    void resize(int nThreads);

    using Task = void (*)(void* context, int ith, int nth);
    void runRaw(Task task, void* context);

    // fn(ith, nth) on every thread; fn is only referenced, never copied. An exception from fn on any thread leaves
    // run() on the calling thread once every thread is done with the run (the first one, when several throw); the
    // pool stays usable.
    template <class F>
    void run(F&& fn) {
        runRaw([](void* c, int ith, int nth) { (*static_cast<std::remove_reference_t<F>*>(c))(ith, nth); },
               const_cast<void*>(static_cast<const void*>(&fn)));
    }

    // Like run(), for tasks that hand out their work on demand (each thread takes pieces until none are left): a
    // worker that has not started by the time the caller's own share is done is not waited for, so that a thread
    // the system has not scheduled yet cannot hold up the result. Some ith may therefore not run at all.
    // Either kind of run started from inside a task (of any pool) runs inline on the calling thread as fn(0, 1).
    void runDynamicRaw(Task task, void* context);

    template <class F>
    void runDynamic(F&& fn) {
        runDynamicRaw([](void* c, int ith, int nth) { (*static_cast<std::remove_reference_t<F>*>(c))(ith, nth); },
                      const_cast<void*>(static_cast<const void*>(&fn)));
    }

private:
    void dispatch(Task task, void* context, bool dynamic);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace recognizer
