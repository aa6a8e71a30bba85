// The program the crash tests run: it installs crash capture, puts something into the scope and then faults in the
// way its arguments name, so that the test process itself never crashes and is never forked.
//
//   duviducrash_helper core FAULT     installs the crash core alone under $XDG_CACHE_HOME/duviducrash-core
//
// FAULT: segv, abort, terminate (uncaught std::runtime_error on the main thread), terminate-thread (the same on a
// std::thread), trap, overflow (unbounded recursion on the main thread), two-threads (two threads fault together),
// sigterm (the process is asked to stop), none (exits normally).

#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include "DuviduCrash/Recording/DuviduCrashC.h"
#include "DuviduCrash/Recording/DuviduCrashScopeSync.h"

extern "C" {

// Each way of faulting is a function of its own, kept out of line, so that it shows as the innermost frame of the
// helper.

__attribute__((noinline)) void duviducrashHelperSegv()
{
    // A store to a page without access: a plain null store may be dropped by the optimiser.
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    *static_cast<volatile int*>(page) = 42;
}

__attribute__((noinline)) void duviducrashHelperAbort()
{
    std::abort();
}

__attribute__((noinline)) void duviducrashHelperThrow()
{
    throw std::runtime_error("the helper gave up");
}

__attribute__((noinline)) void duviducrashHelperTrap()
{
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("int3");
#elif defined(__aarch64__)
    asm volatile("brk #0");
#else
    raise(SIGTRAP);
#endif
}

__attribute__((noinline)) int duviducrashHelperRecurse(volatile int depth)
{
    volatile char frame[512];
    frame[0] = static_cast<char>(depth);
    // Adding after the call keeps it from becoming a loop.
    return duviducrashHelperRecurse(depth + 1) + frame[0];
}

}  // extern "C"

namespace {

void twoThreadsFault()
{
    std::atomic<int> ready{0};
    auto fault = [&] {
        ready.fetch_add(1);
        while (ready.load() < 2) {
        }
        duviducrashHelperSegv();
    };
    std::thread first(fault), second(fault);
    first.join();
    second.join();
}

int fault(const std::string& how)
{
    if (how == "segv") duviducrashHelperSegv();
    else if (how == "abort") duviducrashHelperAbort();
    else if (how == "terminate") duviducrashHelperThrow();
    else if (how == "terminate-thread") std::thread(duviducrashHelperThrow).join();
    else if (how == "trap") duviducrashHelperTrap();
    else if (how == "overflow") return duviducrashHelperRecurse(0);
    else if (how == "two-threads") twoThreadsFault();
    else if (how == "sigterm") raise(SIGTERM);
    else if (how == "none") return 0;
    else {
        std::fprintf(stderr, "duviducrash_helper: unknown fault %s\n", how.c_str());
        return 2;
    }
    return 1;
}

void setField(duvidu::DuviduCrashScopeSync::Field field, const std::string& json)
{
    duvidu::DuviduCrashScopeSync::setField(field, json.data(), json.size());
}

int core(const std::string& how)
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (!cache || !duvidu::duviducrash_install("duviducrash_helper", std::string(cache) + "/duviducrash-core")) {
        std::fprintf(stderr, "duviducrash_helper: crash capture was not installed\n");
        return 3;
    }
    std::printf("crashedLastLaunch %s\n", duvidu::duviducrash_crashedLastLaunch() ? "YES" : "NO");
    std::fflush(stdout);
    const std::string userInfo = R"({"release":"helper@1.0"})";
    duvidu::duviducrash_setUserInfoJSON(userInfo.data(), userInfo.size());
    setField(duvidu::DuviduCrashScopeSync::Tags, R"({"helper":"core"})");
    duvidu::DuviduCrashScopeSync::setBreadcrumbCapacity(2);
    for (const char* message : {R"({"message":"one"})", R"({"message":"two"})", R"({"message":"three"})"})
        duvidu::DuviduCrashScopeSync::addBreadcrumb(message, std::strlen(message));
    return fault(how);
}

}  // namespace

int main(int argc, char** argv)
{
    // A crash here is expected: no core file.
    const struct rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    if (argc == 3 && std::string(argv[1]) == "core") return core(argv[2]);
    std::fprintf(stderr, "usage: duviducrash_helper core FAULT\n");
    return 2;
}
