#include "DuviduCrash/Recording/Tools/DuviduCrashThreadSampler.h"

#include <semaphore.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>

#include "DuviduCrash/Recording/Tools/DuviduCrashBacktrace.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashThread.h"

namespace duvidu {

namespace {

using Clock = std::chrono::steady_clock;

// How long the sampler waits for the answers of one sampling, and then for handlers that had already started.
constexpr auto kAnswerTimeout = std::chrono::milliseconds(250);
constexpr auto kFinishTimeout = std::chrono::milliseconds(250);
// The first real-time signal tried: glibc keeps the two below the advertised minimum for itself, and profilers
// tend to take the first few.
constexpr int kFirstSignalOffset = 3;

// A slot's state is (sampling number << 2) | phase; only the handler that claims the current number writes it.
enum Phase : uint64_t { kIdle = 0, kRequested = 1, kWriting = 2, kDone = 3 };

struct Slot {
    std::atomic<uint64_t> state{kIdle};
    std::atomic<pid_t> thread{0};
    int count = 0;
    uintptr_t addresses[DuviduCrashThreadSampler::kMaxAddresses];
};

Slot g_slots[DuviduCrashThreadSampler::kMaxThreads];
sem_t g_answered;
std::atomic<int> g_signal{0};

// Guarded by the sampler's lock.
uint64_t g_sampling = 0;
int g_sampledCount = 0;
pid_t g_sampledThreads[DuviduCrashThreadSampler::kMaxThreads];
int g_sampledSlots[DuviduCrashThreadSampler::kMaxThreads];

std::mutex g_mutex;
std::atomic<pid_t> g_owner{0};

uint64_t stateOf(uint64_t sampling, Phase phase)
{
    return sampling << 2 | phase;
}

void handleSignal(int, siginfo_t* info, void*)
{
    const int savedErrno = errno;
    const auto value = reinterpret_cast<uintptr_t>(info->si_value.sival_ptr);
    const uint64_t index = value & 0xFF;
    const uint64_t sampling = value >> 8;
    if (info->si_code == SI_QUEUE && info->si_pid == getpid() && index < DuviduCrashThreadSampler::kMaxThreads) {
        Slot& slot = g_slots[index];
        uint64_t expected = stateOf(sampling, kRequested);
        if (slot.state.load(std::memory_order_acquire) == expected &&
            slot.thread.load(std::memory_order_relaxed) == duviducrashthread_self() &&
            slot.state.compare_exchange_strong(expected, stateOf(sampling, kWriting), std::memory_order_acq_rel)) {
            slot.count = duviducrashbt_backtraceInterrupted(slot.addresses, DuviduCrashThreadSampler::kMaxAddresses);
            slot.state.store(stateOf(sampling, kDone), std::memory_order_release);
            sem_post(&g_answered);
        }
    }
    errno = savedErrno;
}

void installHandler()
{
    sem_init(&g_answered, 0, 0);
    // The unwinder sets itself up on its first walk; that is done here, once, rather than by many handlers at once.
    uintptr_t warmUp[4];
    duviducrashbt_backtraceSelf(warmUp, 4);
    for (int number = SIGRTMIN + kFirstSignalOffset; number <= SIGRTMAX; ++number) {
        struct sigaction previous {};
        if (sigaction(number, nullptr, &previous) != 0 || (previous.sa_flags & SA_SIGINFO) ||
            previous.sa_handler != SIG_DFL)
            continue;
        struct sigaction action {};
        action.sa_sigaction = handleSignal;
        action.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        if (sigaction(number, &action, nullptr) == 0) {
            g_signal.store(number, std::memory_order_release);
            return;
        }
    }
}

bool sendRequest(pid_t thread, int signal, uint64_t sampling, int index)
{
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    info.si_signo = signal;
    info.si_code = SI_QUEUE;
    info.si_pid = getpid();
    info.si_uid = getuid();
    info.si_value.sival_ptr = reinterpret_cast<void*>(static_cast<uintptr_t>(sampling << 8 | uint64_t(index)));
    return syscall(SYS_rt_tgsigqueueinfo, getpid(), thread, signal, &info) == 0;
}

bool isSlotUsed(const bool (&used)[DuviduCrashThreadSampler::kMaxThreads], int index)
{
    // A slot whose handler is still writing, from a sampling that gave up on it, stays out of use until it is done.
    return used[index] || (g_slots[index].state.load(std::memory_order_acquire) & 3) == kWriting;
}

// Waits until every requested slot is done or cancelled, or the deadline passes; true when none is left waiting.
bool awaitAnswers(Clock::time_point deadline, Phase waitingPhase)
{
    for (;;) {
        bool waiting = false;
        for (int i = 0; i < g_sampledCount && !waiting; ++i) {
            int index = g_sampledSlots[i];
            waiting = index >= 0 && g_slots[index].state.load(std::memory_order_acquire) ==
                                        stateOf(g_sampling, waitingPhase);
        }
        if (!waiting) return true;
        auto now = Clock::now();
        if (now >= deadline) return false;
        auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now);
        struct timespec until;
        clock_gettime(CLOCK_MONOTONIC, &until);
        until.tv_sec += static_cast<time_t>(left.count() / 1000000000);
        until.tv_nsec += static_cast<long>(left.count() % 1000000000);
        if (until.tv_nsec >= 1000000000) {
            until.tv_sec += 1;
            until.tv_nsec -= 1000000000;
        }
        sem_clockwait(&g_answered, CLOCK_MONOTONIC, &until);  // any answer, a late one included, wakes it
    }
}

}  // namespace

void DuviduCrashThreadSampler::lock()
{
    g_mutex.lock();
    g_owner.store(duviducrashthread_self(), std::memory_order_relaxed);
}

void DuviduCrashThreadSampler::unlock()
{
    g_owner.store(0, std::memory_order_relaxed);
    g_mutex.unlock();
}

bool DuviduCrashThreadSampler::isHeldByCallingThread()
{
    return g_owner.load(std::memory_order_relaxed) == duviducrashthread_self();
}

int DuviduCrashThreadSampler::signalNumber()
{
    static std::once_flag once;
    std::call_once(once, installHandler);
    return g_signal.load(std::memory_order_acquire);
}

void DuviduCrashThreadSampler::sampleThreads(const pid_t* threads, int count)
{
    const int signal = signalNumber();
    const pid_t self = duviducrashthread_self();
    ++g_sampling;
    g_sampledCount = 0;
    bool used[kMaxThreads] = {};
    int nextSlot = 0;
    for (int i = 0; i < count && g_sampledCount < kMaxThreads; ++i) {
        if (threads[i] == self) continue;
        int index = -1;
        if (signal != 0 && !duviducrashthread_isSignalHeldOff(threads[i], signal)) {
            while (nextSlot < kMaxThreads && isSlotUsed(used, nextSlot)) ++nextSlot;
            if (nextSlot < kMaxThreads) index = nextSlot;
        }
        if (index >= 0) {
            used[index] = true;
            Slot& slot = g_slots[index];
            slot.thread.store(threads[i], std::memory_order_relaxed);
            slot.state.store(stateOf(g_sampling, kRequested), std::memory_order_release);
            if (!sendRequest(threads[i], signal, g_sampling, index)) {
                uint64_t expected = stateOf(g_sampling, kRequested);
                slot.state.compare_exchange_strong(expected, kIdle, std::memory_order_acq_rel);
                index = -1;
            }
        }
        g_sampledThreads[g_sampledCount] = threads[i];
        g_sampledSlots[g_sampledCount] = index;
        ++g_sampledCount;
    }

    if (awaitAnswers(Clock::now() + kAnswerTimeout, kRequested)) {
        if (awaitAnswers(Clock::now() + kFinishTimeout, kWriting)) return;
    }
    // Threads that have not begun to answer are given up; their late handlers find the request gone. Handlers that
    // have begun are given a little longer to finish.
    for (int i = 0; i < g_sampledCount; ++i) {
        int index = g_sampledSlots[i];
        if (index < 0) continue;
        uint64_t expected = stateOf(g_sampling, kRequested);
        g_slots[index].state.compare_exchange_strong(expected, kIdle, std::memory_order_acq_rel);
    }
    awaitAnswers(Clock::now() + kFinishTimeout, kWriting);
}

int DuviduCrashThreadSampler::addressesOfThread(pid_t thread, uintptr_t* addresses, int capacity)
{
    for (int i = 0; i < g_sampledCount; ++i) {
        if (g_sampledThreads[i] != thread) continue;
        int index = g_sampledSlots[i];
        if (index < 0 || g_slots[index].state.load(std::memory_order_acquire) != stateOf(g_sampling, kDone))
            return 0;
        const Slot& slot = g_slots[index];
        int count = slot.count < capacity ? slot.count : capacity;
        for (int k = 0; k < count; ++k) addresses[k] = slot.addresses[k];
        return count;
    }
    return 0;
}

}  // namespace duvidu
